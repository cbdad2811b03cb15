#include "actions/tray_launch.h"

#include <string.h>

#include "core/setup_state.h"
#include "core/step_trace.h"
#include "driver/installed_version.h"
#include "util/bounded_string.h"
#include "util/command_text.h"

namespace {

const char kHomeDirectoryValue[] = "HomeDirectory";
const char kApplicationName[] = "\\Glidex.exe";
// A 16-bit text built at compile time from an ASCII literal, so the
// constant is an array of the very type the wide buffers hold.
template <size_t N>
struct WideText {
    uint16_t text[N];
};
template <size_t N>
constexpr WideText<N> Widen(const char (&ascii)[N])
{
    WideText<N> wide = {};
    for (size_t i = 0; i < N; ++i)
        wide.text[i] = (unsigned char)ascii[i];
    return wide;
}

// The product's usual place, tried as it stands when the registry does not lead to the program.
constexpr auto kFallbackFolder = Widen("C:\\Program Files\\Glidex2K");
constexpr char kFallbackApplicationPath[] = "C:\\Program Files\\Glidex2K\\Glidex.exe";
constexpr auto kFallbackApplication = Widen(kFallbackApplicationPath);
// The signed-in user's own desktop, whatever window station this run sits on.
constexpr auto kUserDesktop = Widen("winsta0\\default");

// The program's path and folder from "HomeDirectory", as UTF-16, with the
// program held open (no writes, no delete) in hold until it has been started:
// what is found is what starts. 0 when the value is missing or not a full
// path, the path does not fit or no file is there.
int FindInstalledApplication(const PfOsVersionInfo* os, uint16_t* application, uint16_t* folder, PfHandle* hold)
{
    char home[PATH_CAPACITY] = "";
    // A relative folder would be looked for from the current folder.
    if (REG_ReadSz(os, PF_HKEY_LOCAL_MACHINE, PRODUCT_KEY, kHomeDirectoryValue, home) != 0 || !IsFullPath(home))
        return 0;
    // Plain text: a value that ends with a backslash gives two of them, which Windows accepts.
    char path[PATH_CAPACITY];
    BoundedCopy(path, PATH_CAPACITY, home);
    if (BoundedAppend(path, PATH_CAPACITY, kApplicationName) != BOUNDED_OK)
        return 0;  // a cut path could name some other file
    *hold = PfOpenFileForRead(path);
    if (!*hold)
        return 0;
    TraceLine("Tray application: %s", path);
    return PfAnsiToWide(home, -1, folder, PATH_CAPACITY) != 0 &&
           PfAnsiToWide(path, -1, application, PATH_CAPACITY) != 0;
}

}  // namespace

int LaunchTrayApplication(const Target* target)
{
    uint16_t application[PATH_CAPACITY];
    uint16_t folder[PATH_CAPACITY];
    memset(application, 0, sizeof(application));
    memset(folder, 0, sizeof(folder));
    PfHandle hold = 0;
    if (!FindInstalledApplication(&target->OsVersion, application, folder, &hold)) {
        if (hold)
            PfCloseHandle(hold);
        TraceLine("Tray application: not found through HomeDirectory; the usual place is tried");
        BoundedCopyWide(folder, PATH_CAPACITY, kFallbackFolder.text);
        BoundedCopyWide(application, PATH_CAPACITY, kFallbackApplication.text);
        hold = PfOpenFileForRead(kFallbackApplicationPath);
    }
    int started = 0;
    // A hidden run has no taskbar to take the user from: it asks for the
    // console's user instead.
    if (g_State.DesktopHidden) {
        started = CreateProcessAsConsoleUser(application, 0, folder);
    } else {
        started = CreateProcessAsShellUser(application, 0, folder);
        TraceLine("Tray application: %s", started ? "started as the desktop user (not waited for)"
                                                  : "not started (no desktop user's token, or the start failed)");
    }
    if (hold)
        PfCloseHandle(hold);
    return started;
}

