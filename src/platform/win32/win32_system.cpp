// The platform layer on Windows: processes, files, settings, registry, text.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <locale.h>
#include <mbstring.h>
#include <string.h>

#include "util/platform.h"

static_assert(sizeof(PfOsVersionInfo) == sizeof(OSVERSIONINFOA), "OSVERSIONINFOA layout");
static_assert(sizeof(PfOsVersionInfo) == 148, "OSVERSIONINFOA size");
static_assert(sizeof(PfSystemTime) == sizeof(SYSTEMTIME), "SYSTEMTIME layout");
static_assert(sizeof(uint16_t) == sizeof(wchar_t), "UTF-16 code units");

uint32_t PfGetLastError() { return GetLastError(); }
void PfSetLastError(uint32_t error) { SetLastError(error); }

uint32_t PfGetModuleFileName(ModuleHandle module, char* buffer, uint32_t capacity)
{
    if (capacity == 0)
        return 0;
    DWORD copied = GetModuleFileNameA((HMODULE)module, buffer, capacity);
    buffer[capacity - 1] = 0;  // Windows XP leaves a cut name unterminated
    return copied;
}

int PfGetVersionEx(PfOsVersionInfo* info)
{
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    return GetVersionExA((OSVERSIONINFOA*)info);
}

uint16_t PfGetSystemDefaultLangId() { return GetSystemDefaultLangID(); }
void PfGetLocalTime(PfSystemTime* time) { GetLocalTime((SYSTEMTIME*)time); }

uint32_t PfCreateOwnedMutex(const char* name, PfHandle* mutex)
{
    SetLastError(ERROR_SUCCESS);
    *mutex = (PfHandle)CreateMutexA(NULL, TRUE, name);
    return GetLastError();
}

int PfGetFullPathName(const char* path, char* full)
{
    DWORD length = GetFullPathNameA(path, MAX_PATH, full, NULL);
    if (length == 0 || length >= MAX_PATH) {
        full[0] = 0;
        return 0;
    }
    return 1;
}

uint32_t PfGetCurrentProcessId() { return GetCurrentProcessId(); }

int PfProcessIdToSessionId(uint32_t processId, uint32_t* sessionId)
{
    DWORD session = 0;
    BOOL ok = ProcessIdToSessionId(processId, &session);
    *sessionId = session;
    return ok;
}
uint32_t PfGetTempPath(char* buffer, uint32_t capacity) { return GetTempPathA(capacity, buffer); }

int PfMbsICmp(const char* a, const char* b) { return _mbsicmp((const unsigned char*)a, (const unsigned char*)b); }

int PfMbsNICmp(const char* a, const char* b, size_t count)
{
    return _mbsnicmp((const unsigned char*)a, (const unsigned char*)b, count);
}

const char* PfMbsStr(const char* haystack, const char* needle)
{
    return (const char*)_mbsstr((const unsigned char*)haystack, (const unsigned char*)needle);
}

int PfIsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte); }

int PfAnsiToWide(const char* text, int length, uint16_t* wide, int wideCapacity)
{
    return MultiByteToWideChar(CP_ACP, 0, text, length, (LPWSTR)wide, wideCapacity);
}

void PfSetUserLocale() { setlocale(LC_ALL, ""); }

int PfPathAppend(char* path, const char* more) { return PathAppendA(path, more); }
int PfPathRemoveFileSpec(char* path) { return PathRemoveFileSpecA(path); }
void PfPathStripPath(char* path) { PathStripPathA(path); }
void PfPathRemoveExtension(char* path) { PathRemoveExtensionA(path); }
int PfPathAddExtension(char* path, const char* extension) { return PathAddExtensionA(path, extension); }
int PfPathFileExists(const char* path) { return PathFileExistsA(path); }

int PfFindFirstFileName(const char* pattern, char* name, uint32_t capacity)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    lstrcpynA(name, found.cFileName, (int)capacity);
    return 1;
}

PfHandle PfFindFirstFile(const char* pattern, char* name, uint32_t capacity)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    lstrcpynA(name, found.cFileName, (int)capacity);
    return (PfHandle)search;
}

int PfFindNextFile(PfHandle search, char* name, uint32_t capacity)
{
    WIN32_FIND_DATAA found;
    if (!FindNextFileA((HANDLE)search, &found))
        return 0;
    lstrcpynA(name, found.cFileName, (int)capacity);
    return 1;
}

int PfFindClose(PfHandle search) { return FindClose((HANDLE)search); }

static PfHandle FromFileHandle(HANDLE file) { return file == INVALID_HANDLE_VALUE ? 0 : (PfHandle)file; }

PfHandle PfOpenFileForRead(const char* path)
{
    return FromFileHandle(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
}

int PfWriteFile(PfHandle file, const void* data, uint32_t size)
{
    DWORD written = 0;
    return WriteFile((HANDLE)file, data, size, &written, NULL) && written == size;
}

int PfCloseHandle(PfHandle handle) { return CloseHandle((HANDLE)handle); }
int PfCopyFile(const char* source, const char* target, int failIfExists)
{
    return CopyFileA(source, target, failIfExists);
}
int PfDeleteFile(const char* path) { return DeleteFileA(path); }
uint32_t PfGetFileAttributes(const char* path) { return GetFileAttributesA(path); }

uint32_t PfGetPrivateProfileString(const char* section, const char* key, const char* defaultText, char* buffer,
                                   uint32_t capacity, const char* file)
{
    return GetPrivateProfileStringA(section, key, defaultText, buffer, capacity, file);
}

int PfGetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* file)
{
    return (int)GetPrivateProfileIntA(section, key, defaultValue, file);
}

