// The platform layer: every call this program makes into Windows goes through
// these wrappers. Each has the semantics of the Windows call it wraps and takes
// plain C types. src/platform/win32 implements them on Windows; the host tests
// link a simulated machine instead.
#ifndef SETUP_UTIL_PLATFORM_H
#define SETUP_UTIL_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

typedef void* ModuleHandle;  // HINSTANCE / HMODULE
typedef uintptr_t PfHandle;  // any kernel or registry handle; 0 = none
typedef void* PfProc;        // an entry point found at run time

// ---- Windows constants the program's logic depends on -------------------
enum : uint32_t {
    PF_ERROR_SUCCESS = 0,
    PF_ERROR_FILE_NOT_FOUND = 2,
    PF_ERROR_PATH_NOT_FOUND = 3,
    PF_ERROR_ACCESS_DENIED = 5,
    PF_ERROR_INVALID_DATA = 13,
    PF_ERROR_NO_MORE_FILES = 18,
    PF_ERROR_FILE_EXISTS = 80,
    PF_ERROR_INSUFFICIENT_BUFFER = 122,
    PF_ERROR_CALL_NOT_IMPLEMENTED = 120,
    PF_ERROR_ALREADY_EXISTS = 183,
    PF_ERROR_MORE_DATA = 234,
    PF_ERROR_NO_TOKEN = 1008,
    PF_ERROR_DIRECTORY = 267,
    PF_ERROR_NOT_ALL_ASSIGNED = 1300,

    PF_VER_PLATFORM_WIN32_NT = 2,

    PF_MB_OK = 0x0,
    PF_MB_OKCANCEL = 0x1,
    PF_MB_YESNOCANCEL = 0x3,
    PF_MB_YESNO = 0x4,
    PF_MB_TYPEMASK = 0xF,
    PF_MB_DEFMASK = 0xF00,
    PF_MB_ICONQUESTION = 0x20,
    PF_MB_ICONEXCLAMATION = 0x30,
    PF_MB_ICONINFORMATION = 0x40,
    PF_MB_DEFBUTTON2 = 0x100,
    PF_MB_DEFBUTTON3 = 0x200,
    PF_MB_RIGHT = 0x80000,
    PF_MB_RTLREADING = 0x100000,
    PF_IDOK = 1,
    PF_IDCANCEL = 2,
    PF_IDYES = 6,
    PF_IDNO = 7,

    PF_KEY_QUERY_VALUE = 0x0001,
    PF_KEY_READ = 0x20019,
    PF_KEY_WOW64_64KEY = 0x0100,
    PF_KEY_WRITE = 0x20006,

    PF_IMAGE_FILE_MACHINE_I386 = 0x014C,
    PF_IMAGE_FILE_MACHINE_AMD64 = 0x8664,

    PF_SEE_MASK_NOCLOSEPROCESS = 0x40,
    PF_SEE_MASK_FLAG_NO_UI = 0x400,
    PF_SEE_MASK_NOZONECHECKS = 0x800000,
    PF_SW_HIDE = 0,

    PF_PROCESS_QUERY_INFORMATION = 0x0400,
    PF_TOKEN_DUPLICATE = 0x0002,
    PF_TOKEN_QUERY = 0x0008,
    PF_TOKEN_ADJUST_PRIVILEGES = 0x0020,
    PF_TOKEN_ALL_ACCESS = 0xF01FF,
    PF_SECURITY_IMPERSONATION = 2,
    PF_TOKEN_PRIMARY = 1,
    PF_LOGON_WITH_PROFILE = 1,
    PF_NORMAL_PRIORITY_CLASS = 0x20,
    PF_CREATE_UNICODE_ENVIRONMENT = 0x400,
    PF_NO_CONSOLE_SESSION = 0xFFFFFFFFu,
    PF_SE_PRIVILEGE_ENABLED = 2,
    PF_EWX_REBOOT = 2,
    PF_SHTDN_REASON_MAJOR_APPLICATION = 0x00040000,
    PF_SHTDN_REASON_MINOR_INSTALLATION = 0x00000002,
    PF_SHTDN_REASON_FLAG_PLANNED = 0x80000000u,

