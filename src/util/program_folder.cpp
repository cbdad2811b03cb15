#include "util/program_folder.h"

#include <string.h>

#include "util/bounded_string.h"

int JoinToFolder(const char* folder, const char* path, char* joined)
{
    if (!folder[0] || BoundedCopy(joined, PATH_CAPACITY, folder) != BOUNDED_OK) {
        joined[0] = 0;
        return 0;
    }
    return PfPathAppend(joined, path);
}

int StartsCheckedFile(const char* folder, const char* command, const char* checkedPath)
{
    char program[PATH_CAPACITY];
    const char* end = command[0] == '"' ? strchr(command + 1, '"') : 0;
    if (!end || BoundedCopyN(program, PATH_CAPACITY, command + 1, (size_t)(end - command - 1)) != BOUNDED_OK)
        return 0;
    char started[PATH_CAPACITY], checked[PATH_CAPACITY], inside[PATH_CAPACITY];
    if (!PfGetFullPathName(program, started) || !PfGetFullPathName(checkedPath, checked) || !folder[0] ||
        !PfGetFullPathName(folder, inside))
        return 0;
    size_t length = strlen(inside);
    // A drive root keeps its backslash; any other folder gets one before the name.
    if (length == 0 || inside[length - 1] != '\\')
        BoundedAppend(inside, PATH_CAPACITY, "\\");
    length = strlen(inside);
    return PfMbsICmp(started, checked) == 0 && PfMbsNICmp(started, inside, length) == 0 && !strchr(started + 2, ':');
}
