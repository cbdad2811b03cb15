#include "util/program_folder.h"

#include <string.h>

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

int JoinToProgramFolder(ModuleHandle instance, const char* path, char* joined)
{
    if (!GetProgramFolder(instance, joined)) {
        joined[0] = 0;
        return 0;
    }
    return PfPathAppend(joined, path);
}

int StartsCheckedFile(ModuleHandle instance, const char* command, const char* checkedPath)
{
    char program[PATH_CAPACITY];
    const char* end = command[0] == '"' ? strchr(command + 1, '"') : 0;
    if (!end || BoundedCopyN(program, PATH_CAPACITY, command + 1, (size_t)(end - command - 1)) != BOUNDED_OK)
        return 0;
    char started[PATH_CAPACITY], checked[PATH_CAPACITY], folder[PATH_CAPACITY], inside[PATH_CAPACITY];
    if (!PfGetFullPathName(program, started) || !PfGetFullPathName(checkedPath, checked) ||
        !GetProgramFolder(instance, folder) || !PfGetFullPathName(folder, inside))
        return 0;
    size_t length = strlen(inside);
    // A drive root keeps its backslash; any other folder gets one before the name.
    if (length == 0 || inside[length - 1] != '\\')
        BoundedAppend(inside, PATH_CAPACITY, "\\");
    length = strlen(inside);
    return PfMbsICmp(started, checked) == 0 && PfMbsNICmp(started, inside, length) == 0 && !strchr(started + 2, ':');
}
