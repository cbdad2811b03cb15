// The simulated machine: files and folders through handles, their owners and
// DACLs, and what another user may do to them.
//
// A held handle is a host descriptor of the object itself, so that renames
// and links of its names leave it where it was, as a Windows handle does.
// Where this follows Windows' rules rather than the host's:
// - NtCreateFile (Win32 API reference; MS-FSA, "Server Requests an Open of a
//   File"): a reparse point at the final name is followed before the
//   disposition is applied, unless FILE_OPEN_REPARSE_POINT is given; then
//   FILE_CREATE fails on it as on any existing name (STATUS_OBJECT_NAME_COLLISION,
//   which CreateFile reports as ERROR_FILE_EXISTS).
// - Share modes (MS-FSA, the sharing-access check of an open; CreateFile in
//   the Win32 API reference): only read, write and delete access count; a
//   rename or delete of an object needs every other open of it to share delete.
// - FileRenameInformation (MS-FSA, "FileRenameInformation" under setting file
//   information): the target is named relative to RootDirectory; replacing
//   fails on a folder or on a file that is open.
// - FileDispositionInformation (MS-FSA, same section): the name goes at the
//   last close of the file.
// - Access checks (Win32 API reference, "How DACLs Control Access to an
//   Object"): deny entries first, then allow entries add up; the owner is
//   always granted READ_CONTROL and WRITE_DAC; DELETE is also granted by
//   FILE_DELETE_CHILD on the parent; access is granted at open and kept by
//   the handle when the DACL changes later.
// - Inheritance (Win32 API reference, "ACE Inheritance Rules"): a folder takes
//   its parent's container-inherit entries, a file its object-inherit ones;
//   without a DACL of its own it is worked out when asked; a DACL given at
//   creation gets them appended unless it is protected ("D:P").
// The elevated program itself is granted whatever it asks for, as an
// administrator with the backup and restore privileges would be.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "sim/sim.h"
#include "sim/sim_internal.h"

