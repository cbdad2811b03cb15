#include "log/safe_files.h"

#include <string.h>

#include "core/step_trace.h"
#include "util/bounded_string.h"

namespace {

// path with its file name's first character replaced by '~' ('_' when it is
// one). The byte after the last backslash always begins a character.
int TemporaryName(const char* path, char* temporary)
{
    if (BoundedCopy(temporary, PATH_CAPACITY, path) != BOUNDED_OK)
        return 0;
    char* name = strrchr(temporary, '\\');
    name = name ? name + 1 : temporary;
    if (!*name)
        return 0;
    char mark = *name == '~' ? '_' : '~';
    if (PfIsLeadByte((unsigned char)name[0]) && name[1])
        name[1] = mark;
    name[0] = mark;
    return 1;
}

}  // namespace

int IsTrustedFolder(const char* folder)
{
    uint32_t attributes = PfGetFileAttributes(folder);
    const char* refusal = 0;
    if (attributes == PF_INVALID_FILE_ATTRIBUTES || !(attributes & PF_FILE_ATTRIBUTE_DIRECTORY))
        refusal = "it is not a folder";
    else if (attributes & PF_FILE_ATTRIBUTE_REPARSE_POINT)
        refusal = "it is a link (a reparse point)";
    else if (!PfIsOwnedBy(folder, PF_WIN_BUILTIN_ADMINISTRATORS_SID) &&
             !PfIsOwnedBy(folder, PF_WIN_LOCAL_SYSTEM_SID) && !PfIsOwnedByProcessUser(folder))
        refusal = "it belongs to neither Administrators, SYSTEM nor this account";
    if (refusal)
        TraceLine("Folder %s not used: %s", folder, refusal);
    return refusal == 0;
}

PfHandle CreateFileBeside(const char* path, char* temporary)
{
    if (!TemporaryName(path, temporary))
        return 0;
    PfHandle file = PfCreateNewFile(temporary);
    // Left by a run that ended before its rename: deleting a name never
    // follows a link on Windows.
    if (!file && PfGetLastError() == PF_ERROR_FILE_EXISTS && PfDeleteFile(temporary))
        file = PfCreateNewFile(temporary);
    if (!file)
        TraceLine("File %s not written: %s cannot be made (error %u)", path, temporary, (unsigned)PfGetLastError());
    return file;
}

int PutFileInPlace(const char* temporary, const char* path)
{
    if (PfMoveFileReplacing(temporary, path))
        return 1;
    TraceLine("File %s not written: it cannot be replaced (error %u)", path, (unsigned)PfGetLastError());
    PfDeleteFile(temporary);
    return 0;
}

int ReplaceWithEmptyFile(const char* path)
{
    char temporary[PATH_CAPACITY];
    PfHandle file = CreateFileBeside(path, temporary);
    if (!file)
        return 0;
    PfCloseHandle(file);
    return PutFileInPlace(temporary, path);
}

int DeleteFileSafely(const char* path)
{
    if (PfGetFileAttributes(path) == PF_INVALID_FILE_ATTRIBUTES)
        return 1;
    // An empty file of ours takes the name first: deleting what a link
    // leads to is then impossible, wherever the link was made.
    return ReplaceWithEmptyFile(path) && PfDeleteFile(path);
}

int CopyFileSafely(const char* source, const char* path)
{
    char temporary[PATH_CAPACITY];
    PfHandle file = CreateFileBeside(path, temporary);
    if (!file)
        return 0;
    PfCloseHandle(file);
    if (!PfCopyFile(source, temporary, 0)) {
        PfDeleteFile(temporary);
        return 0;
    }
    return PutFileInPlace(temporary, path);
}