    PF_FILE_ATTRIBUTE_HIDDEN = 0x2,
    PF_FILE_ATTRIBUTE_SYSTEM = 0x4,
    PF_FILE_ATTRIBUTE_DIRECTORY = 0x10,
    PF_FILE_ATTRIBUTE_ARCHIVE = 0x20,
    PF_FILE_ATTRIBUTE_SPARSE_FILE = 0x200,
    PF_FILE_ATTRIBUTE_REPARSE_POINT = 0x400,
    PF_INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu,

    PF_WIN_LOCAL_SYSTEM_SID = 22,
    PF_WIN_BUILTIN_ADMINISTRATORS_SID = 26,

    PF_ERROR_INVALID_HANDLE = 6,
    PF_ERROR_SHARING_VIOLATION = 32,
    PF_ERROR_HANDLE_EOF = 38,
    PF_ERROR_NOT_SUPPORTED = 50,
    PF_ERROR_FILE_TOO_LARGE = 223,
    PF_ERROR_NOT_A_REPARSE_POINT = 4390,

    // file and folder access rights, share modes, NtCreateFile's dispositions and options
    PF_FILE_READ_DATA = 0x1,  // FILE_LIST_DIRECTORY on a folder
    PF_FILE_WRITE_DATA = 0x2,
    PF_FILE_APPEND_DATA = 0x4,
    PF_FILE_WRITE_EA = 0x10,
    PF_FILE_TRAVERSE = 0x20,
    PF_FILE_DELETE_CHILD = 0x40,
    PF_FILE_READ_ATTRIBUTES = 0x80,
    PF_FILE_WRITE_ATTRIBUTES = 0x100,
    PF_DELETE = 0x10000,
    PF_READ_CONTROL = 0x20000,
    PF_WRITE_DAC = 0x40000,
    PF_WRITE_OWNER = 0x80000,
    PF_SYNCHRONIZE = 0x100000,
    PF_GENERIC_ALL = 0x10000000u,
    PF_GENERIC_WRITE = 0x40000000u,
    PF_GENERIC_READ = 0x80000000u,
    PF_FILE_SHARE_READ = 1,
    PF_FILE_SHARE_WRITE = 2,
    PF_FILE_SHARE_DELETE = 4,
    PF_FILE_OPEN = 1,
    PF_FILE_CREATE = 2,
    PF_FILE_OPEN_IF = 3,
    PF_FILE_DIRECTORY_FILE = 0x1,
    PF_FILE_SYNCHRONOUS_IO_NONALERT = 0x20,
    PF_FILE_NON_DIRECTORY_FILE = 0x40,
    PF_FILE_OPEN_FOR_BACKUP_INTENT = 0x4000,
    PF_FILE_OPEN_REPARSE_POINT = 0x200000,
    PF_ACCESS_ALLOWED_ACE_TYPE = 0,
    PF_ACCESS_DENIED_ACE_TYPE = 1,
    PF_ACCESS_ALLOWED_OBJECT_ACE_TYPE = 5,
    PF_ACCESS_DENIED_OBJECT_ACE_TYPE = 6,
    PF_ACCESS_ALLOWED_CALLBACK_ACE_TYPE = 9,
    PF_ACCESS_DENIED_CALLBACK_ACE_TYPE = 0xA,
    PF_ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE = 0xB,
    PF_ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE = 0xC,
    PF_INHERIT_ONLY_ACE = 0x8,
    PF_SID_TEXT_CAPACITY = 192,  // "S-1-..." of the longest SID with its zero
    PF_NO_DACL = 0xFFFFFFFFu,    // a NULL DACL: everyone may do everything
};

// The registry root this program reads from.
const PfHandle PF_HKEY_LOCAL_MACHINE = (PfHandle)0x80000002u;

// OSVERSIONINFOA: 148 bytes, as GetVersionExA expects.
struct PfOsVersionInfo {
    uint32_t dwOSVersionInfoSize;
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformId;
    char szCSDVersion[128];
};

