#include "util/program_folder.h"

#include "util/bounded_string.h"

namespace {

const uint32_t kPathCapacity = 260;  // MAX_PATH, as every path buffer here

char g_AssumedPath[kPathCapacity];

}  // namespace

void AssumeProgramPath(const char* path)
{
    BoundedCopy(g_AssumedPath, kPathCapacity, path ? path : "");
}

int GetProgramPath(ModuleHandle instance, char* path)
{
    if (g_AssumedPath[0]) {
        BoundedCopy(path, kPathCapacity, g_AssumedPath);
        return 1;
    }
    PfSetLastError(PF_ERROR_SUCCESS);
    uint32_t length = PfGetModuleFileName(instance, path, kPathCapacity);
    // A cut path names some other file, and its folder some other folder.
    return length != 0 && length < kPathCapacity && PfGetLastError() != PF_ERROR_INSUFFICIENT_BUFFER;
}

int GetProgramFolder(ModuleHandle instance, char* folder)
{
    int whole = GetProgramPath(instance, folder);
    PfPathRemoveFileSpec(folder);
    return whole;
}
