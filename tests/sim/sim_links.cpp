// The simulated machine: links, owners and folders created with a DACL.
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/sim.h"
#include "sim/sim_internal.h"

namespace sim {

namespace {

std::string Key(std::string path)
{
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    for (char& c : path)
        c = (char)tolower((unsigned char)c);
    return path;
}

std::string OwnerOf(const std::string& path)
{
    auto found = Machine().owners.find(Key(path));
    if (found != Machine().owners.end())
        return found->second;
    for (auto& entry : Machine().owners)
        if (Key(entry.first) == Key(path))
            return entry.second;
    return "BA";
}

}  // namespace

void MakeLink(const std::string& link, const std::string& target)
{
    size_t slash = link.find_last_of('\\');
    if (slash != std::string::npos)
        MakeFolder(link.substr(0, slash));
    symlink(HostPath(target).c_str(), HostPath(link).c_str());
}

void MakeHardLink(const std::string& link, const std::string& existing)
{
    size_t slash = link.find_last_of('\\');
    if (slash != std::string::npos)
        MakeFolder(link.substr(0, slash));
    ::link(HostPath(existing).c_str(), HostPath(link).c_str());
}

}  // namespace sim

using namespace sim;

int PfCreateDirectoryWithSddl(const char* path, const char* sddl)
{
    std::string text = path;
    struct stat info;
    if (lstat(HostPath(text).c_str(), &info) == 0) {
        PfSetLastError(PF_ERROR_ALREADY_EXISTS);
        return 0;
    }
    size_t slash = text.find_last_of('\\');
    if (slash != std::string::npos && slash > 2 && !IsFolder(text.substr(0, slash))) {
        PfSetLastError(PF_ERROR_PATH_NOT_FOUND);
        return 0;
    }
    if (mkdir(HostPath(text).c_str(), 0755) != 0)
        return 0;
    Machine().folderSddl[Key(text)] = sddl;
    return 1;
}

uint32_t PfGetFileAttributes(const char* path)
{
    struct stat info;
    if (!*path || lstat(HostPath(path).c_str(), &info) != 0) {
        PfSetLastError(PF_ERROR_FILE_NOT_FOUND);
        return PF_INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISLNK(info.st_mode))
        return PF_FILE_ATTRIBUTE_REPARSE_POINT | (IsFolder(path) ? (uint32_t)PF_FILE_ATTRIBUTE_DIRECTORY : 0u);
    return S_ISDIR(info.st_mode) ? (uint32_t)PF_FILE_ATTRIBUTE_DIRECTORY : (uint32_t)PF_FILE_ATTRIBUTE_ARCHIVE;
}

int PfIsOwnedBy(const char* path, uint32_t wellKnownSidType)
{
    if (PfGetFileAttributes(path) == PF_INVALID_FILE_ATTRIBUTES)
        return 0;
    std::string owner = OwnerOf(path);
    return (wellKnownSidType == PF_WIN_BUILTIN_ADMINISTRATORS_SID && owner == "BA") ||
           (wellKnownSidType == PF_WIN_LOCAL_SYSTEM_SID && owner == "SY");
}

int PfIsOwnedByProcessUser(const char* path)
{
    return PfGetFileAttributes(path) != PF_INVALID_FILE_ATTRIBUTES && OwnerOf(path) == Machine().processUser;
}

int PfMoveFileReplacing(const char* source, const char* target)
{
    std::string to = target;
    size_t slash = to.find_last_of('\\');
    if (!FileExists(source) || IsFolder(source) || IsFolder(to) ||
        (slash != std::string::npos && !IsFolder(to.substr(0, slash)))) {
        PfSetLastError(PF_ERROR_ACCESS_DENIED);
        return 0;
    }
    return rename(HostPath(source).c_str(), HostPath(to).c_str()) == 0;
}