namespace sim {

namespace {

using Identity = std::pair<uint64_t, uint64_t>;

struct Ace {
    uint32_t type, flags, mask;
    std::string sid;
};

struct Security {
    bool hasOwner = false, hasDacl = false, nullDacl = false, protectedDacl = false;
    std::string owner;
    std::vector<Ace> aces;
    std::string text;
};

std::map<Identity, Security> g_security;
const uint64_t kUnixEpochTicks = 116444736000000000ull;  // 1970-01-01 as a FILETIME
// Hidden, system and the like, which the host's files do not carry.
std::map<Identity, uint32_t> g_attributes;

uint64_t FileTimeOf(const struct stat& info)
{
    return kUnixEpochTicks + (uint64_t)info.st_mtim.tv_sec * 10000000u + (uint64_t)info.st_mtim.tv_nsec / 100;
}

// futimens' times: the access time left alone, the last write set.
void WriteTimes(uint64_t time, struct timespec* times)
{
    times[0] = {0, UTIME_OMIT};
    times[1] = {(time_t)((time - kUnixEpochTicks) / 10000000u), (long)((time - kUnixEpochTicks) % 10000000u * 100)};
}

const uint32_t kObjectInherit = 0x1, kContainerInherit = 0x2, kNoPropagate = 0x4;
const char kTrustedInstaller[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

const std::map<std::string, std::string>& Aliases()
{
    static const std::map<std::string, std::string> aliases = {
        {"BA", "S-1-5-32-544"}, {"SY", "S-1-5-18"},    {"BU", "S-1-5-32-545"}, {"AU", "S-1-5-11"},
        {"WD", "S-1-1-0"},      {"CO", "S-1-3-0"},     {"IU", "S-1-5-4"},      {"TI", kTrustedInstaller},
        {"OW", "S-1-3-4"},      {"PU", "S-1-5-32-547"}};
    return aliases;
}

std::string FullSid(const std::string& sid)
{
    auto found = Aliases().find(sid);
    return found == Aliases().end() ? sid : found->second;
}

uint32_t Rights(const std::string& text)
{
    if (text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0)
        return (uint32_t)strtoul(text.c_str(), 0, 16);
    static const std::map<std::string, uint32_t> kRights = {
        {"FA", 0x1F01FF},   {"FR", 0x120089},   {"FW", 0x120116},   {"FX", 0x1200A0}, {"GA", 0x10000000},
        {"GX", 0x20000000}, {"GW", 0x40000000}, {"GR", 0x80000000}, {"SD", 0x10000},  {"RC", 0x20000},
        {"WD", 0x40000},    {"WO", 0x80000},    {"CC", 0x1},        {"DC", 0x2},      {"LC", 0x4},
        {"SW", 0x8},        {"RP", 0x10},       {"WP", 0x20},       {"DT", 0x40},     {"LO", 0x80},
        {"CR", 0x100}};
    uint32_t mask = 0;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        auto found = kRights.find(text.substr(i, 2));
        if (found != kRights.end())
            mask |= found->second;
    }
    return mask;
}

// Generic rights as they map for files.
uint32_t MapGeneric(uint32_t mask)
{
    uint32_t mapped = mask & 0x0FFFFFFF;
    if (mask & PF_GENERIC_ALL)
        mapped |= 0x1F01FF;
    if (mask & 0x20000000)
        mapped |= 0x1200A0;
    if (mask & PF_GENERIC_WRITE)
        mapped |= 0x120116;
    if (mask & PF_GENERIC_READ)
        mapped |= 0x120089;
    return mapped;
}

// Reads "O:..", "D:P(..)(..)" into security; parts left out stay unset.
void ParseSddl(const std::string& sddl, Security* security)
{
    security->text = sddl;
    size_t at = 0;
    while (at < sddl.size()) {
        char part = sddl[at];
        size_t end = at + 2;
        if (part == 'O' || part == 'G') {
            size_t next = sddl.find(':', end);
            // The owner runs to the next "X:" part.
            size_t stop = next == std::string::npos ? sddl.size() : next - 1;
            if (part == 'O') {
                security->hasOwner = true;
                security->owner = FullSid(sddl.substr(end, stop - end));
            }
            at = stop;
            continue;
        }
        if (part != 'D')
            break;
        security->hasDacl = true;
        security->nullDacl = sddl.compare(end, 17, "NO_ACCESS_CONTROL") == 0;
        security->protectedDacl = false;
        security->aces.clear();
        for (; end < sddl.size() && sddl[end] != '('; ++end)
            security->protectedDacl |= !security->nullDacl && sddl[end] == 'P';
        while (end < sddl.size() && sddl[end] == '(') {
            size_t close = sddl.find(')', end);
            std::vector<std::string> fields;
            std::stringstream entry(sddl.substr(end + 1, close - end - 1));
            std::string field;
            while (std::getline(entry, field, ';'))
                fields.push_back(field);
            fields.resize(6);
            static const std::map<std::string, uint32_t> kTypes = {
                {"A", PF_ACCESS_ALLOWED_ACE_TYPE},
                {"D", PF_ACCESS_DENIED_ACE_TYPE},
                {"OA", PF_ACCESS_ALLOWED_OBJECT_ACE_TYPE},
                {"OD", PF_ACCESS_DENIED_OBJECT_ACE_TYPE},
                {"XA", PF_ACCESS_ALLOWED_CALLBACK_ACE_TYPE},
                {"XD", PF_ACCESS_DENIED_CALLBACK_ACE_TYPE},
                {"ZA", PF_ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE},
                {"ZD", PF_ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE},  // no SDDL letters exist for it
                {"CA", 4},                                          // a compound entry: its SIDs are not read
            };
            auto type = kTypes.find(fields[0]);
            Ace ace{type == kTypes.end() ? (uint32_t)PF_ACCESS_ALLOWED_ACE_TYPE : type->second, 0, Rights(fields[2]),
                    FullSid(fields[5])};
            for (size_t i = 0; i + 1 < fields[1].size(); i += 2) {
                std::string flag = fields[1].substr(i, 2);
                ace.flags |= flag == "OI"   ? kObjectInherit
                             : flag == "CI" ? kContainerInherit
                             : flag == "NP" ? kNoPropagate
                             : flag == "IO" ? (uint32_t)PF_INHERIT_ONLY_ACE
                                            : 0u;
            }
            security->aces.push_back(ace);
            end = close + 1;
        }
        at = end;
    }
}

bool IdentityOf(const std::string& hostPath, Identity* identity)
{
    struct stat info;
    if (lstat(hostPath.c_str(), &info) != 0)
        return false;
    *identity = {(uint64_t)info.st_dev, (uint64_t)info.st_ino};
    return true;
}

std::string ParentOf(const std::string& windowsPath)
{
    std::string path = windowsPath;
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos || path.size() <= 3 || (path[0] == '\\' && path.find('\\', 2) == slash))
        return "";
    return path.substr(0, slash < 3 ? 3 : slash);
}

std::string OwnerByPath(const std::string& windowsPath)
{
    std::string key = windowsPath;
    while (key.size() > 3 && key.back() == '\\')
        key.pop_back();
    for (auto& entry : Machine().owners)
        if (strcasecmp(entry.first.c_str(), key.c_str()) == 0)
            return FullSid(entry.second);
    return FullSid("BA");
}

Security Effective(const std::string& windowsPath);

// The entries an object made in parent inherits from it.
std::vector<Ace> InheritedAces(const std::string& parent, bool folder)
{
    std::vector<Ace> aces;
    for (const Ace& ace : Effective(parent).aces) {
        if (!(ace.flags & (folder ? kContainerInherit : kObjectInherit)))
            continue;
        Ace inherited = ace;
        if (!folder || (ace.flags & kNoPropagate))
            inherited.flags = 0;
        else if (ace.flags & kContainerInherit)
            inherited.flags &= ~(uint32_t)PF_INHERIT_ONLY_ACE;
        else
            inherited.flags |= PF_INHERIT_ONLY_ACE;  // only for the files inside
        aces.push_back(inherited);
    }
    return aces;
}

// The owner and DACL in force at path: its own, or inherited along its names.
Security Effective(const std::string& windowsPath)
{
    Security security;
    Identity identity;
    auto found = IdentityOf(HostPath(windowsPath), &identity) ? g_security.find(identity) : g_security.end();
    if (found != g_security.end())
        security = found->second;
    if (!security.hasOwner)
        security.owner = OwnerByPath(windowsPath);
    if (security.hasDacl)
        return security;
    std::string parent = ParentOf(windowsPath);
    if (parent.empty()) {
        Security root;
        ParseSddl(kRootSddl, &root);
        security.aces = root.aces;
        return security;
    }
    security.aces = InheritedAces(parent, IsFolder(windowsPath));
    return security;
}

bool HasSid(const std::vector<std::string>& sids, const std::string& sid)
{
    for (const std::string& own : sids)
        if (own == sid)
            return true;
    return false;
}

// What the security grants an account with these SIDs (the first its user).
uint32_t Granted(const Security& security, const std::vector<std::string>& sids)
{
    if (security.nullDacl)
        return 0x1F01FF;
    uint32_t allowed = security.owner == sids[0] ? (uint32_t)(PF_READ_CONTROL | PF_WRITE_DAC) : 0u;
    uint32_t denied = 0;
    for (const Ace& ace : security.aces) {
        if ((ace.flags & PF_INHERIT_ONLY_ACE) || !HasSid(sids, ace.sid))
            continue;
        if (ace.type == PF_ACCESS_DENIED_ACE_TYPE || ace.type == PF_ACCESS_DENIED_OBJECT_ACE_TYPE ||
            ace.type == PF_ACCESS_DENIED_CALLBACK_ACE_TYPE || ace.type == PF_ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE)
            denied |= MapGeneric(ace.mask);
        else
            allowed |= MapGeneric(ace.mask);
    }
    return allowed & ~denied;
}

const std::vector<std::string>& UserSids()
{
    static const std::vector<std::string> sids = {kUserSid, "S-1-5-32-545", "S-1-5-11", "S-1-1-0", "S-1-5-4"};
    return sids;
}

// The host path a descriptor holds now.
std::string FdPath(int fd)
{
    char link[64], target[PATH_MAX + 1];
    snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
    ssize_t length = readlink(link, target, PATH_MAX);
    return length < 0 ? "" : std::string(target, (size_t)length);
}

// The entry of the host folder whose name equals name without regard to case.
std::string MatchName(const std::string& folder, const std::string& name)
{
    struct stat info;
    if (lstat((folder + "/" + name).c_str(), &info) == 0)
        return name;
    DIR* dir = opendir(folder.c_str());
    std::string found = name;
    while (dirent* entry = dir ? readdir(dir) : 0)
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = entry->d_name;
            break;
        }
    if (dir)
        closedir(dir);
    return found;
}

