// The simulated machine: libraries, run-time lookups, tokens, privileges and shutdown.
#include <string.h>

#include <algorithm>

#include "sim/sim.h"
#include "sim/sim_internal.h"

using namespace sim;

namespace {

const ModuleHandle kKernel32 = (ModuleHandle)0x7000;
const ModuleHandle kNtdll = (ModuleHandle)0x7100;
const ModuleHandle kAdvapi32 = (ModuleHandle)0x7200;
int g_wow64Proc, g_createWithTokenProc, g_consoleUserProc, g_tempPath2Proc, g_wineVersionProc, g_finalPathProc;

}  // namespace

ModuleHandle PfGetModuleHandle(const char* name)
{
    SIM_FAULT_POINT(name, 0);
    if (strcasecmp(name, "ntdll.dll") == 0)
        return kNtdll;
    if (strcasecmp(name, "advapi32.dll") == 0)
        return kAdvapi32;
    return strcasecmp(name, "kernel32.dll") == 0 ? kKernel32 : 0;
}

ModuleHandle PfLoadLibrary(const char* fullPath)
{
    SIM_FAULT_POINT(fullPath, 0);
    if (!TraceCall(std::string("LoadLibraryA ") + fullPath, "LoadLibraryA"))
        return 0;
    return (ModuleHandle)NewHandle(HandleKind::Library, fullPath);
}

int PfFreeLibrary(ModuleHandle module)
{
    Machine().calls.push_back("FreeLibrary");
    return PfCloseHandle((PfHandle)module);
}

PfProc PfGetProcAddress(ModuleHandle module, const char* name)
{
    SIM_FAULT_POINT(name, 0);
    if (module == kNtdll)
        return strcmp(name, "wine_get_version") == 0 && Machine().underWine ? (PfProc)&g_wineVersionProc : 0;
    if (module == kKernel32 && strcmp(name, "GetFinalPathNameByHandleA") == 0)
        return Machine().major >= 6 ? (PfProc)&g_finalPathProc : 0;
    if (module == kKernel32 && strcmp(name, "GetTempPath2A") == 0)
        return Machine().hasGetTempPath2 ? (PfProc)&g_tempPath2Proc : 0;
    if (module == kKernel32)
        return strcmp(name, "GetSystemWow64DirectoryW") == 0 && Machine().hasWow64DirectoryFunction
                   ? (PfProc)&g_wow64Proc
                   : 0;
    if (module == kAdvapi32)
        return strcmp(name, "RegDeleteKeyExA") == 0 && HasRegDeleteKeyEx() ? (PfProc)&g_regDeleteKeyExProc : 0;
    HandleData* library = FindHandle((PfHandle)module, HandleKind::Library);
    Machine().calls.push_back(std::string("GetProcAddress ") + name);
    if (library && strcmp(name, "CreateProcessWithTokenW") == 0 && Machine().hasCreateProcessWithToken)
        return (PfProc)&g_createWithTokenProc;
    for (const char* known :
         {"WTSQueryUserToken", "CreateEnvironmentBlock", "DestroyEnvironmentBlock", "CreateProcessAsUserW"})
        if (library && strcmp(name, known) == 0)
            return (PfProc)&g_consoleUserProc;
    return 0;
}

namespace {

uint32_t CopyFolder(const std::string& folder, char* buffer, uint32_t capacity)
{
    if (folder.size() + 1 > capacity)
        return (uint32_t)folder.size() + 1;
    memcpy(buffer, folder.c_str(), folder.size() + 1);
    return (uint32_t)folder.size();
}

}  // namespace

uint32_t PfGetSystemDirectory(char* buffer, uint32_t capacity)
{
    SIM_FAULT_POINT("", 0);
    return CopyFolder(Machine().systemDirectory, buffer, capacity);
}

uint32_t PfGetSystemWindowsDirectory(char* buffer, uint32_t capacity)
{
    SIM_FAULT_POINT("", 0);
    return CopyFolder(Machine().windowsDirectory, buffer, capacity);
}

uint32_t PfCallGetFinalPathNameByHandleA(PfProc proc, PfHandle file, char* buffer, uint32_t capacity)
{
    SIM_FAULT_POINT(HandlePath(file), 0);
    HandleData* data = FindHandle(file, HandleKind::Held);
    if (proc != (PfProc)&g_finalPathProc || !data) {
        PfSetLastError(PF_ERROR_INVALID_HANDLE);
        return 0;
    }
    std::string path = "\\\\?\\" + WindowsPathOfHost(data->fd);
    if (path.size() + 1 > capacity)
        return (uint32_t)path.size() + 1;
    memcpy(buffer, path.c_str(), path.size() + 1);
    return (uint32_t)path.size();
}

