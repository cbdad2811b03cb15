#include "util/program_folder.h"

namespace {

const uint32_t kPathCapacity = 260;  // MAX_PATH, as every path buffer here

}  // namespace

int GetProgramFolder(ModuleHandle instance, char* folder)
{
    PfSetLastError(PF_ERROR_SUCCESS);
    uint32_t length = PfGetModuleFileName(instance, folder, kPathCapacity);
    PfPathRemoveFileSpec(folder);
    // A cut path names some other file, and its folder some other folder.
    return length != 0 && length < kPathCapacity && PfGetLastError() != PF_ERROR_INSUFFICIENT_BUFFER;
}
