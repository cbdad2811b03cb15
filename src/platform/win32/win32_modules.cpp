// DLLs that Windows would also look for beside the program are loaded here,
// by full path from the system folder, and only when first needed.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/win32/win32_modules.h"

HMODULE LoadFromSystemFolder(const char* name)
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenA(name) >= MAX_PATH)
        return NULL;
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    return LoadLibraryA(path);
}

FARPROC SystemProc(const char* library, const char* procedure)
{
    // Never by bare name, not even to find a copy already loaded: that copy
    // may have come from the program's folder.
    HMODULE module = LoadFromSystemFolder(library);
    return module ? GetProcAddress(module, procedure) : NULL;
}

void HardenDllSearch()
{
    // Keep the program's folder (often a downloads folder) out of the search
    // for anything loaded later; only the system folder is searched.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel)
        return;
    SetDllDirectoryFn setDllDirectory = (SetDllDirectoryFn)GetProcAddress(kernel, "SetDllDirectoryA");
    if (setDllDirectory)
        setDllDirectory("");
    SetDefaultDllDirectoriesFn setDefault =
        (SetDefaultDllDirectoriesFn)GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (setDefault)
        setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
}
