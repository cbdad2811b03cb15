// The simulated machine: state, drives, environment, time, text and message boxes.
#include <dirent.h>
#include <iconv.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "core/desktop.h"
#include "core/setup_state.h"
#include "sim/sim.h"
#include "sim/sim_internal.h"

namespace sim {

namespace {

MachineState g_machine;
std::string g_root;
uint32_t g_lastError = kLastErrorSentinel;

void RemoveTree(const std::string& path)
{
    struct stat info;
    DIR* dir = lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) ? 0 : opendir(path.c_str());
    if (dir) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            RemoveTree(path + "/" + name);
        }
        closedir(dir);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

// The entry of folder whose name equals name without regard to case.
std::string MatchEntry(const std::string& folder, const std::string& name)
{
    struct stat info;
    if (stat((folder + "/" + name).c_str(), &info) == 0)
        return name;
    DIR* dir = opendir(folder.c_str());
    std::string found = name;
    if (dir) {
        while (dirent* entry = readdir(dir))
            if (strcasecmp(entry->d_name, name.c_str()) == 0) {
                found = entry->d_name;
                break;
            }
        closedir(dir);
    }
    return found;
}

}  // namespace

MachineState& Machine() { return g_machine; }

Target& RunTarget()
{
    static Target target;
    return target;
}

Target* CurrentTarget()
{
    Target* target = &RunTarget();
    target->Wide = Is64BitWindows();
    ReadProgramPackage(target, 0);
    return target;
}

int DecideDesktop()
{
    Target machine;
    ReadRunningWindows(&machine);
    g_State.DesktopHidden = IsDesktopHidden(&machine.OsVersion);
    return g_State.DesktopHidden;
}

Target* TargetWithPath(const char* path)
{
    strncpy(RunTarget().Settings.Path, path, sizeof(RunTarget().Settings.Path) - 1);
    return CurrentTarget();
}

void RemoveRoot()
{
    if (!g_root.empty())
        RemoveTree(g_root);
    g_root.clear();
}

void Reset()
{
    static bool cleanupRegistered = false;
    if (!cleanupRegistered) {
        atexit(RemoveRoot);  // ctest runs each test in its own process
        cleanupRegistered = true;
    }
    RemoveRoot();
    char pattern[] = "/tmp/setup-sim-XXXXXX";
    g_root = mkdtemp(pattern);
    g_machine = MachineState();
    g_machine.strings = EnglishStrings();
    g_lastError = kLastErrorSentinel;
    ResetHandles();
    ResetViews();
    ResetSecurity();
    ClearSetupState();
    memset(&RunTarget(), 0, sizeof(Target));
    MakeFolder("C:\\Windows\\system32");
    WriteFile("C:\\Windows\\system32\\cmd.exe", "");  // the command interpreter
    MakeFolder("C:\\Windows\\Temp");
    // Windows' own folders: only administrators change them; users may add
    // to the temporary folder, and what they add there is theirs alone.
    SetSecurity("C:\\Windows", "O:TID:P(A;OICI;FA;;;TI)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)");
    SetSecurity("C:\\Windows\\Temp",
                "O:SYD:P(A;OICIIO;FA;;;CO)(A;CI;0x100026;;;BU)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    // The package, where deployment tools keep it: only administrators change it.
    MakeFolder("C:\\Pkg");
    SetSecurity("C:\\Pkg", "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)");
}

void FailCall(const std::string& call, uint32_t nth, uint32_t error, bool fromThenOn)
{
    g_machine.faults.push_back({call, nth, error, fromThenOn});
}

uint32_t Injected(const char* call, const std::string& subject)
{
    uint32_t use = ++g_machine.useCounts[call];
    for (const Race& race : g_machine.races)
        if (race.call == call && race.nth == use && race.attack)
            race.attack(subject);
    if (g_machine.recordUses)
        g_machine.uses.push_back({call, subject});
    for (const Fault& fault : g_machine.faults)
        if (fault.call == call && (use == fault.nth || (fault.fromThenOn && use > fault.nth))) {
            g_lastError = fault.error;
            return fault.error;
        }
    return 0;
}

std::string HostPath(const std::string& windowsPath)
{
    std::string path = windowsPath;
    std::string host = g_root;
    size_t start = 0;
    if (path.size() >= 2 && path[1] == ':') {
        host += "/" + std::string(1, (char)toupper((unsigned char)path[0]));
        start = 2;
    } else if (path.compare(0, 2, "\\\\") == 0) {
        host += "/UNC";
        start = 2;
    } else {
        host += "/C";  // the current folder is the root of drive C:
    }
    mkdir(host.c_str(), 0755);
    std::stringstream parts(path.substr(start));
    std::string part;
    while (std::getline(parts, part, '\\')) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            size_t slash = host.find_last_of('/');
            if (slash > g_root.size())  // never above the drive
                host.erase(slash);
            continue;
        }
        host += "/" + MatchEntry(host, part);
    }
    return host;
}