const uint32_t kReadish = PF_FILE_READ_DATA | 0x20;  // FILE_EXECUTE
const uint32_t kWritish = PF_FILE_WRITE_DATA | PF_FILE_APPEND_DATA;

// Whether an open of identity with access and share fits every open handle.
bool SharingFits(const Identity& identity, uint32_t access, uint32_t share)
{
    access = MapGeneric(access);
    for (auto& entry : Handles()) {
        const HandleData& open = entry.second;
        if (open.fd < 0 || open.device != identity.first || open.inode != identity.second)
            continue;
        uint32_t held = MapGeneric(open.access);
        if (((access & kReadish) && !(open.share & PF_FILE_SHARE_READ)) ||
            ((access & kWritish) && !(open.share & PF_FILE_SHARE_WRITE)) ||
            ((access & PF_DELETE) && !(open.share & PF_FILE_SHARE_DELETE)) ||
            ((held & kReadish) && !(share & PF_FILE_SHARE_READ)) ||
            ((held & kWritish) && !(share & PF_FILE_SHARE_WRITE)) ||
            ((held & PF_DELETE) && !(share & PF_FILE_SHARE_DELETE)))
            return false;
    }
    return true;
}

bool IsHeldOpen(const Identity& identity)
{
    for (auto& entry : Handles())
        if (entry.second.fd >= 0 && entry.second.device == identity.first && entry.second.inode == identity.second)
            return true;
    return false;
}

