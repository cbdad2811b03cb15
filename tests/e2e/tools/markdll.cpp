// A stand-in for a system DLL planted beside Setup.exe. Loading it at all is the
// fault under test, so its DllMain leaves a mark file naming the process that
// loaded it. It exports ImageNtHeader so that a lookup succeeds, and answers NULL.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    HANDLE file = CreateFileA("C:\\e2e\\planted_dll_loaded.txt", FILE_APPEND_DATA, FILE_SHARE_READ, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        char line[MAX_PATH + 2] = "";
        DWORD length = GetModuleFileNameA(NULL, line, MAX_PATH);
        line[length++] = '\r';
        line[length++] = '\n';
        DWORD written = 0;
        WriteFile(file, line, length, &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) PVOID WINAPI ImageNtHeader(PVOID) { return NULL; }
