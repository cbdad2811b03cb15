#ifndef SETUP_PLATFORM_WIN32_MODULES_H
#define SETUP_PLATFORM_WIN32_MODULES_H

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// LoadLibraryA of name in the system folder, by full path.
HMODULE LoadFromSystemFolder(const char* name);
// An entry point of a system DLL, loading the DLL from the system folder if needed.
FARPROC SystemProc(const char* library, const char* procedure);
// Restricts later DLL searches to the system folder where Windows allows it.
void HardenDllSearch();

#endif
