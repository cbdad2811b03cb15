// The platform layer on Windows: tokens, privileges, shutdown and the desktop user.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <aclapi.h>

#include "util/platform.h"

int PfIsObjectOwnedBy(PfHandle object, uint32_t wellKnownSidType)
{
    PSID owner = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (GetSecurityInfo((HANDLE)object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, NULL, NULL, NULL,
                        &descriptor) != ERROR_SUCCESS)
        return -1;
    int matches = owner ? (IsWellKnownSid(owner, (WELL_KNOWN_SID_TYPE)wellKnownSidType) ? 1 : 0) : -1;
    LocalFree(descriptor);
    return matches;
}

int PfOpenOwnProcessToken(uint32_t access, PfHandle* token)
{
    HANDLE opened = NULL;
    BOOL ok = OpenProcessToken(GetCurrentProcess(), access, &opened);
    *token = ok ? (PfHandle)opened : 0;
    return ok;
}

int PfLookupPrivilegeValue(const char* name, uint64_t* luid)
{
    LUID value;
    ZeroMemory(&value, sizeof(value));
    BOOL ok = LookupPrivilegeValueA(NULL, name, &value);
    *luid = ((uint64_t)(uint32_t)value.HighPart << 32) | value.LowPart;
    return ok;
}

int PfAdjustTokenPrivilege(PfHandle token, uint64_t luid, uint32_t attributes)
{
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid.LowPart = (DWORD)luid;
    privileges.Privileges[0].Luid.HighPart = (LONG)(luid >> 32);
    privileges.Privileges[0].Attributes = attributes;
    return AdjustTokenPrivileges((HANDLE)token, FALSE, &privileges, 0, NULL, NULL);
}

int PfExitWindowsEx(uint32_t flags, uint32_t reason) { return ExitWindowsEx(flags, reason); }

uintptr_t PfFindWindow(const char* className) { return (uintptr_t)FindWindowA(className, NULL); }

uint32_t PfGetWindowThreadProcessId(uintptr_t window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId((HWND)window, &processId);
    return processId;
}

PfHandle PfOpenProcess(uint32_t access, uint32_t processId)
{
    return (PfHandle)OpenProcess(access, FALSE, processId);
}

int PfOpenProcessToken(PfHandle process, uint32_t access, PfHandle* token)
{
    HANDLE opened = NULL;
    BOOL ok = OpenProcessToken((HANDLE)process, access, &opened);
    *token = ok ? (PfHandle)opened : 0;
    return ok;
}

int PfDuplicateTokenEx(PfHandle token, uint32_t access, int impersonationLevel, int tokenType, PfHandle* newToken)
{
    HANDLE duplicate = NULL;
    BOOL ok = DuplicateTokenEx((HANDLE)token, access, NULL, (SECURITY_IMPERSONATION_LEVEL)impersonationLevel,
                               (TOKEN_TYPE)tokenType, &duplicate);
    *newToken = ok ? (PfHandle)duplicate : 0;
    return ok;
}

int PfCallCreateProcessWithTokenW(PfProc proc, PfHandle token, uint32_t logonFlags, const uint16_t* applicationName,
                                  uint16_t* commandLine, uint32_t creationFlags, const uint16_t* currentDirectory,
                                  PfHandle* process, PfHandle* thread)
{
    typedef BOOL(WINAPI * CreateWithTokenFn)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                                             LPPROCESS_INFORMATION);
    STARTUPINFOW startup;
    PROCESS_INFORMATION started;
    ZeroMemory(&startup, sizeof(startup));
    ZeroMemory(&started, sizeof(started));
    startup.cb = sizeof(startup);
    BOOL ok = ((CreateWithTokenFn)proc)((HANDLE)token, logonFlags, (LPCWSTR)applicationName, (LPWSTR)commandLine,
                                        creationFlags, NULL, (LPCWSTR)currentDirectory, &startup, &started);
    *process = ok ? (PfHandle)started.hProcess : 0;
    *thread = ok ? (PfHandle)started.hThread : 0;
    return ok;
}

uint32_t PfGetActiveConsoleSessionId() { return WTSGetActiveConsoleSessionId(); }

int PfCallWTSQueryUserToken(PfProc proc, uint32_t sessionId, PfHandle* token)
{
    typedef BOOL(WINAPI * QueryUserTokenFn)(ULONG, PHANDLE);
    HANDLE opened = NULL;
    BOOL ok = ((QueryUserTokenFn)proc)(sessionId, &opened);
    *token = ok ? (PfHandle)opened : 0;
    return ok;
}

int PfCallCreateEnvironmentBlock(PfProc proc, void** environment, PfHandle token, int inherit)
{
    typedef BOOL(WINAPI * CreateEnvironmentBlockFn)(LPVOID*, HANDLE, BOOL);
    BOOL ok = ((CreateEnvironmentBlockFn)proc)(environment, (HANDLE)token, inherit);
    if (!ok)
        *environment = NULL;  // nothing to destroy
    return ok;
}

int PfCallDestroyEnvironmentBlock(PfProc proc, void* environment)
{
    typedef BOOL(WINAPI * DestroyEnvironmentBlockFn)(LPVOID);
    return ((DestroyEnvironmentBlockFn)proc)(environment);
}

int PfCallCreateProcessAsUserW(PfProc proc, PfHandle token, const uint16_t* applicationName, uint16_t* commandLine,
                               uint32_t creationFlags, void* environment, const uint16_t* currentDirectory,
                               const uint16_t* desktop, PfHandle* process, PfHandle* thread)
{
    typedef BOOL(WINAPI * CreateAsUserFn)(HANDLE, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                          BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);
    STARTUPINFOW startup;
    PROCESS_INFORMATION started;
    ZeroMemory(&startup, sizeof(startup));
    ZeroMemory(&started, sizeof(started));
    startup.cb = sizeof(startup);
    startup.lpDesktop = (LPWSTR)desktop;  // read only, though the field is not const
    BOOL ok = ((CreateAsUserFn)proc)((HANDLE)token, (LPCWSTR)applicationName, (LPWSTR)commandLine, NULL, NULL, FALSE,
                                     creationFlags, environment, (LPCWSTR)currentDirectory, &startup, &started);
    *process = ok ? (PfHandle)started.hProcess : 0;
    *thread = ok ? (PfHandle)started.hThread : 0;
    return ok;
}
