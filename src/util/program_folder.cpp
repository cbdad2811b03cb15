#include "util/program_folder.h"

#include "util/bounded_string.h"

int GetProgramFolder(ModuleHandle instance, char* folder)
{
    PfSetLastError(PF_ERROR_SUCCESS);
    uint32_t length = PfGetModuleFileName(instance, folder, PATH_CAPACITY);
    PfPathRemoveFileSpec(folder);
    // A cut path names some other file, and its folder some other folder.
    return length != 0 && length < PATH_CAPACITY && PfGetLastError() != PF_ERROR_INSUFFICIENT_BUFFER;
}