std::string WindowsPathOfHost(int fd)
{
    char link[64], target[PATH_MAX + 1];
    snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
    ssize_t length = readlink(link, target, PATH_MAX);
    std::string host = length < 0 ? "" : std::string(target, (size_t)length);
    if (host.compare(0, g_root.size() + 1, g_root + "/") != 0 || host.size() < g_root.size() + 2)
        return "";
    std::string path = host.substr(g_root.size() + 1, 1) + ":" + host.substr(g_root.size() + 2);
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path.size() == 2 ? path + "\\" : path;
}

void MakeFolder(const std::string& windowsPath)
{
    std::string host = HostPath(windowsPath);
    for (size_t slash = g_root.size() + 1; slash != std::string::npos; slash = host.find('/', slash + 1))
        mkdir(host.substr(0, slash).c_str(), 0755);
    mkdir(host.c_str(), 0755);
}

void WriteFile(const std::string& windowsPath, const std::string& bytes)
{
    size_t slash = windowsPath.find_last_of('\\');
    if (slash != std::string::npos)
        MakeFolder(windowsPath.substr(0, slash));
    std::ofstream out(HostPath(windowsPath), std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadFile(const std::string& windowsPath)
{
    std::ifstream in(HostPath(windowsPath), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

bool FileExists(const std::string& windowsPath)
{
    struct stat info;
    return stat(HostPath(windowsPath).c_str(), &info) == 0;
}

bool IsFolder(const std::string& windowsPath)
{
    struct stat info;
    return stat(HostPath(windowsPath).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string MultiSz(const std::vector<std::string>& ids)
{
    std::string list;
    for (const std::string& id : ids)
        list += id + '\0';
    return list + '\0';
}

void SetRegistryString(const std::string& key, const std::string& name, const std::string& value, View view)
{
    g_machine.registry.push_back({key, name, value + '\0', view});
}

std::u16string AnsiToUtf16(const std::string& ansi)
{
    std::u16string wide;
    if (g_machine.ansiCodePage == 1252) {
        static const char16_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                           0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                           0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
        for (unsigned char c : ansi)
            wide += (c >= 0x80 && c < 0xA0) ? kHigh[c - 0x80] : (char16_t)c;
        return wide;
    }
    std::string name = "CP" + std::to_string(g_machine.ansiCodePage);
    iconv_t converter = iconv_open("UTF-16LE", name.c_str());
    if (converter == (iconv_t)-1)
        return wide;
    std::string in = ansi;
    std::string out(in.size() * 4 + 4, '\0');
    char* inPtr = &in[0];
    char* outPtr = &out[0];
    size_t inLeft = in.size(), outLeft = out.size();
    while (inLeft > 0 && iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) == (size_t)-1) {
        // an unmappable byte becomes U+FFFD, as MultiByteToWideChar does
        ++inPtr;
        --inLeft;
        if (outLeft >= 2) {
            *outPtr++ = (char)0xFD;
            *outPtr++ = (char)0xFF;
            outLeft -= 2;
        }
    }
    iconv_close(converter);
    for (size_t i = 0; i + 1 < out.size() - outLeft; i += 2)
        wide += (char16_t)((unsigned char)out[i] | ((unsigned char)out[i + 1] << 8));
    return wide;
}

}  // namespace sim

using sim::g_machine;

uint32_t PfGetLastError() { return sim::g_lastError; }
void PfSetLastError(uint32_t error) { sim::g_lastError = error; }

uint32_t PfGetModuleFileName(ModuleHandle, char* buffer, uint32_t capacity)
{
    SIM_FAULT_POINT("", 0);
    if (capacity == 0)
        return 0;
    size_t copied = std::min<size_t>(g_machine.modulePath.size(), capacity - 1);
    memcpy(buffer, g_machine.modulePath.data(), copied);
    buffer[copied] = 0;
    if (copied < g_machine.modulePath.size())
        PfSetLastError(PF_ERROR_INSUFFICIENT_BUFFER);
    return (uint32_t)copied;
}

int PfGetVersionEx(PfOsVersionInfo* info)
{
    SIM_FAULT_POINT("", 0);
    if (info->dwOSVersionInfoSize != sizeof(PfOsVersionInfo))
        return 0;
    info->dwMajorVersion = g_machine.major;
    info->dwMinorVersion = g_machine.minor;
    info->dwBuildNumber = g_machine.build;
    info->dwPlatformId = g_machine.platformId;
    info->szCSDVersion[0] = 0;
    return 1;
}

uint16_t PfGetSystemDefaultLangId() { return g_machine.systemLangId; }
void PfGetLocalTime(PfSystemTime* time) { *time = g_machine.localTime; }

uint32_t PfCreateOwnedMutex(const char* name, PfHandle* mutex)
{
    *mutex = 0;
    SIM_FAULT_POINT(name, PfGetLastError());
    *mutex = (PfHandle)&g_machine.mutexOwner;
    bool exists = g_machine.mutexHeldElsewhere || !g_machine.mutexLinkTarget.empty();
    PfSetLastError(exists ? (uint32_t)PF_ERROR_ALREADY_EXISTS : 0u);
    return PfGetLastError();
}

int PfQueryObjectTypeAndName(PfHandle object, char* type, uint32_t typeCapacity, char* name, uint32_t nameCapacity)
{
    type[0] = name[0] = 0;
    SIM_FAULT_POINT("", 0);
    if (object != (PfHandle)&g_machine.mutexOwner) {
        PfSetLastError(PF_ERROR_INVALID_HANDLE);
        return 0;
    }
    std::string full = g_machine.mutexLinkTarget;
    if (full.empty())
        full = (g_machine.sessionId == 0 ? std::string() : "\\Sessions\\" + std::to_string(g_machine.sessionId)) +
               "\\BaseNamedObjects\\Setup";
    snprintf(type, typeCapacity, "%s", g_machine.mutexObjectType.c_str());
    snprintf(name, nameCapacity, "%s", full.c_str());
    return 1;
}

int PfIsObjectOwnedBy(PfHandle object, uint32_t wellKnownSidType)
{
    if (object != (PfHandle)&g_machine.mutexOwner || g_machine.mutexOwner.empty())
        return -1;
    const char* sddl = wellKnownSidType == PF_WIN_BUILTIN_ADMINISTRATORS_SID ? "BA"
                       : wellKnownSidType == PF_WIN_LOCAL_SYSTEM_SID         ? "SY"
                                                                             : "?";
    return g_machine.mutexOwner == sddl ? 1 : 0;
}

uint32_t PfGetCurrentProcessId() { return g_machine.processId; }

int PfProcessIdToSessionId(uint32_t processId, uint32_t* sessionId)
{
    SIM_FAULT_POINT("", 0);
    if (processId != g_machine.processId) {
        PfSetLastError(87);  // ERROR_INVALID_PARAMETER
        return 0;
    }
    *sessionId = g_machine.sessionId;
    return 1;
}

uint32_t PfGetTempPath(char* buffer, uint32_t capacity)
{
    SIM_FAULT_POINT(g_machine.tempPath, 0);
    const std::string& path = g_machine.tempPath;
    if (path.empty())
        return 0;
    if (path.size() >= capacity)
        return (uint32_t)path.size() + 1;
    memcpy(buffer, path.c_str(), path.size() + 1);
    return (uint32_t)path.size();
}

int PfIsLeadByte(unsigned char byte)
{
    switch (g_machine.ansiCodePage) {
    case 932:
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
        return byte >= 0x81 && byte <= 0xFE;
    default:
        return 0;
    }
}

namespace {

unsigned FoldSingle(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c + 32;
    if (g_machine.ansiCodePage == 1252 &&
        ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || c == 0x8A || c == 0x8C || c == 0x8E))
        return c >= 0xC0 ? c + 32 : c + 16;
    if (g_machine.ansiCodePage == 1252 && c == 0x9F)
        return 0xFF;
    return c;
}

// The next character of s: one byte, or a lead byte and its trail byte.
unsigned NextChar(const unsigned char*& s)
{
    unsigned c = *s++;
    if (PfIsLeadByte((unsigned char)c) && *s)
        c = (c << 8) | *s++;
    else if (c < 0x100)
        c = FoldSingle((unsigned char)c);
    return c;
}

int CompareFolded(const char* a, const char* b, size_t count)
{
    const unsigned char* pa = (const unsigned char*)a;
    const unsigned char* pb = (const unsigned char*)b;
    for (size_t i = 0; i < count; ++i) {
        unsigned ca = NextChar(pa);
        unsigned cb = NextChar(pb);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
    return 0;
}

}  // namespace

int PfMbsICmp(const char* a, const char* b) { return CompareFolded(a, b, (size_t)-1); }
int PfMbsNICmp(const char* a, const char* b, size_t count) { return CompareFolded(a, b, count); }

const char* PfMbsStr(const char* haystack, const char* needle)
{
    size_t length = strlen(needle);
    if (length == 0)
        return haystack;
    for (const char* p = haystack; *p;) {
        if (strncmp(p, needle, length) == 0)
            return p;
        p += (PfIsLeadByte((unsigned char)*p) && p[1]) ? 2 : 1;
    }
    return 0;
}

int PfAnsiToWide(const char* text, int length, uint16_t* wide, int wideCapacity)
{
    SIM_FAULT_POINT("", 0);
    std::string ansi = length < 0 ? std::string(text, strlen(text) + 1) : std::string(text, (size_t)length);
    std::u16string converted = sim::AnsiToUtf16(ansi);
    if (wideCapacity == 0)
        return (int)converted.size();
    if ((int)converted.size() > wideCapacity) {
        PfSetLastError(PF_ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(wide, converted.data(), converted.size() * 2);
    return (int)converted.size();
}

void PfSetUserLocale() {}

int PfIsDesktopVisible()
{
    SIM_FAULT_POINT("", 1);  // a failing query counts as visible
    return g_machine.desktopVisible ? 1 : 0;
}

int PfMessageBox(const char* text, const char* caption, uint32_t style)
{
    SIM_FAULT_POINT(caption ? caption : "", 0);
    int answer;
    if (!g_machine.answers.empty()) {
        answer = g_machine.answers.front();
        g_machine.answers.erase(g_machine.answers.begin());
    } else {
        answer = (style & 0xF) == PF_MB_YESNO ? PF_IDNO : PF_IDOK;
    }
    // Nobody sees it (since Vista nobody signs in to session 0): on Windows it
    // never returns; the test sees it in boxes.
    if (!g_machine.desktopVisible || (g_machine.sessionId == 0 && g_machine.major >= 6))
        answer = 0;
    g_machine.boxes.push_back({text ? text : "", caption ? caption : "", style, answer});
    return answer;
}

int PfLoadString(ModuleHandle, uint32_t id, char* buffer, int capacity)
{
    if (capacity <= 0)
        return 0;
    buffer[0] = 0;
    SIM_FAULT_POINT(std::to_string(id), 0);
    auto found = g_machine.strings.find(id);
    std::string text = found == g_machine.strings.end() ? "" : found->second;
    size_t copied = std::min<size_t>(text.size(), (size_t)capacity - 1);
    memcpy(buffer, text.data(), copied);
    buffer[copied] = 0;
    return (int)copied;
}