uint32_t Fail(uint32_t error)
{
    PfSetLastError(error);
    return 0;
}

std::string Join(const std::string& folder, const std::string& name)
{
    return folder.empty() || folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

// Opens what lies at name in the host folder dir (a descriptor); see NtCreateFile.
PfHandle OpenAt(const std::string& dirHost, const std::string& windowsPath, const std::string& nameIn,
                uint32_t access, uint32_t share, uint32_t disposition, uint32_t options, const char* sddl,
                bool foreign)
{
    std::string dir = dirHost, name = nameIn, shownPath = windowsPath;
    struct stat info;
    for (int hops = 0;; ++hops) {
        struct stat folderInfo;
        if (stat(dir.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode))
            return Fail(PF_ERROR_PATH_NOT_FOUND);
        name = MatchName(dir, name);
        bool exists = lstat((dir + "/" + name).c_str(), &info) == 0;
        struct stat leadsTo;
        bool hidden = Machine().fileLinksHidden && exists && S_ISLNK(info.st_mode) &&
                      !(stat((dir + "/" + name).c_str(), &leadsTo) == 0 && S_ISDIR(leadsTo.st_mode));
        if (!exists || !S_ISLNK(info.st_mode) || ((options & PF_FILE_OPEN_REPARSE_POINT) && !hidden))
            break;
        // A reparse point is followed before the disposition counts.
        char target[PATH_MAX + 1];
        ssize_t length = readlink((dir + "/" + name).c_str(), target, PATH_MAX);
        if (length <= 0 || hops == 8)
            return Fail(PF_ERROR_PATH_NOT_FOUND);
        std::string to(target, (size_t)length);
        size_t slash = to.find_last_of('/');
        dir = to.substr(0, slash);
        name = to.substr(slash + 1);
    }
    std::string host = dir + "/" + name;
    bool exists = lstat(host.c_str(), &info) == 0;
    bool link = exists && S_ISLNK(info.st_mode);
    struct stat followed;
    bool isFolder = exists && (S_ISDIR(info.st_mode) ||
                               (link && stat(host.c_str(), &followed) == 0 && S_ISDIR(followed.st_mode)));
    if (exists && disposition == PF_FILE_CREATE)
        return Fail(PF_ERROR_FILE_EXISTS);
    if (!exists && disposition == PF_FILE_OPEN)
        return Fail(PF_ERROR_FILE_NOT_FOUND);
    if (exists && isFolder && (options & PF_FILE_NON_DIRECTORY_FILE))
        return Fail(PF_ERROR_ACCESS_DENIED);
    if (exists && !isFolder && (options & PF_FILE_DIRECTORY_FILE))
        return Fail(PF_ERROR_DIRECTORY);
    if (exists) {
        Identity identity{(uint64_t)info.st_dev, (uint64_t)info.st_ino};
        if (foreign && (Granted(Effective(shownPath), UserSids()) & MapGeneric(access)) != MapGeneric(access))
            return Fail(PF_ERROR_ACCESS_DENIED);
        if (!SharingFits(identity, access, share))
            return Fail(PF_ERROR_SHARING_VIOLATION);
    } else {
        std::string parentPath = ParentOf(shownPath);
        uint32_t add = (options & PF_FILE_DIRECTORY_FILE) ? PF_FILE_APPEND_DATA : PF_FILE_WRITE_DATA;
        if (foreign && !(Granted(Effective(parentPath), UserSids()) & add))
            return Fail(PF_ERROR_ACCESS_DENIED);
        if (options & PF_FILE_DIRECTORY_FILE) {
            if (mkdir(host.c_str(), 0755) != 0)
                return Fail(PF_ERROR_PATH_NOT_FOUND);
            if (sddl) {
                std::string key = shownPath;
                for (char& c : key)
                    c = (char)tolower((unsigned char)c);
                Machine().folderSddl[key] = sddl;
            }
        } else {
            int made = open(host.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW, 0644);
            if (made < 0)
                return Fail(PF_ERROR_PATH_NOT_FOUND);
            close(made);
        }
        lstat(host.c_str(), &info);
        if (!foreign)
            Machine().createdHostPaths.push_back(host);
        if (sddl || foreign) {
            Security security;
            security.hasOwner = true;
            security.owner = foreign ? kUserSid : FullSid("BA");
            if (sddl)
                ParseSddl(sddl, &security);
            if (security.hasDacl && !security.protectedDacl && !security.nullDacl) {
                std::vector<Ace> inherited = InheritedAces(parentPath, IsFolder(shownPath));
                security.aces.insert(security.aces.end(), inherited.begin(), inherited.end());
            }
            g_security[{(uint64_t)info.st_dev, (uint64_t)info.st_ino}] = security;
        }
    }
    // A handle that may only append writes at the end whatever its position.
    bool appendOnly = (access & PF_FILE_APPEND_DATA) && !(MapGeneric(access) & PF_FILE_WRITE_DATA);
    int flags = O_RDWR;
    if (link)
        flags = O_PATH | O_NOFOLLOW;
    else if (isFolder || (options & PF_FILE_DIRECTORY_FILE))
        flags = O_RDONLY | O_DIRECTORY;
    else if (appendOnly)
        flags = O_WRONLY | O_APPEND;
    int fd = open(host.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return Fail(PF_ERROR_ACCESS_DENIED);
    PfHandle handle = NewHandle(HandleKind::Held, shownPath);
    HandleData& data = Handles()[handle];
    data.fd = fd;
    data.access = access;
    data.share = share;
    data.folder = isFolder || (!exists && (options & PF_FILE_DIRECTORY_FILE));
    data.link = link;
    data.foreign = foreign;
    data.device = (uint64_t)info.st_dev;
    data.inode = (uint64_t)info.st_ino;
    if (foreign)
        Machine().openHandles.erase(handle);  // not the program's to close
    return handle;
}

HandleData* Held(PfHandle handle)
{
    HandleData* data = FindHandle(handle, HandleKind::Held);
    if (!data)
        PfSetLastError(PF_ERROR_INVALID_HANDLE);
    return data;
}

// Splits a full Windows path into its folder's host path and its last name.
bool SplitHost(const std::string& windowsPath, std::string* dirHost, std::string* name)
{
    std::string parent = ParentOf(windowsPath);
    if (parent.empty())
        return false;
    std::string path = windowsPath;
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    *dirHost = HostPath(parent);
    *name = path.substr(path.find_last_of('\\') + 1);
    *name = MatchName(*dirHost, *name);
    return true;
}

// The standard user may remove or rename what is at path: DELETE on it or
// FILE_DELETE_CHILD on its folder, and no open without delete sharing.
bool UserMayRemove(const std::string& windowsPath)
{
    Identity identity;
    if (!IdentityOf(HostPath(windowsPath), &identity))
        return false;
    bool allowed = (Granted(Effective(windowsPath), UserSids()) & PF_DELETE) ||
                   (Granted(Effective(ParentOf(windowsPath)), UserSids()) & PF_FILE_DELETE_CHILD);
    return allowed &&
           SharingFits(identity, PF_DELETE, PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE);
}

bool UserMayAdd(const std::string& windowsPath, bool folder)
{
    struct stat info;
    if (lstat(HostPath(windowsPath).c_str(), &info) == 0)
        return false;
    return Granted(Effective(ParentOf(windowsPath)), UserSids()) &
           (folder ? PF_FILE_APPEND_DATA : PF_FILE_WRITE_DATA);
}

}  // namespace

void CloseHeld(PfHandle handle)
{
    auto found = Handles().find(handle);
    if (found == Handles().end() || found->second.fd < 0)
        return;
    HandleData& data = found->second;
    std::string host = FdPath(data.fd);
    close(data.fd);
    data.fd = -1;
    // The name goes with the last handle; one still open takes the mark over.
    bool pending = data.deletePending, othersOpen = false;
    for (auto& entry : Handles())
        if (entry.second.fd >= 0 && entry.second.device == data.device && entry.second.inode == data.inode) {
            othersOpen = true;
            entry.second.deletePending = entry.second.deletePending || pending;
        }
    pending = pending && !othersOpen;
    if (pending && host.find(" (deleted)") == std::string::npos) {
        if (data.folder && !data.link)
            rmdir(host.c_str());
        else
            unlink(host.c_str());
    }
}

bool SharingAllowsAt(const std::string& windowsPath, uint32_t access, uint32_t share)
{
    struct stat info;
    if (stat(HostPath(windowsPath).c_str(), &info) != 0 ||
        SharingFits({(uint64_t)info.st_dev, (uint64_t)info.st_ino}, access, share))
        return true;
    PfSetLastError(PF_ERROR_SHARING_VIOLATION);
    return false;
}

void SetSecurity(const std::string& windowsPath, const std::string& sddl)
{
    Identity identity;
    if (!IdentityOf(HostPath(windowsPath), &identity))
        return;
    ParseSddl(sddl, &g_security[identity]);
}

std::string SecurityText(const std::string& windowsPath)
{
    Identity identity;
    if (!IdentityOf(HostPath(windowsPath), &identity))
        return "";
    auto found = g_security.find(identity);
    return found == g_security.end() ? "" : found->second.text;
}

bool UserMay(const std::string& windowsPath, uint32_t access)
{
    return (Granted(Effective(windowsPath), UserSids()) & MapGeneric(access)) == MapGeneric(access);
}

bool UserMayChange(const std::string& windowsPath)
{
    return (Granted(Effective(windowsPath), UserSids()) &
            (PF_FILE_WRITE_DATA | PF_FILE_APPEND_DATA | PF_FILE_DELETE_CHILD | PF_FILE_WRITE_ATTRIBUTES | PF_DELETE |
             PF_WRITE_DAC | PF_WRITE_OWNER)) != 0;
}

void ResetSecurity()
{
    g_security.clear();
    g_attributes.clear();
}

void SetAttributes(const std::string& windowsPath, uint32_t attributes)
{
    Identity identity;
    if (IdentityOf(HostPath(windowsPath), &identity))
        g_attributes[identity] = attributes;
}

uint64_t LastWriteTime(const std::string& windowsPath)
{
    struct stat info;
    if (stat(HostPath(windowsPath).c_str(), &info) != 0)
        return 0;
    return FileTimeOf(info);
}

void SetLastWriteTime(const std::string& windowsPath, uint64_t time)
{
    struct timespec times[2];
    WriteTimes(time, times);
    utimensat(AT_FDCWD, HostPath(windowsPath).c_str(), times, 0);
}

PfHandle ForeignOpen(const std::string& windowsPath, uint32_t access, uint32_t share)
{
    std::string dirHost, name;
    if (!SplitHost(windowsPath, &dirHost, &name))
        return 0;
    return OpenAt(dirHost, windowsPath, name, access, share, PF_FILE_OPEN, PF_FILE_OPEN_REPARSE_POINT, 0, true);
}

void ForeignClose(PfHandle handle)
{
    CloseHeld(handle);
    Handles().erase(handle);
}

bool ForeignSetSecurity(PfHandle handle, const std::string& sddl)
{
    HandleData* data = Held(handle);
    if (!data || !(MapGeneric(data->access) & PF_WRITE_DAC))
        return false;
    ParseSddl(sddl, &g_security[{data->device, data->inode}]);
    return true;
}

bool ForeignRename(const std::string& from, const std::string& to)
{
    if (!UserMayRemove(from) || !UserMayAdd(to, IsFolder(from)))
        return false;
    return rename(HostPath(from).c_str(), HostPath(to).c_str()) == 0;
}

bool ForeignDelete(const std::string& windowsPath)
{
    if (!UserMayRemove(windowsPath))
        return false;
    std::string host = HostPath(windowsPath);
    struct stat info;
    return lstat(host.c_str(), &info) == 0 &&
           (S_ISDIR(info.st_mode) ? rmdir(host.c_str()) : unlink(host.c_str())) == 0;
}

bool ForeignLink(const std::string& link, const std::string& target)
{
    if (!UserMayAdd(link, true))
        return false;
    std::string host = HostPath(link);
    if (symlink(HostPath(target).c_str(), host.c_str()) != 0)
        return false;
    Identity identity;
    if (IdentityOf(host, &identity)) {
        Security& security = g_security[identity];
        security.hasOwner = true;
        security.owner = kUserSid;
    }
    return true;
}

bool ForeignHardLink(const std::string& link, const std::string& existing)
{
    return UserMayAdd(link, false) && ::link(HostPath(existing).c_str(), HostPath(link).c_str()) == 0;
}

}  // namespace sim