// SYSTEMTIME.
struct PfSystemTime {
    uint16_t wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

// INFCONTEXT: opaque to the program, copied by value.
struct PfInfContext {
    void* inf;
    void* currentInf;
    uint32_t section;
    uint32_t line;
};

// ---- errors ----------------------------------------------------------------
uint32_t PfGetLastError();
void PfSetLastError(uint32_t error);

// ---- process, environment and time -----------------------------------------
// GetModuleFileNameA: characters copied (cut and terminated at capacity), 0 on failure.
uint32_t PfGetModuleFileName(ModuleHandle module, char* buffer, uint32_t capacity);
int PfGetVersionEx(PfOsVersionInfo* info);
uint16_t PfGetSystemDefaultLangId();
void PfGetLocalTime(PfSystemTime* time);
// CreateMutexA(NULL, TRUE, name); returns GetLastError() after the call and
// the handle in mutex (0 when none). The handle is deliberately never closed.
uint32_t PfCreateOwnedMutex(const char* name, PfHandle* mutex);
// GetSecurityInfo(SE_KERNEL_OBJECT) + IsWellKnownSid: 1 when the object's
// owner is the well-known SID of that type, 0 when it is another, -1 when
// the owner cannot be read.
int PfIsObjectOwnedBy(PfHandle object, uint32_t wellKnownSidType);
// NtQueryObject (ntdll, looked up at run time): what the handle leads to, its
// type ("Mutant") and full name ("\Sessions\1\BaseNamedObjects\Setup"), in
// the ANSI code page without best-fit letters. 1, or 0 with the last error set.
int PfQueryObjectTypeAndName(PfHandle object, char* type, uint32_t typeCapacity, char* name, uint32_t nameCapacity);
uint32_t PfGetCurrentProcessId();
// ProcessIdToSessionId: 1 and the process's session, or 0 with the last error set.
int PfProcessIdToSessionId(uint32_t processId, uint32_t* sessionId);
// GetTempPathA: characters copied without the zero (the path ends in a
// backslash); 0 on failure, or the size needed when capacity is too small.
uint32_t PfGetTempPath(char* buffer, uint32_t capacity);

// ---- multibyte text in the ANSI code page (_mbsicmp, _mbsnicmp, _mbsstr) ----
int PfMbsICmp(const char* a, const char* b);
int PfMbsNICmp(const char* a, const char* b, size_t count);
const char* PfMbsStr(const char* haystack, const char* needle);
int PfIsLeadByte(unsigned char byte);
// MultiByteToWideChar(CP_ACP, 0, ...): length -1 converts through the zero.
int PfAnsiToWide(const char* text, int length, uint16_t* wide, int wideCapacity);
// setlocale(LC_ALL, "")
void PfSetUserLocale();

// ---- shell path functions (shlwapi) ----------------------------------------
int PfPathAppend(char* path, const char* more);  // path holds 260 characters
int PfPathRemoveFileSpec(char* path);
void PfPathStripPath(char* path);
void PfPathRemoveExtension(char* path);
int PfPathAddExtension(char* path, const char* extension);
int PfPathFileExists(const char* path);

// ---- files and folders ------------------------------------------------------
// FindFirstFileA + FindClose: 1 and the first match's name, or 0 with the last error set.
int PfFindFirstFileName(const char* pattern, char* name, uint32_t capacity);
// FindFirstFileA: the open search and the first match's (long) name, or 0 with
// the last error set. FindNextFileA: 1 and the next match's name, or 0 with the
// last error set (ERROR_NO_MORE_FILES at the end). FindClose ends the search.
PfHandle PfFindFirstFile(const char* pattern, char* name, uint32_t capacity);
int PfFindNextFile(PfHandle search, char* name, uint32_t capacity);
int PfFindClose(PfHandle search);
// CreateFileA(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING); 0 on failure.
PfHandle PfOpenFileForRead(const char* path);
int PfWriteFile(PfHandle file, const void* data, uint32_t size);
int PfCloseHandle(PfHandle handle);
int PfCopyFile(const char* source, const char* target, int failIfExists);
int PfDeleteFile(const char* path);
// GetFileAttributesA: the name's own attributes (a link is not followed);
// PF_INVALID_FILE_ATTRIBUTES when there is nothing of that name.
uint32_t PfGetFileAttributes(const char* path);
// GetFullPathNameA into a 260-character buffer: 1 when it fitted.
int PfGetFullPathName(const char* path, char* full);
// CreateFileMappingA(PAGE_READONLY) + MapViewOfFile(FILE_MAP_READ) of the whole file.
// Returns the mapping handle (0 on failure) and the view with the file's size.
PfHandle PfMapFileReadOnly(PfHandle file, const unsigned char** view, uint64_t* size);
void PfUnmapView(const unsigned char* view);
// ImageNtHeader through dbghelp loaded from the system folder: the Machine field
// of the image's file header. 0 when there are no NT headers.
int PfImageNtHeaderMachine(const unsigned char* view, uint16_t* machine);

// ---- files and folders through handles (ntdll, advapi32) ----------------------
// NtCreateFile (OBJ_CASE_INSENSITIVE, FILE_ATTRIBUTE_NORMAL) of name relative
// to the folder root, or with root 0 of name as a full path ("C:\",
// "\\server\share\"); sddl (0: the default) is the security of what it
// creates. 0 on failure, the last error set from the status as CreateFile
// sets it (a name that exists in any form gives ERROR_FILE_EXISTS to FILE_CREATE).
PfHandle PfNtCreateFile(PfHandle root, const char* name, uint32_t access, uint32_t share, uint32_t disposition,
                        uint32_t options, const char* sddl);
// NtQueryInformationFile(FileAttributeTagInformation): what the handle holds.
int PfGetFileAttributeTag(PfHandle file, uint32_t* attributes, uint32_t* reparseTag);
// NtSetInformationFile(FileRenameInformation): the handle's file takes name in
// the folder root; with replace, whatever had the name goes (a link itself,
// never what it leads to). The handle needs DELETE access.
int PfNtRenameFile(PfHandle file, PfHandle root, const char* name, int replace);
// NtSetInformationFile(FileRenameInformationEx, REPLACE_IF_EXISTS | POSIX_SEMANTICS):
// PfNtRenameFile with replace, which also replaces a file others hold open
// sharing delete (their handles keep the old file). Windows 10 1709 on;
// earlier Windows fail it (ERROR_INVALID_PARAMETER).
int PfNtRenameFilePosix(PfHandle file, PfHandle root, const char* name);
// NtSetInformationFile(FileDispositionInformation, TRUE): the name goes when
// the last handle to the file closes. The handle needs DELETE access.
int PfNtSetDeleteDisposition(PfHandle file);
// ReadFile: 1 and the bytes read (0 at the end), or 0 on failure.
int PfReadFile(PfHandle file, void* buffer, uint32_t size, uint32_t* read);
// GetFileSizeEx: the file's size in bytes now.
int PfGetFileSize(PfHandle file, uint64_t* size);
// GetFileTime / SetFileTime of the last-write time alone, as a FILETIME's
// 64 bits; reading needs FILE_READ_ATTRIBUTES, setting FILE_WRITE_ATTRIBUTES.
int PfGetLastWriteTime(PfHandle file, uint64_t* time);
int PfSetLastWriteTime(PfHandle file, uint64_t time);
// One entry of a DACL, its SID as text ("S-1-5-32-544").
struct PfAce {
    uint32_t type;  // PF_ACCESS_ALLOWED_ACE_TYPE, PF_ACCESS_DENIED_ACE_TYPE or another
    uint32_t flags;
    uint32_t mask;
    char sid[PF_SID_TEXT_CAPACITY];  // "" when the entry's SID cannot be read (a compound entry)
};
// GetSecurityInfo(OWNER | DACL) on a handle opened with READ_CONTROL: the
// owner's SID as text and up to capacity ACEs; *count is the DACL's number of
// ACEs (more than capacity: those past it are not filled), PF_NO_DACL for none.
int PfGetSecurityOnHandle(PfHandle handle, char* owner, PfAce* aces, uint32_t capacity, uint32_t* count);
// SetSecurityInfo with the owner and the protected DACL an SDDL string
// describes, on a handle opened with WRITE_DAC and WRITE_OWNER.
int PfSetSecurityOnHandle(PfHandle handle, const char* sddl);
// The SID of the account the process runs as (its token's user), as text.
int PfGetProcessUserSid(char* sid, uint32_t capacity);
// RtlGenRandom (advapi32's SystemFunction036).
int PfGenRandom(void* buffer, uint32_t size);
// Calls a looked-up GetTempPath2A; same results as PfGetTempPath.
uint32_t PfCallGetTempPath2A(PfProc proc, char* buffer, uint32_t capacity);
// Calls a looked-up GetFinalPathNameByHandleA(file, buffer, capacity, 0):
// "\\?\C:\..." with links resolved; its length, 0 on failure, or the size needed.
uint32_t PfCallGetFinalPathNameByHandleA(PfProc proc, PfHandle file, char* buffer, uint32_t capacity);

// ---- initialization files ---------------------------------------------------
uint32_t PfGetPrivateProfileString(const char* section, const char* key, const char* defaultText, char* buffer,
                                   uint32_t capacity, const char* file);
int PfGetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* file);

