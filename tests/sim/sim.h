// The simulated Windows machine behind the platform layer in host tests.
// A test describes the machine in sim::Machine(), runs a routine or the whole
// RunSetup, and reads back what happened from the same object.
#ifndef SETUP_TESTS_SIM_SIM_H
#define SETUP_TESTS_SIM_SIM_H

#include <stdint.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/target.h"
#include "util/platform.h"

namespace sim {

const uint32_t kLastErrorSentinel = 0xDEADBEEFu;  // "never set" differs from "set to 0"

enum class View { Both, Only32, Only64 };

struct RegistryValue {
    std::string key;  // below HKEY_LOCAL_MACHINE, e.g. "Software\\Vorn\\Glidex"
    std::string name;
    std::string data;  // the bytes as stored (include the terminator for a normal string)
    View view;
};

// What a started program does.
struct Program {
    bool startFails = false;
    uint32_t startError = PF_ERROR_FILE_NOT_FOUND;
    uint32_t exitCode = 0;
    bool threadCodeDiffers = false;
    uint32_t threadExitCode = 0;
    // Appends these bytes to these Windows paths while "running".
    std::vector<std::pair<std::string, std::string>> appends;
    std::function<void()> whileRunning;
};

struct Box {
    std::string text;
    std::string caption;
    uint32_t style;
    int answer;
};

struct ShellExecution {
    uint32_t mask;
    std::string verb, file, parameters, folder;
    int show;
};

// A wrapped call made to fail: its nth use (counting from 1), or every use
// from the nth on, returning its failure value with this last error.
struct Fault {
    std::string call;  // the wrapper's name, e.g. "PfWriteFile"
    uint32_t nth;
    uint32_t error;
    bool fromThenOn;
};

// One use of a call that can be made to fail, and what it was about (the
// path, key or command), when the machine records them.
struct CallUse {
    std::string call;
    std::string subject;
};

// An attacker's change, applied just before the nth use (counting from 1)
// of a call that can be made to fail; it gets the use's subject (the path).
struct Race {
    std::string call;
    uint32_t nth;
    std::function<void(const std::string& subject)> attack;
};

struct Device {
    std::string instancePath;
    std::string hardwareIds;  // the property's raw bytes; use MultiSz() for a normal list
    bool hasHardwareIds = true;
};

struct MachineState {
    // Windows itself
    uint32_t platformId = PF_VER_PLATFORM_WIN32_NT;
    uint32_t major = 10, minor = 0, build = 19045;
    bool is64Bit = true;
    bool hasWow64DirectoryFunction = true;
    uint16_t systemLangId = 0x0409;
    uint32_t ansiCodePage = 1252;
    PfSystemTime localTime = {2026, 12, 1, 7, 9, 30, 5, 0};
    std::string modulePath = "C:\\Pkg\\Setup.exe";
    std::string systemDirectory = "C:\\Windows\\system32";  // cmd.exe there is the command interpreter
    std::string windowsDirectory = "C:\\Windows";
    // The caller's environment, which the program must not take system folders from.
    std::map<std::string, std::string> environment = {
        {"SYSTEMROOT", "C:\\Windows"}, {"SYSTEMDRIVE", "C:"}, {"COMSPEC", "C:\\Windows\\system32\\cmd.exe"}};
    bool mutexHeldElsewhere = false;
    bool hasGetTempPath2 = false;  // Windows 11 and Server 2022 on
    bool hasPosixRename = true;    // FileRenameInformationEx: Windows 10 1709 on
    uint32_t processId = 1234;
    std::string tempPath = "C:\\Windows\\Temp\\";             // GetTempPathA's answer; the folder exists
    std::string tempPath2 = "C:\\Windows\\SystemTemp\\";      // its answer for SYSTEM
    bool desktopVisible = true;                               // false: a hidden window station (session 0)
    uint32_t sessionId = 1;                                   // the program's; 0 with a visible station: psexec -i 0
    std::function<bool(const std::string& path)> writeFails;  // WriteFile to such a path fails