int32_t PfRegOpenKey(PfHandle root, const char* subKey, uint32_t access, PfHandle* key)
{
    HKEY opened = NULL;
    LONG status = RegOpenKeyExA((HKEY)root, subKey, 0, access, &opened);
    *key = status == ERROR_SUCCESS ? (PfHandle)opened : 0;
    return status;
}

int32_t PfRegQueryValue(PfHandle key, const char* name, void* data, uint32_t* size)
{
    DWORD bytes = *size;
    LONG status = RegQueryValueExA((HKEY)key, name, NULL, NULL, (BYTE*)data, &bytes);
    *size = bytes;
    return status;
}

int32_t PfRegCloseKey(PfHandle key) { return RegCloseKey((HKEY)key); }

int32_t PfRegCreateKey(PfHandle root, const char* subKey, uint32_t access, PfHandle* key)
{
    HKEY created = NULL;
    LONG status =
        RegCreateKeyExA((HKEY)root, subKey, 0, NULL, REG_OPTION_NON_VOLATILE, access, NULL, &created, NULL);
    *key = status == ERROR_SUCCESS ? (PfHandle)created : 0;
    return status;
}

int32_t PfRegSetString(PfHandle key, const char* name, const char* text)
{
    return RegSetValueExA((HKEY)key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
}

int32_t PfRegDeleteValue(PfHandle key, const char* name) { return RegDeleteValueA((HKEY)key, name); }

int32_t PfRegDeleteKey(PfHandle key, const char* subKey) { return RegDeleteKeyA((HKEY)key, subKey); }

int32_t PfCallRegDeleteKeyExA(PfProc proc, PfHandle key, const char* subKey, uint32_t access)
{
    typedef LONG(WINAPI * DeleteKeyEx)(HKEY, LPCSTR, REGSAM, DWORD);
    return ((DeleteKeyEx)proc)((HKEY)key, subKey, access, 0);
}

int PfRunProcessAndWait(const char* commandLine, const char* folder, uint32_t* processExitCode,
                        uint32_t* threadExitCode)
{
    static char writable[32768];
    lstrcpynA(writable, commandLine, sizeof(writable));
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&startup, sizeof(startup));
    ZeroMemory(&process, sizeof(process));
    startup.cb = sizeof(startup);
    if (!CreateProcessA(NULL, writable, NULL, NULL, FALSE, 0, NULL, folder, &startup, &process))
        return 0;
    // A code that was never read is no result: zero would pass for success.
    DWORD processCode = 0;
    DWORD threadCode = 0;
    BOOL finished = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                    GetExitCodeProcess(process.hProcess, &processCode) &&
                    GetExitCodeThread(process.hThread, &threadCode);
    DWORD error = GetLastError();
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (!finished) {
        SetLastError(error);
        return 0;
    }
    *processExitCode = processCode;
    *threadExitCode = threadCode;
    return 1;
}

int PfShellExecuteAndWait(uint32_t mask, const char* verb, const char* file, const char* parameters,
                          const char* folder, int show, uint32_t* exitCode)
{
    SHELLEXECUTEINFOA execute;
    ZeroMemory(&execute, sizeof(execute));
    execute.cbSize = sizeof(execute);
    execute.fMask = mask;
    execute.lpVerb = verb;
    execute.lpFile = file;
    execute.lpParameters = parameters;
    execute.lpDirectory = folder;
    execute.nShow = show;
    if (!ShellExecuteExA(&execute))
        return 0;
    if (execute.hProcess) {
        WaitForSingleObject(execute.hProcess, INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(execute.hProcess, &code))
            *exitCode = code;
        CloseHandle(execute.hProcess);
    }
    return 1;
}

int PfMessageBox(const char* text, const char* caption, uint32_t style)
{
    return MessageBoxA(NULL, text, caption, style);
}

int PfIsDesktopVisible()
{
    USEROBJECTFLAGS flags;
    ZeroMemory(&flags, sizeof(flags));
    HWINSTA station = GetProcessWindowStation();
    if (!station || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof(flags), NULL))
        return 1;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

int PfLoadString(ModuleHandle module, uint32_t id, char* buffer, int capacity)
{
    if (capacity <= 0)
        return 0;
    buffer[0] = 0;
    return LoadStringA((HINSTANCE)module, id, buffer, capacity);
}

ModuleHandle PfGetModuleHandle(const char* name) { return GetModuleHandleA(name); }
ModuleHandle PfLoadLibrary(const char* fullPath) { return LoadLibraryA(fullPath); }
int PfFreeLibrary(ModuleHandle module) { return FreeLibrary((HMODULE)module); }
PfProc PfGetProcAddress(ModuleHandle module, const char* name)
{
    return (PfProc)GetProcAddress((HMODULE)module, name);
}
uint32_t PfGetSystemDirectory(char* buffer, uint32_t capacity) { return GetSystemDirectoryA(buffer, capacity); }
uint32_t PfGetSystemWindowsDirectory(char* buffer, uint32_t capacity)
{
    return GetSystemWindowsDirectoryA(buffer, capacity);
}

uint32_t PfCallGetSystemWow64DirectoryW(PfProc proc, uint16_t* buffer, uint32_t capacity)
{
    typedef UINT(WINAPI * GetWow64DirectoryFn)(LPWSTR, UINT);
    return ((GetWow64DirectoryFn)proc)((LPWSTR)buffer, capacity);
}