// ---- registry -----------------------------------------------------------------
int32_t PfRegOpenKey(PfHandle root, const char* subKey, uint32_t access, PfHandle* key);
// RegQueryValueExA: size in and out in bytes.
int32_t PfRegQueryValue(PfHandle key, const char* name, void* data, uint32_t* size);
int32_t PfRegCloseKey(PfHandle key);
// RegCreateKeyExA(root, subKey, non-volatile, access) with the default
// security: the key, opened anew or made.
int32_t PfRegCreateKey(PfHandle root, const char* subKey, uint32_t access, PfHandle* key);
// RegSetValueExA(REG_SZ) of text with its zero.
int32_t PfRegSetString(PfHandle key, const char* name, const char* text);
int32_t PfRegDeleteValue(PfHandle key, const char* name);
// RegDeleteKeyA: the subkey of key, in key's view where Windows has no other.
int32_t PfRegDeleteKey(PfHandle key, const char* subKey);
// Calls a looked-up RegDeleteKeyExA(key, subKey, access, 0).
int32_t PfCallRegDeleteKeyExA(PfProc proc, PfHandle key, const char* subKey, uint32_t access);

// ---- programs ------------------------------------------------------------------
// CreateProcessA(NULL, commandLine, ..., 0, inherited environment, folder as its
// current folder, or this program's when folder is NULL), wait without a time
// limit, read the process and primary-thread exit codes, close both handles.
// 1 on success; 0 with the last error set when the process could not be
// started, waited for or its codes read.
int PfRunProcessAndWait(const char* commandLine, const char* folder, uint32_t* processExitCode,
                        uint32_t* threadExitCode);
