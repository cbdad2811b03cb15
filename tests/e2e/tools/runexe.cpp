// Starts one program with a command line taken byte for byte from a file, waits
// for it and reports its full 32-bit exit code: `wine` itself passes on only the
// low byte, which would turn 1641 into 105.
//
//   runexe.exe COMMAND_FILE RESULT_FILE [PID_FILE]
//
// RESULT_FILE receives the exit code in decimal (also printed on stdout). When the
// program cannot be started it receives "error N" with GetLastError's value and
// runexe exits with 254. PID_FILE, when given, receives the child's process id as
// soon as it runs, so that the caller can tell its message boxes from others.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static bool ReadWholeFile(const char* path, char** data)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, NULL);
    char* buffer = (char*)calloc(size + 1, 1);
    DWORD got = 0;
    bool ok = buffer && (size == 0 || (ReadFile(file, buffer, size, &got, NULL) && got == size));
    CloseHandle(file);
    if (!ok) {
        free(buffer);
        return false;
    }
    *data = buffer;
    return true;
}

static void WriteText(const char* path, const char* text)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text, lstrlenA(text), &written, NULL);
    CloseHandle(file);
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: runexe.exe COMMAND_FILE RESULT_FILE [PID_FILE]\n");
        return 2;
    }
    char* commandLine = NULL;
    if (!ReadWholeFile(argv[1], &commandLine)) {
        fprintf(stderr, "runexe: cannot read %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }

    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&startup, sizeof(startup));
    ZeroMemory(&process, sizeof(process));
    startup.cb = sizeof(startup);
    char text[64];
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        DWORD error = GetLastError();
        wsprintfA(text, "error %lu\n", error);
        WriteText(argv[2], text);
        printf("%s", text);
        return 254;
    }
    if (argc > 3) {
        wsprintfA(text, "%lu\n", process.dwProcessId);
        WriteText(argv[3], text);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    wsprintfA(text, "%lu\n", code);
    WriteText(argv[2], text);
    printf("%s", text);
    fflush(stdout);
    return 0;
}
