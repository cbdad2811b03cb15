// A DLL put where DPInst.exe should be: a valid image of the right processor,
// so a check of its header passes, but CreateProcess refuses to start it
// (ERROR_BAD_EXE_FORMAT, 193). Nothing in it ever runs.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