int CreateProcessAsConsoleUser(const uint16_t* applicationPath, uint16_t* commandLine, const uint16_t* workingFolder)
{
    uint32_t session = PfGetActiveConsoleSessionId();
    if (session == PF_NO_CONSOLE_SESSION) {
        TraceLine("Tray application: not started, no session is attached to the console");
        return 0;
    }
    // Looked up at run time: Setup.exe links only DLLs Windows always takes from the system folder.
    ModuleHandle wtsapi = LoadSystemLibrary(0, 0, "WTSAPI32.dll");
    ModuleHandle userenv = LoadSystemLibrary(0, 0, "USERENV.dll");
    ModuleHandle advapi = LoadSystemLibrary(0, 0, "ADVAPI32.dll");
    PfProc queryToken = wtsapi ? PfGetProcAddress(wtsapi, "WTSQueryUserToken") : 0;
    PfProc createEnvironment = userenv ? PfGetProcAddress(userenv, "CreateEnvironmentBlock") : 0;
    PfProc destroyEnvironment = userenv ? PfGetProcAddress(userenv, "DestroyEnvironmentBlock") : 0;
    PfProc createAsUser = advapi ? PfGetProcAddress(advapi, "CreateProcessAsUserW") : 0;

    int started = 0;
    PfHandle token = 0;
    void* environment = 0;
    if (!queryToken || !createEnvironment || !destroyEnvironment || !createAsUser) {
        TraceLine(
            "Tray application: not started, the calls that start a program for the console's user were not found");
    } else if (!PfCallWTSQueryUserToken(queryToken, session, &token)) {
        uint32_t error = PfGetLastError();
        if (error == PF_ERROR_NO_TOKEN)
            TraceLine("Tray application: not started, nobody is signed in at the console (session %u)",
                      (unsigned)session);
        else
            TraceLine("Tray application: not started, the token of session %u's user was refused (error %u)",
                      (unsigned)session, (unsigned)error);
    } else if (!PfCallCreateEnvironmentBlock(createEnvironment, &environment, token, 0)) {
        // This run's own environment would point the program at another profile's folders.
        TraceLine("Tray application: not started, the user's environment could not be made (error %u)",
                  (unsigned)PfGetLastError());
    } else {
        PfHandle process = 0;
        PfHandle thread = 0;
        started = PfCallCreateProcessAsUserW(createAsUser, token, applicationPath, commandLine,
                                             PF_NORMAL_PRIORITY_CLASS | PF_CREATE_UNICODE_ENVIRONMENT, environment,
                                             workingFolder, kUserDesktop.text, &process, &thread);
        uint32_t error = started ? 0 : PfGetLastError();
        if (process)
            PfCloseHandle(process);
        if (thread)
            PfCloseHandle(thread);
        if (started)
            TraceLine("Tray application: started as the user signed in at the console, session %u (not waited for)",
                      (unsigned)session);
        else
            TraceLine("Tray application: not started, the start as the console's user failed (error %u)",
                      (unsigned)error);
    }
    if (environment)
        PfCallDestroyEnvironmentBlock(destroyEnvironment, environment);
    if (token)
        PfCloseHandle(token);
    if (advapi)
        PfFreeLibrary(advapi);
    if (userenv)
        PfFreeLibrary(userenv);
    if (wtsapi)
        PfFreeLibrary(wtsapi);
    return started;
}

int CreateProcessAsShellUser(const uint16_t* applicationPath, uint16_t* commandLine, const uint16_t* workingFolder)
{
    int started = 0;
    PfHandle token = 0;
    // Looked up at run time: older Windows versions lack the call.
    ModuleHandle library = LoadSystemLibrary(0, 0, "ADVAPI32.dll");
    PfProc createWithToken = library ? PfGetProcAddress(library, "CreateProcessWithTokenW") : 0;
    if (createWithToken)
        token = GetShellUserToken();
    if (token) {
        PfHandle process = 0;
        PfHandle thread = 0;
        started = PfCallCreateProcessWithTokenW(createWithToken, token, PF_LOGON_WITH_PROFILE, applicationPath,
                                                commandLine, PF_NORMAL_PRIORITY_CLASS, workingFolder, &process,
                                                &thread);
        // The program is left running; its handles are not needed.
        if (process)
            PfCloseHandle(process);
        if (thread)
            PfCloseHandle(thread);
    }
    if (library)
        PfFreeLibrary(library);
    if (token)
        PfCloseHandle(token);
    return started;
}

PfHandle GetShellUserToken()
{
    uintptr_t taskbar = PfFindWindow("Shell_TrayWnd");
    if (!taskbar)
        return 0;
    uint32_t processId = PfGetWindowThreadProcessId(taskbar);
    if (processId == 0)
        return 0;
    PfHandle process = PfOpenProcess(PF_PROCESS_QUERY_INFORMATION, processId);
    if (!process)
        return 0;
    PfHandle token = 0;
    PfOpenProcessToken(process, PF_TOKEN_DUPLICATE, &token);
    PfCloseHandle(process);
    if (!token)
        return 0;
    PfHandle primary = 0;
    PfDuplicateTokenEx(token, PF_TOKEN_ALL_ACCESS, PF_SECURITY_IMPERSONATION, PF_TOKEN_PRIMARY, &primary);
    PfCloseHandle(token);
    return primary;
}

ModuleHandle LoadSystemLibrary(int mode, const char* folder, const char* name)
{
    char path[PATH_CAPACITY] = "";
    if (mode == 0) {
        uint32_t length = PfGetSystemDirectory(path, PATH_CAPACITY);
        if (length == 0 || length >= (uint32_t)PATH_CAPACITY)
            return 0;
    } else if (mode == 1) {
        if (!folder || folder[0] == 0)
            return 0;
        BoundedCopy(path, PATH_CAPACITY, folder);
    } else {
        return 0;
    }
    // Only ever by full path: a bare name would let the search order pick a planted copy.
    if (BoundedAppend(path, PATH_CAPACITY, "\\") != BOUNDED_OK ||
        BoundedAppend(path, PATH_CAPACITY, name) != BOUNDED_OK)
        return 0;
    return PfLoadLibrary(path);
}