// ShellExecuteExA with the given mask, verb, file, parameters, folder and show
// command; waits without a time limit for the process it returns, reads its
// exit code (left as it was when no process came back), then closes it.
int PfShellExecuteAndWait(uint32_t mask, const char* verb, const char* file, const char* parameters,
                          const char* folder, int show, uint32_t* exitCode);

// ---- message boxes and strings -------------------------------------------------------
int PfMessageBox(const char* text, const char* caption, uint32_t style);
// The process's window station has WSF_VISIBLE (GetProcessWindowStation +
// GetUserObjectInformationA(UOI_FLAGS)); 1 when either call fails.
int PfIsDesktopVisible();
// LoadStringA: characters copied; an absent id gives 0 and an empty buffer.
int PfLoadString(ModuleHandle module, uint32_t id, char* buffer, int capacity);

// ---- library loading and run-time lookup ------------------------------------------
ModuleHandle PfGetModuleHandle(const char* name);
ModuleHandle PfLoadLibrary(const char* fullPath);
int PfFreeLibrary(ModuleHandle module);
PfProc PfGetProcAddress(ModuleHandle module, const char* name);
// GetSystemDirectoryA / GetSystemWindowsDirectoryA: characters copied without
// the zero; 0 on failure, or the size needed when capacity is too small.
uint32_t PfGetSystemDirectory(char* buffer, uint32_t capacity);
uint32_t PfGetSystemWindowsDirectory(char* buffer, uint32_t capacity);
// Calls a looked-up GetSystemWow64DirectoryW.
uint32_t PfCallGetSystemWow64DirectoryW(PfProc proc, uint16_t* buffer, uint32_t capacity);

