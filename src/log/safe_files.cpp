#include "log/safe_files.h"

#include <string.h>

#include "core/step_trace.h"
#include "util/multibyte.h"

const char PRIVATE_FILE_SDDL[] = "D:P(A;;FA;;;BA)(A;;FA;;;SY)";

namespace {

// Written, renamed into place and, when that fails, deleted through this handle.
const uint32_t kNewFileAccess = PF_GENERIC_WRITE | PF_DELETE | PF_SYNCHRONIZE;
const uint32_t kNewFileOptions = PF_FILE_NON_DIRECTORY_FILE | PF_FILE_SYNCHRONOUS_IO_NONALERT |
                                 PF_FILE_OPEN_REPARSE_POINT;
const uint32_t kReadAccess = PF_GENERIC_READ | PF_SYNCHRONIZE;
const uint32_t kCopyChunk = 4096;

// name with its first character replaced by mark. The first byte always
// begins a character.
int MarkedName(const char* name, char mark, char* out)
{
    if (!*name || BoundedCopy(out, PATH_CAPACITY, name) != BOUNDED_OK)
        return 0;
    if (CharLength(out) == 2)
        out[1] = mark;
    out[0] = mark;
    return 1;
}

PfHandle CreateNew(PfHandle folder, const char* name, const char* sddl)
{
    return PfNtCreateFile(folder, name, kNewFileAccess, PF_FILE_SHARE_READ, PF_FILE_CREATE, kNewFileOptions, sddl);
}

}  // namespace

const char* FileNameOf(const char* path)
{
    const char* last = LastBackslash(path);
    return last ? last + 1 : path;
}

int CreateFileBeside(PfHandle folder, const char* name, const char* shown, const char* sddl, FileBeside* beside)
{
    beside->folder = folder;
    beside->file = 0;
    beside->shown = shown;
    char mark = name[0] == '~' ? '_' : '~';
    if (BoundedCopy(beside->name, PATH_CAPACITY, name) != BOUNDED_OK || !MarkedName(name, mark, beside->temporary)) {
        TraceLine("File %s not written: its name does not fit", shown);
        return 0;
    }
    beside->file = CreateNew(folder, beside->temporary, sddl);
    // Left by a run that ended before its rename: a file of ours made under a
    // second name replaces it, whatever it is.
    if (!beside->file && PfGetLastError() == PF_ERROR_FILE_EXISTS) {
        char second[PATH_CAPACITY];
        MarkedName(name, mark == '~' ? '_' : '~', second);
        PfHandle file = CreateNew(folder, second, sddl);
        if (file && PfNtRenameFile(file, folder, beside->temporary, 1)) {
            beside->file = file;
        } else if (file) {
            PfNtSetDeleteDisposition(file);
            PfCloseHandle(file);
        }
    }
    if (!beside->file)
        TraceLine("File %s not written: %s cannot be made (error %u)", shown, beside->temporary,
                  (unsigned)PfGetLastError());
    return beside->file != 0;
}

int RandomHexName(char hex[17])
{
    unsigned char random[8];
    if (!PfGenRandom(random, sizeof(random)))
        return 0;
    for (int i = 0; i < 8; ++i)
        BoundedFormat(hex + 2 * i, 3, "%02X", random[i]);
    return 1;
}

int CreateRandomFileBeside(PfHandle folder, const char* name, const char* shown, FileBeside* beside)
{
    beside->folder = folder;
    beside->file = 0;
    beside->shown = shown;
    char hex[17];
    if (BoundedCopy(beside->name, PATH_CAPACITY, name) != BOUNDED_OK || !RandomHexName(hex)) {
        TraceLine("File %s not written: its name does not fit", shown);
        return 0;
    }
    BoundedFormat(beside->temporary, PATH_CAPACITY, "~%s.tmp", hex);
    beside->file = CreateNew(folder, beside->temporary, 0);
    if (!beside->file)
        TraceLine("File %s not written: %s cannot be made (error %u)", shown, beside->temporary,
                  (unsigned)PfGetLastError());
    return beside->file != 0;
}