    // Security of files and folders. A reparse point is a host symbolic link and
    // a hard link a host hard link. Owners in SDDL form ("BA", "SY", or a user's
    // SID) by Windows path in any case; a path not listed, or made by the
    // elevated program, is owned by "BA".
    std::map<std::string, std::string> owners;
    std::string processUser = "S-1-5-21-1-2-3-500";  // the account the program runs as
    bool underWine = false;                          // ntdll exports wine_get_version
    // Who made the mutex held elsewhere, in SDDL form ("BA", "SY", a user's
    // SID); empty when its owner cannot be read, as under Wine.
    std::string mutexOwner;
    // A symbolic-link object named as the mutex in this session's directory,
    // leading to the object of this full name ("\\BaseNamedObjects\\Other"),
    // which exists and is held elsewhere; and the type NtQueryObject reads there.
    std::string mutexLinkTarget;
    std::string mutexObjectType = "Mutant";

    // string table of the language the loader picks: id -> ANSI text
    std::map<uint32_t, std::string> strings;

    // registry and devices
    std::vector<RegistryValue> registry;
    std::vector<std::string> registryKeys;  // keys that exist without values (any view)
    std::vector<Device> devices;            // in enumeration order (under Wine: sorted by instance path)
    // As Wine 8 shows a symbolic link to a file: not by its attributes, and
    // followed even by an open that asks for the link itself.
    bool fileLinksHidden = false;
    bool deviceClassFails = false;

    // files whose delete succeeds while they stay (another process holds them
    // open with delete sharing, or the file system refuses late)
    std::set<std::string> lingeringFiles;

    // programs, keyed by their image path as Windows spells it (any case)
    std::map<std::string, Program> programs;

    // version resources: file path -> (sub-block -> string value)
    std::map<std::string, std::map<std::string, std::string>> versionStrings;

    // the desktop and tokens
    uintptr_t trayWindow = 0x1234;  // 0: no "Shell_TrayWnd"
    uint32_t trayProcessId = 4242;
    uint32_t consoleSessionId = 1;  // PF_NO_CONSOLE_SESSION: none attached
    bool consoleUserSignedIn = true;
    std::set<std::string> failingCalls;  // names of token/launch calls that fail
    bool privilegeNotAssigned = false;
    bool hasCreateProcessWithToken = true;
    bool recordUses = false;  // fault injection: every use of a call that can fail goes into uses
    std::vector<Fault> faults;
    std::vector<Race> races;

    // message box answers in order; when they run out: IDOK, or IDNO for Yes/No.
    // A box on a hidden desktop would wait forever; it is recorded with answer 0.
    std::vector<int> answers;