using namespace sim;

PfHandle PfNtCreateFile(PfHandle root, const char* name, uint32_t access, uint32_t share, uint32_t disposition,
                        uint32_t options, const char* sddl)
{
    std::string rootPath = root ? HandlePath(root) : "";
    std::string full = root ? Join(rootPath, name) : name;
    SIM_FAULT_POINT(full, 0);
    if (root) {
        HandleData* folder = Held(root);
        if (!folder || !folder->folder || folder->link)
            return Fail(PF_ERROR_INVALID_HANDLE);
        if (!*name || strchr(name, '\\'))
            return Fail(3);  // one name below the folder; ERROR_PATH_NOT_FOUND
        return OpenAt(FdPath(folder->fd), full, name, access, share, disposition, options, sddl, false);
    }
    std::string dirHost, last;
    if (!SplitHost(full, &dirHost, &last)) {
        // A volume root.
        std::string host = HostPath(full);
        size_t slash = host.find_last_of('/');
        return OpenAt(host.substr(0, slash), full, host.substr(slash + 1), access, share, disposition, options, sddl,
                      false);
    }
    return OpenAt(dirHost, full, last, access, share, disposition, options, sddl, false);
}

int PfGetFileAttributeTag(PfHandle file, uint32_t* attributes, uint32_t* reparseTag)
{
    SIM_FAULT_POINT(HandlePath(file), 0);
    HandleData* data = Held(file);
    struct stat info;
    if (!data || fstat(data->fd, &info) != 0)
        return 0;
    *attributes = data->folder ? (uint32_t)PF_FILE_ATTRIBUTE_DIRECTORY : (uint32_t)PF_FILE_ATTRIBUTE_ARCHIVE;
    *reparseTag = 0;
    auto extra = g_attributes.find({(uint64_t)info.st_dev, (uint64_t)info.st_ino});
    if (extra != g_attributes.end())
        *attributes |= extra->second;
    if (S_ISLNK(info.st_mode)) {
        *attributes |= PF_FILE_ATTRIBUTE_REPARSE_POINT;
        *reparseTag = data->folder ? 0xA0000003u : 0xA000000Cu;  // a mount point, a symbolic link
    }
    return 1;
}