// ---- devices (setupapi) --------------------------------------------------------------
// SetupDiGetClassDevsA(Mouse class, DIGCF_PRESENT); 0 when it fails.
PfHandle PfOpenPresentMouseDevices();
// SetupDiEnumDeviceInfo: 1 while a device exists at the index.
int PfEnumDevice(PfHandle devices, uint32_t index);
// SetupDiGetDeviceRegistryPropertyA(SPDRP_HARDWAREID) of the device at the index.
int PfGetDeviceHardwareIds(PfHandle devices, uint32_t index, unsigned char* buffer, uint32_t capacity,
                           uint32_t* requiredSize);
void PfCloseDevices(PfHandle devices);

// ---- INF parser (setupapi) ---------------------------------------------------------------
// SetupOpenInfFileA(path, NULL, INF_STYLE_WIN4, NULL); 0 on failure.
PfHandle PfInfOpen(const char* path);
void PfInfClose(PfHandle inf);
int PfInfFindFirstLine(PfHandle inf, const char* section, const char* key, PfInfContext* context);
int PfInfFindNextLine(const PfInfContext* context, PfInfContext* next);
int PfInfGetStringField(const PfInfContext* context, uint32_t field, char* buffer, uint32_t capacity,
                        uint32_t* requiredSize);
int PfInfGetLineText(const PfInfContext* context, char* buffer, uint32_t capacity, uint32_t* requiredSize);

// ---- version resources (version.dll from the system folder) ---------------------------------
uint32_t PfGetFileVersionInfoSize(const char* path);
int PfGetFileVersionInfo(const char* path, uint32_t size, void* block);
// VerQueryValueA for a string value; *value points into the block.
int PfVerQueryString(const void* block, const char* subBlock, const char** value);

// ---- privileges and shutdown ------------------------------------------------------------------
int PfOpenOwnProcessToken(uint32_t access, PfHandle* token);
int PfLookupPrivilegeValue(const char* name, uint64_t* luid);
// AdjustTokenPrivileges(token, FALSE, one entry, 0, NULL, NULL).
int PfAdjustTokenPrivilege(PfHandle token, uint64_t luid, uint32_t attributes);
int PfExitWindowsEx(uint32_t flags, uint32_t reason);

// ---- the desktop user's token and process start -------------------------------------------------
uintptr_t PfFindWindow(const char* className);
uint32_t PfGetWindowThreadProcessId(uintptr_t window);
PfHandle PfOpenProcess(uint32_t access, uint32_t processId);
int PfOpenProcessToken(PfHandle process, uint32_t access, PfHandle* token);
int PfDuplicateTokenEx(PfHandle token, uint32_t access, int impersonationLevel, int tokenType, PfHandle* newToken);
// Calls a looked-up CreateProcessWithTokenW with a zeroed STARTUPINFOW; on success
// the new process's and thread's handles come back for the caller to close.
int PfCallCreateProcessWithTokenW(PfProc proc, PfHandle token, uint32_t logonFlags, const uint16_t* applicationName,
                                  uint16_t* commandLine, uint32_t creationFlags, const uint16_t* currentDirectory,
                                  PfHandle* process, PfHandle* thread);

// ---- the console user's token and process start ---------------------------------------------------
// WTSGetActiveConsoleSessionId: PF_NO_CONSOLE_SESSION while no session is attached.
uint32_t PfGetActiveConsoleSessionId();
// Calls a looked-up WTSQueryUserToken (wtsapi32): the primary token of the session's user.
int PfCallWTSQueryUserToken(PfProc proc, uint32_t sessionId, PfHandle* token);
// Calls a looked-up CreateEnvironmentBlock (userenv); the block goes back through DestroyEnvironmentBlock.
int PfCallCreateEnvironmentBlock(PfProc proc, void** environment, PfHandle token, int inherit);
int PfCallDestroyEnvironmentBlock(PfProc proc, void* environment);
// Calls a looked-up CreateProcessAsUserW without inherited handles, with a zeroed
// STARTUPINFOW whose lpDesktop is desktop; on success the new process's and
// thread's handles come back for the caller to close.
int PfCallCreateProcessAsUserW(PfProc proc, PfHandle token, const uint16_t* applicationName, uint16_t* commandLine,
                               uint32_t creationFlags, void* environment, const uint16_t* currentDirectory,
                               const uint16_t* desktop, PfHandle* process, PfHandle* thread);

#endif
