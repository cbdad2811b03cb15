#include "core/target.h"

#include <string.h>

#include "util/bounded_string.h"

int Is64BitWindows()
{
    ModuleHandle kernel = PfGetModuleHandle("kernel32.dll");
    if (!kernel)
        return 0;
    PfProc getWow64Directory = PfGetProcAddress(kernel, "GetSystemWow64DirectoryW");
    if (!getWow64Directory)
        return 0;
    uint16_t folder[PATH_CAPACITY];
    if (PfCallGetSystemWow64DirectoryW(getWow64Directory, folder, PATH_CAPACITY) != 0)
        return 1;
    return PfGetLastError() == PF_ERROR_CALL_NOT_IMPLEMENTED ? 0 : 1;
}

void ReadRunningWindows(Target* target)
{
    memset(&target->OsVersion, 0, sizeof(target->OsVersion));
    target->OsVersion.dwOSVersionInfoSize = sizeof(PfOsVersionInfo);
    PfGetVersionEx(&target->OsVersion);
    target->Wide = Is64BitWindows();
}

int ReadProgramPackage(Target* target, ModuleHandle module)
{
    PfSetLastError(PF_ERROR_SUCCESS);
    uint32_t length = PfGetModuleFileName(module, target->ProgramPath, PATH_CAPACITY);
    target->PackageKnown =
        length != 0 && length < PATH_CAPACITY && PfGetLastError() != PF_ERROR_INSUFFICIENT_BUFFER ? 1 : 0;
    BoundedCopy(target->PackageFolder, PATH_CAPACITY, target->ProgramPath);
    PfPathRemoveFileSpec(target->PackageFolder);
    return target->PackageKnown;
}

const char* PackageFolderOf(const Target* target) { return target->PackageKnown ? target->PackageFolder : ""; }

void UsePackageAt(Target* target, const char* folder)
{
    char name[PATH_CAPACITY];
    BoundedCopy(name, sizeof(name), target->ProgramPath);
    PfPathStripPath(name);
    BoundedCopy(target->PackageFolder, PATH_CAPACITY, folder);
    target->PackageKnown = BoundedFormat(target->ProgramPath, PATH_CAPACITY, "%s\\%s", folder, name) == BOUNDED_OK;
}

void GetSettingsFilePath(const Target* target, char* path, int capacity)
{
    char module[PATH_CAPACITY];
    BoundedCopy(module, sizeof(module), target->ProgramPath);
    PfPathRemoveExtension(module);
    PfPathAddExtension(module, ".ini");
    BoundedCopy(path, capacity, module);
}