namespace {

// What both renames check before they look at the name's present holder: the
// handles, the file's delete access. Fills the name's host path in root's folder.
bool RenameTarget(PfHandle file, PfHandle root, const char* name, HandleData** data, HandleData** folder,
                  std::string* target)
{
    *data = Held(file);
    *folder = Held(root);
    if (!*data || !*folder || !(*folder)->folder)
        return false;
    if (!(MapGeneric((*data)->access) & PF_DELETE)) {
        Fail(PF_ERROR_ACCESS_DENIED);
        return false;
    }
    std::string dirHost = FdPath((*folder)->fd);
    *target = dirHost + "/" + MatchName(dirHost, name);
    return true;
}

int MoveHeldFile(HandleData* data, HandleData* folder, const char* name, const std::string& target)
{
    if (rename(FdPath(data->fd).c_str(), target.c_str()) != 0)
        return Fail(PF_ERROR_ACCESS_DENIED);
    data->path = Join(folder->path, name);
    return 1;
}

}  // namespace

int PfNtRenameFile(PfHandle file, PfHandle root, const char* name, int replace)
{
    SIM_FAULT_POINT(HandlePath(file) + " -> " + Join(HandlePath(root), name), 0);
    HandleData *data, *folder;
    std::string target;
    if (!RenameTarget(file, root, name, &data, &folder, &target))
        return 0;
    struct stat info;
    if (lstat(target.c_str(), &info) == 0) {
        Identity identity{(uint64_t)info.st_dev, (uint64_t)info.st_ino};
        if (!replace)
            return Fail(PF_ERROR_ALREADY_EXISTS);
        if (S_ISDIR(info.st_mode) || (identity != Identity{data->device, data->inode} && IsHeldOpen(identity)))
            return Fail(PF_ERROR_ACCESS_DENIED);
    }
    return MoveHeldFile(data, folder, name, target);
}

