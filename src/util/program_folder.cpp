#include "util/program_folder.h"

#include "util/bounded_string.h"

namespace {

char g_AssumedPath[PATH_CAPACITY];

}  // namespace

void AssumeProgramPath(const char* path) { BoundedCopy(g_AssumedPath, PATH_CAPACITY, path ? path : ""); }

int GetProgramPath(ModuleHandle instance, char* path)
{
    if (g_AssumedPath[0]) {
        BoundedCopy(path, PATH_CAPACITY, g_AssumedPath);
        return 1;
    }
    PfSetLastError(PF_ERROR_SUCCESS);
    uint32_t length = PfGetModuleFileName(instance, path, PATH_CAPACITY);
    // A cut path names some other file, and its folder some other folder.
    return length != 0 && length < PATH_CAPACITY && PfGetLastError() != PF_ERROR_INSUFFICIENT_BUFFER;
}

int GetProgramFolder(ModuleHandle instance, char* folder)
{
    int whole = GetProgramPath(instance, folder);
    PfPathRemoveFileSpec(folder);
    return whole;
}