    // ---- what happened ----
    std::vector<Box> boxes;
    std::vector<std::string> processes;       // command lines given to CreateProcessA, but cmd.exe's
    std::vector<std::string> processFolders;  // the current folder each was given ("": the program's own)
    std::vector<ShellExecution> shellExecutions;
    std::vector<std::string> systemCommands;  // cmd.exe started: the program never does
    std::vector<std::string> calls;           // ordered trace of token, privilege, library and device-property calls
    std::set<PfHandle> openHandles;
    std::map<std::string, std::string> folderSddl;  // folders the program created (lower case) -> SDDL
    std::vector<std::string> createdHostPaths;      // where NtCreateFile made a file or folder, links followed
    std::vector<uint32_t> exitWindowsFlags;
    std::map<std::string, uint32_t> useCounts;  // per call that can be made to fail
    std::vector<CallUse> uses;
};

MachineState& Machine();

// A fresh machine: Windows 10 64-bit, US English, an empty drive C: in a new
// temporary folder, the English string table. Also zeroes the setup state.
void Reset();

// The Target the tests hand to single routines, zeroed by Reset.
// CurrentTarget() first reads the machine's width and program path into it,
// as a run does, and keeps what the test set in its other fields.
Target& RunTarget();
Target* CurrentTarget();
// Decides DesktopHidden as a run does, from the machine's window station,
// session and Windows version; returns it.
int DecideDesktop();
// CurrentTarget() with the settings' Path set to path.
Target* TargetWithPath(const char* path);

// Makes the nth use of call fail with error (never 0), or every use from the nth on.
void FailCall(const std::string& call, uint32_t nth, uint32_t error, bool fromThenOn = false);
// String tables of a resource script: LANGID -> string id -> UTF-8 text.
using StringTables = std::map<uint16_t, std::map<uint32_t, std::string>>;
// What the script holds; each line it cannot read adds a problem.
StringTables ReadStringTables(const std::string& path, std::vector<std::string>& problems);
// The English text of a string id, as res/strings.rc gives it to Setup.exe.
const std::string& EnglishText(uint32_t id);

// The host path that stands for a Windows path (drives are folders of the temp root).
std::string HostPath(const std::string& windowsPath);
void WriteFile(const std::string& windowsPath, const std::string& bytes);
std::string ReadFile(const std::string& windowsPath);
bool FileExists(const std::string& windowsPath);
void MakeFolder(const std::string& windowsPath);
// A reparse point at link that leads to target (a host symbolic link).
void MakeLink(const std::string& link, const std::string& target);
// text with the protected copy of the package (its folder, in any command or
// path) named as the package itself: the copy runs the package's programs.
std::string AsPackagePath(const std::string& text);
// Whether the program holds a file handle open on the path.
bool IsOpen(const std::string& windowsPath);
// A second name for an existing file.
void MakeHardLink(const std::string& link, const std::string& existing);
// Attributes the host's files lack (hidden, system), on the object at path.
void SetAttributes(const std::string& windowsPath, uint32_t attributes);
// The last-write time as a FILETIME's 64 bits.
uint64_t LastWriteTime(const std::string& windowsPath);
void SetLastWriteTime(const std::string& windowsPath, uint64_t time);

// ---- security and other users --------------------------------------------------
// Files and folders carry an owner and a DACL, set here in SDDL form ("O:BAD:P(A;OICI;FA;;;BA)"; an
// owner or DACL left out stays as it was). Without one set, a folder or file has the owner
// Machine().owners gives and inherits its parent's inheritable entries; a drive root has the DACL
// Windows gives C:\ (Users may add folders, and Authenticated Users may change what is made in it).
// The security belongs to the object: it follows its renames and hard links.
const char kRootSddl[] = "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;SDGXGWGR;;;AU)"
                         "(A;;LC;;;AU)";
const char kUserSid[] = "S-1-5-21-1-2-3-1001";  // a standard user, member of Users and Authenticated Users
void SetSecurity(const std::string& windowsPath, const std::string& sddl);
// What was set on the object at path, by a test or the program, in SDDL form ("" for nothing).
std::string SecurityText(const std::string& windowsPath);
// 1 when the standard user may do all of access to the object at path, by its DACL and owner now.
bool UserMay(const std::string& windowsPath, uint32_t access);
// 1 when the standard user may write, add, delete, change attributes, permissions or owner there.
bool UserMayChange(const std::string& windowsPath);

// What the standard user can do, as Windows lets them: the DACLs decide what each open is granted,
// held handles and their share modes what may be renamed or removed. Each returns false when
// Windows would refuse, and changes nothing then. A handle stays open until ForeignClose or Reset
// and keeps the access it was granted when the DACL changes later.
PfHandle ForeignOpen(const std::string& windowsPath, uint32_t access, uint32_t share);
void ForeignClose(PfHandle handle);
bool ForeignSetSecurity(PfHandle handle, const std::string& sddl);
bool ForeignRename(const std::string& from, const std::string& to);
bool ForeignDelete(const std::string& windowsPath);
// A junction or symbolic link at link, leading to target (which need not exist).
bool ForeignLink(const std::string& link, const std::string& target);
bool ForeignHardLink(const std::string& link, const std::string& existing);

// "a", "b" -> "a\0b\0\0"
std::string MultiSz(const std::vector<std::string>& ids);
void SetRegistryString(const std::string& key, const std::string& name, const std::string& value,
                       View view = View::Both);
// The value a program sees in the 64-bit view (wants64) or the 32-bit one; 0 for none.
const RegistryValue* FindRegistryValue(const std::string& key, const std::string& name, bool wants64);
// A minimal PE image with the given Machine field.
std::string PeImage(uint16_t machine);

// The simulated ANSI <-> UTF-16 conversion of the machine's code page.
std::u16string AnsiToUtf16(const std::string& ansi);
// Characters the code page lacks become a near letter or '?'.
std::string Utf16ToAnsi(const std::u16string& wide);

// The INF parser's answers that the program itself never asks for:
// the error line of the last failed PfInfOpen (-1: not set), and
// SetupGetFieldCount / SetupGetLineCountA (-1: no such section).
int InfErrorLine();
int InfFieldCount(const PfInfContext* context);
int InfLineCount(PfHandle inf, const char* section);

}  // namespace sim

#endif