int PfNtRenameFilePosix(PfHandle file, PfHandle root, const char* name)
{
    SIM_FAULT_POINT(HandlePath(file) + " -> " + Join(HandlePath(root), name), 0);
    if (!Machine().hasPosixRename)
        return Fail(87);  // ERROR_INVALID_PARAMETER: no such information class
    HandleData *data, *folder;
    std::string target;
    if (!RenameTarget(file, root, name, &data, &folder, &target))
        return 0;
    struct stat info;
    // Handles open on the target keep its old file, when all share delete.
    const uint32_t anyShare = PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE;
    if (lstat(target.c_str(), &info) == 0 &&
        (S_ISDIR(info.st_mode) || !SharingFits({(uint64_t)info.st_dev, (uint64_t)info.st_ino}, PF_DELETE, anyShare)))
        return Fail(PF_ERROR_ACCESS_DENIED);
    return MoveHeldFile(data, folder, name, target);
}

int PfNtSetDeleteDisposition(PfHandle file)
{
    SIM_FAULT_POINT(HandlePath(file), 0);
    HandleData* data = Held(file);
    if (!data)
        return 0;
    if (!(MapGeneric(data->access) & PF_DELETE))
        return Fail(PF_ERROR_ACCESS_DENIED);
    data->deletePending = true;
    return 1;
}

