// Starts one program with a command line taken byte for byte from a file, waits
// for it and reports its full 32-bit exit code: `wine` itself passes on only the
// low byte, which would turn 1641 into 105.
//
//   runexe.exe [--hidden] COMMAND_FILE RESULT_FILE [PID_FILE]
//
// RESULT_FILE receives the exit code in decimal (also printed on stdout). When the
// program cannot be started it receives "error N" with GetLastError's value and
// runexe exits with 254. PID_FILE, when given, receives the child's process id as
// soon as it runs, so that the caller can tell its message boxes from others.
// --hidden starts the program on the desktop of a window station without
// WSF_VISIBLE, as a deployment running as SYSTEM in session 0 does: a message
// box there shows nothing and never returns.
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
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text, lstrlenA(text), &written, NULL);
    CloseHandle(file);
}

// Creates the window station of services with its desktop; the caller's own
// window station stays the process's.
static bool MakeHiddenDesktop()
{
    HWINSTA own = GetProcessWindowStation();
    HWINSTA station = CreateWindowStationA("Service-0x0-3e7$", 0, WINSTA_ALL_ACCESS, NULL);
    if (!station || !SetProcessWindowStation(station))
        return false;
    HDESK desktop = CreateDesktopA("Default", NULL, NULL, 0, GENERIC_ALL, NULL);
    SetProcessWindowStation(own);
    return desktop != NULL;
}

int main(int argc, char** argv)
{
    bool hidden = argc > 1 && lstrcmpA(argv[1], "--hidden") == 0;
    if (hidden) {
        --argc;
        ++argv;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: runexe.exe [--hidden] COMMAND_FILE RESULT_FILE [PID_FILE]\n");
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
    char hiddenDesktop[] = "Service-0x0-3e7$\\Default";
    if (hidden) {
        if (!MakeHiddenDesktop()) {
            fprintf(stderr, "runexe: cannot make the hidden desktop (error %lu)\n", GetLastError());
            return 2;
        }
        startup.lpDesktop = hiddenDesktop;
    }
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
