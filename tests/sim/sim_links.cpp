// The simulated machine: links and attributes by name.
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/sim.h"
#include "sim/sim_internal.h"

namespace sim {

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

namespace {

uint32_t Attributes(const char* path)
{
    struct stat info;
    if (!*path || lstat(HostPath(path).c_str(), &info) != 0) {
        PfSetLastError(PF_ERROR_FILE_NOT_FOUND);
        return PF_INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISLNK(info.st_mode) && Machine().fileLinksHidden && !IsFolder(path))
        return PF_FILE_ATTRIBUTE_ARCHIVE;
    if (S_ISLNK(info.st_mode))
        return PF_FILE_ATTRIBUTE_REPARSE_POINT | (IsFolder(path) ? (uint32_t)PF_FILE_ATTRIBUTE_DIRECTORY : 0u);
    return S_ISDIR(info.st_mode) ? (uint32_t)PF_FILE_ATTRIBUTE_DIRECTORY : (uint32_t)PF_FILE_ATTRIBUTE_ARCHIVE;
}

}  // namespace

uint32_t PfGetFileAttributes(const char* path)
{
    SIM_FAULT_POINT(path, PF_INVALID_FILE_ATTRIBUTES);
    return Attributes(path);
}