int PfReadFile(PfHandle file, void* buffer, uint32_t size, uint32_t* read)
{
    *read = 0;
    SIM_FAULT_POINT(HandlePath(file), 0);
    HandleData* data = Held(file);
    if (!data || data->folder || data->link)
        return data ? Fail(PF_ERROR_ACCESS_DENIED) : 0;
    ssize_t got = ::read(data->fd, buffer, size);
    if (got < 0)
        return Fail(PF_ERROR_ACCESS_DENIED);
    *read = (uint32_t)got;
    return 1;
}

int PfGetFileSize(PfHandle file, uint64_t* size)
{
    SIM_FAULT_POINT(HandlePath(file), 0);
    HandleData* data = Held(file);
    struct stat info;
    if (!data || fstat(data->fd, &info) != 0)
        return 0;
    *size = (uint64_t)info.st_size;
    return 1;
}

int PfGetLastWriteTime(PfHandle file, uint64_t* time)
{
    SIM_FAULT_POINT(HandlePath(file), 0);
    HandleData* data = Held(file);
    struct stat info;
    if (!data || fstat(data->fd, &info) != 0)
        return 0;
    *time = FileTimeOf(info);
    return 1;
}

int PfSetLastWriteTime(PfHandle file, uint64_t time)
{
    SIM_FAULT_POINT(HandlePath(file), 0);
    HandleData* data = Held(file);
    if (!data || data->link || !(MapGeneric(data->access) & PF_FILE_WRITE_ATTRIBUTES))
        return data ? Fail(PF_ERROR_ACCESS_DENIED) : 0;
    struct timespec times[2];
    WriteTimes(time, times);
    return futimens(data->fd, times) == 0 ? 1 : Fail(PF_ERROR_ACCESS_DENIED);
}

int PfGetSecurityOnHandle(PfHandle handle, char* owner, PfAce* aces, uint32_t capacity, uint32_t* count)
{
    *count = 0;
    owner[0] = 0;
    SIM_FAULT_POINT(HandlePath(handle), 0);
    HandleData* data = Held(handle);
    if (!data)
        return 0;
    Security security = Effective(data->path);
    auto own = g_security.find({data->device, data->inode});
    if (own != g_security.end() && own->second.hasDacl)
        security = own->second;
    if (own != g_security.end() && own->second.hasOwner)
        security.owner = own->second.owner;
    snprintf(owner, PF_SID_TEXT_CAPACITY, "%s", security.owner.c_str());
    *count = security.nullDacl ? (uint32_t)PF_NO_DACL : (uint32_t)security.aces.size();
    for (uint32_t i = 0; i < (uint32_t)security.aces.size() && i < capacity; ++i) {
        aces[i].type = security.aces[i].type;
        aces[i].flags = security.aces[i].flags;
        aces[i].mask = security.aces[i].mask;
        bool compound = security.aces[i].type == 4;
        snprintf(aces[i].sid, PF_SID_TEXT_CAPACITY, "%s", compound ? "" : security.aces[i].sid.c_str());
    }
    return 1;
}

int PfSetSecurityOnHandle(PfHandle handle, const char* sddl)
{
    SIM_FAULT_POINT(HandlePath(handle), 0);
    HandleData* data = Held(handle);
    if (!data)
        return 0;
    if ((MapGeneric(data->access) & (PF_WRITE_DAC | PF_WRITE_OWNER)) != (PF_WRITE_DAC | PF_WRITE_OWNER))
        return Fail(PF_ERROR_ACCESS_DENIED);
    Security& security = g_security[{data->device, data->inode}];
    ParseSddl(sddl, &security);
    return 1;
}

int PfGetProcessUserSid(char* sid, uint32_t capacity)
{
    SIM_FAULT_POINT("", 0);
    snprintf(sid, capacity, "%s", Machine().processUser.c_str());
    return 1;
}

int PfGenRandom(void* buffer, uint32_t size)
{
    static uint32_t state = 0x2545F491u;
    unsigned char* bytes = (unsigned char*)buffer;
    for (uint32_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = (unsigned char)(state >> 24);
    }
    return 1;
}