uint32_t PfCallGetTempPath2A(PfProc proc, char* buffer, uint32_t capacity)
{
    SIM_FAULT_POINT(Machine().tempPath2, 0);
    if (proc != (PfProc)&g_tempPath2Proc)
        return 0;
    const std::string& folder = Machine().tempPath2;
    if (folder.size() + 1 > capacity)
        return (uint32_t)folder.size() + 1;
    memcpy(buffer, folder.c_str(), folder.size() + 1);
    return (uint32_t)folder.size();
}

uint32_t PfCallGetSystemWow64DirectoryW(PfProc proc, uint16_t* buffer, uint32_t capacity)
{
    SIM_FAULT_POINT("", 0);
    if (proc != (PfProc)&g_wow64Proc)
        return 0;
    if (!Machine().is64Bit) {
        PfSetLastError(PF_ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    static const char kFolder[] = "C:\\windows\\syswow64";
    if (capacity < sizeof(kFolder))
        return sizeof(kFolder);
    for (size_t i = 0; i < sizeof(kFolder); ++i)
        buffer[i] = (uint16_t)kFolder[i];
    return sizeof(kFolder) - 1;
}

int PfOpenOwnProcessToken(uint32_t access, PfHandle* token)
{
    *token = 0;
    SIM_FAULT_POINT("", 0);
    char call[64];
    snprintf(call, sizeof(call), "OpenProcessToken self 0x%X", access);
    *token = TraceCall(call, "OpenProcessToken self") ? NewHandle(HandleKind::Token) : 0;
    return *token != 0;
}

int PfLookupPrivilegeValue(const char* name, uint64_t* luid)
{
    SIM_FAULT_POINT(name, 0);
    *luid = 19;
    return TraceCall(std::string("LookupPrivilegeValueA ") + name, "LookupPrivilegeValueA");
}

int PfAdjustTokenPrivilege(PfHandle token, uint64_t luid, uint32_t attributes)
{
    SIM_FAULT_POINT("", 0);
    char call[80];
    snprintf(call, sizeof(call), "AdjustTokenPrivileges luid %llu attributes %u", (unsigned long long)luid,
             attributes);
    if (!TraceCall(call, "AdjustTokenPrivileges") || !FindHandle(token, HandleKind::Token)) {
        PfSetLastError(6);  // ERROR_INVALID_HANDLE
        return 0;
    }
    PfSetLastError(Machine().privilegeNotAssigned ? (uint32_t)PF_ERROR_NOT_ALL_ASSIGNED : 0u);
    return 1;
}

int PfExitWindowsEx(uint32_t flags, uint32_t reason)
{
    SIM_FAULT_POINT("", 0);
    char call[64];
    snprintf(call, sizeof(call), "ExitWindowsEx 0x%X 0x%X", flags, reason);
    Machine().calls.push_back(call);
    Machine().exitWindowsFlags.push_back(flags);
    return 1;
}

uintptr_t PfFindWindow(const char* className)
{
    SIM_FAULT_POINT(className, 0);
    if (!TraceCall(std::string("FindWindowA ") + className, "FindWindowA"))
        return 0;
    return strcmp(className, "Shell_TrayWnd") == 0 ? Machine().trayWindow : (uintptr_t)0;
}

uint32_t PfGetWindowThreadProcessId(uintptr_t)
{
    SIM_FAULT_POINT("", 0);
    return TraceCall("GetWindowThreadProcessId", "GetWindowThreadProcessId") ? Machine().trayProcessId : 0;
}

PfHandle PfOpenProcess(uint32_t access, uint32_t processId)
{
    SIM_FAULT_POINT("", 0);
    char call[64];
    snprintf(call, sizeof(call), "OpenProcess 0x%X %u", access, processId);
    return TraceCall(call, "OpenProcess") ? NewHandle(HandleKind::Process) : 0;
}

int PfOpenProcessToken(PfHandle, uint32_t access, PfHandle* token)
{
    *token = 0;
    SIM_FAULT_POINT("", 0);
    char call[64];
    snprintf(call, sizeof(call), "OpenProcessToken 0x%X", access);
    *token = TraceCall(call, "OpenProcessToken") ? NewHandle(HandleKind::Token) : 0;
    return *token != 0;
}

int PfDuplicateTokenEx(PfHandle, uint32_t access, int impersonationLevel, int tokenType, PfHandle* newToken)
{
    *newToken = 0;
    SIM_FAULT_POINT("", 0);
    char call[80];
    snprintf(call, sizeof(call), "DuplicateTokenEx 0x%X %d %d", access, impersonationLevel, tokenType);
    *newToken = TraceCall(call, "DuplicateTokenEx") ? NewHandle(HandleKind::Token) : 0;
    return *newToken != 0;
}

namespace {

std::string Narrow(const uint16_t* wide)
{
    std::string text;
    for (; wide && *wide; ++wide)
        text += *wide < 0x80 ? (char)*wide : '?';
    return text;
}

// A started program's handles, or a missing file's error.
int StartProgram(const uint16_t* applicationName, PfHandle* process, PfHandle* thread)
{
    if (!FileExists(Narrow(applicationName))) {
        PfSetLastError(PF_ERROR_FILE_NOT_FOUND);
        return 0;
    }
    *process = NewHandle(HandleKind::Process);
    *thread = NewHandle(HandleKind::Thread);
    return 1;
}

}  // namespace

int PfCallCreateProcessWithTokenW(PfProc proc, PfHandle, uint32_t logonFlags, const uint16_t* applicationName,
                                  uint16_t* commandLine, uint32_t creationFlags, const uint16_t* currentDirectory,
                                  PfHandle* process, PfHandle* thread)
{
    *process = *thread = 0;
    SIM_FAULT_POINT("", 0);
    std::string call = "CreateProcessWithTokenW " + std::to_string(logonFlags) + " " + Narrow(applicationName) +
                       " | " + (commandLine ? Narrow(commandLine) : "(none)") + " | " +
                       std::to_string(creationFlags) + " | " + Narrow(currentDirectory);
    if (proc != (PfProc)&g_createWithTokenProc || !TraceCall(call, "CreateProcessWithTokenW"))
        return 0;
    return StartProgram(applicationName, process, thread);
}

uint32_t PfGetActiveConsoleSessionId()
{
    SIM_FAULT_POINT("", PF_NO_CONSOLE_SESSION);
    Machine().calls.push_back("WTSGetActiveConsoleSessionId");
    return Machine().consoleSessionId;
}

int PfCallWTSQueryUserToken(PfProc proc, uint32_t sessionId, PfHandle* token)
{
    *token = 0;
    SIM_FAULT_POINT("", 0);
    if (proc != (PfProc)&g_consoleUserProc ||
        !TraceCall("WTSQueryUserToken " + std::to_string(sessionId), "WTSQueryUserToken")) {
        PfSetLastError(1314);  // ERROR_PRIVILEGE_NOT_HELD: only SYSTEM may take another session's token
        return 0;
    }
    if (!Machine().consoleUserSignedIn) {
        PfSetLastError(PF_ERROR_NO_TOKEN);
        return 0;
    }
    *token = NewHandle(HandleKind::Token);
    return 1;
}

int PfCallCreateEnvironmentBlock(PfProc proc, void** environment, PfHandle, int inherit)
{
    *environment = 0;
    SIM_FAULT_POINT("", 0);
    if (proc != (PfProc)&g_consoleUserProc ||
        !TraceCall("CreateEnvironmentBlock " + std::to_string(inherit), "CreateEnvironmentBlock"))
        return 0;
    *environment = (void*)NewHandle(HandleKind::Environment);
    return 1;
}

int PfCallDestroyEnvironmentBlock(PfProc, void* environment)
{
    SIM_FAULT_POINT("", 0);
    Machine().calls.push_back("DestroyEnvironmentBlock");
    return FindHandle((PfHandle)environment, HandleKind::Environment) && PfCloseHandle((PfHandle)environment);
}

int PfCallCreateProcessAsUserW(PfProc proc, PfHandle, const uint16_t* applicationName, uint16_t* commandLine,
                               uint32_t creationFlags, void*, const uint16_t* currentDirectory,
                               const uint16_t* desktop, PfHandle* process, PfHandle* thread)
{
    *process = *thread = 0;
    SIM_FAULT_POINT("", 0);
    char flags[16];
    snprintf(flags, sizeof(flags), "0x%X", creationFlags);
    std::string call = "CreateProcessAsUserW " + Narrow(applicationName) + " | " +
                       (commandLine ? Narrow(commandLine) : "(none)") + " | " + flags + " | " +
                       Narrow(currentDirectory) + " | " + Narrow(desktop);
    if (proc != (PfProc)&g_consoleUserProc || !TraceCall(call, "CreateProcessAsUserW"))
        return 0;
    return StartProgram(applicationName, process, thread);
}