int PutFileInPlace(FileBeside* beside)
{
    if (PfNtRenameFile(beside->file, beside->folder, beside->name, 1))
        return 1;
    uint32_t error = PfGetLastError();
    // Another process holds the file open sharing delete. Where Windows
    // can, the name is replaced under it: a reader must not stop the log.
    if (error == PF_ERROR_ACCESS_DENIED && PfNtRenameFilePosix(beside->file, beside->folder, beside->name)) {
        TraceLine("File %s was held open by another process: replaced under it", beside->shown);
        return 1;
    }
    TraceLine("File %s not written: it cannot be replaced (error %u)", beside->shown, (unsigned)error);
    PfNtSetDeleteDisposition(beside->file);
    return 0;
}

void DiscardFileBeside(FileBeside* beside)
{
    if (beside->file)
        PfNtSetDeleteDisposition(beside->file);
    CloseFileBeside(beside);
}

void CloseFileBeside(FileBeside* beside)
{
    if (beside->file)
        PfCloseHandle(beside->file);
    beside->file = 0;
}

int AppendFileBytes(PfHandle file, PfHandle folder, const char* name)
{
    // Our own file may still be open for writing and its rename.
    PfHandle source = PfNtCreateFile(folder, name, kReadAccess,
                                     PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE, PF_FILE_OPEN,
                                     kNewFileOptions, 0);
    if (!source)
        return 0;
    // A link at the name has no bytes of a file to give.
    uint32_t attributes = 0, tag = 0;
    int ok = PfGetFileAttributeTag(source, &attributes, &tag) && !(attributes & PF_FILE_ATTRIBUTE_REPARSE_POINT);
    unsigned char chunk[kCopyChunk];
    uint32_t read = 0;
    while (ok && (ok = PfReadFile(source, chunk, kCopyChunk, &read)) != 0 && read > 0)
        ok = PfWriteFile(file, chunk, read);
    PfCloseHandle(source);
    return ok;
}

int DeleteFileSafely(PfHandle folder, const char* name, const char* shown)
{
    PfHandle there = PfNtCreateFile(folder, name, PF_FILE_READ_ATTRIBUTES | PF_SYNCHRONIZE,
                                    PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE, PF_FILE_OPEN,
                                    PF_FILE_OPEN_REPARSE_POINT, 0);
    if (!there) {
        uint32_t error = PfGetLastError();
        if (error == PF_ERROR_FILE_NOT_FOUND)
            return 1;
        TraceLine("File %s not deleted: it cannot be opened (error %u)", shown, (unsigned)error);
        return 0;
    }
    PfCloseHandle(there);
    // An empty file of ours takes the name first: deleting what a link
    // leads to is then impossible, wherever the link was made.
    FileBeside beside;
    if (!CreateFileBeside(folder, name, shown, 0, &beside))
        return 0;
    int deleted = PutFileInPlace(&beside) && PfNtSetDeleteDisposition(beside.file);
    if (!deleted)
        TraceLine("File %s not deleted (error %u)", shown, (unsigned)PfGetLastError());
    CloseFileBeside(&beside);
    return deleted;
}

int ReplaceWithEmptyFile(const char* path)
{
    HeldPath held;
    if (!HoldFolderOf(path, HOLD_EXISTING, &held))
        return 0;
    FileBeside beside;
    int replaced = CreateFileBeside(HeldFolder(&held), FileNameOf(path), path, 0, &beside) &&
                   PutFileInPlace(&beside);
    CloseFileBeside(&beside);
    ReleaseFolderPath(&held);
    return replaced;
}

int HoldTargetFolder(const char* path, HeldPath* held)
{
    int drive = path[0] && path[0] != '\\' && path[1] == ':';
    return HoldFolderOf(path, drive ? HOLD_CREATE_MISSING : HOLD_EXISTING, held);
}

int CopyFileSafely(PfHandle sourceFolder, const char* sourceName, const char* path)
{
    HeldPath held;
    if (!HoldTargetFolder(path, &held))
        return 0;
    FileBeside beside;
    int copied = 0;
    if (CreateFileBeside(HeldFolder(&held), FileNameOf(path), path, 0, &beside)) {
        if (AppendFileBytes(beside.file, sourceFolder, sourceName))
            copied = PutFileInPlace(&beside);
        else
            DiscardFileBeside(&beside);
    }
    CloseFileBeside(&beside);
    ReleaseFolderPath(&held);
    return copied;
}
