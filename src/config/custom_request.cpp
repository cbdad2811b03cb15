#include "config/custom_request.h"

#include <stdlib.h>
#include <string.h>

#include "config/settings_file.h"
#include "core/held_folders.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "log/safe_files.h"
#include "util/bounded_string.h"
#include "util/platform.h"

namespace {

const char kFolderName[] = "\\VornCustomSetting";
const char kFileName[] = "\\VornCoustomSet.ini";
const uint32_t kCharactersPerCount = 260;
// The count only sizes the buffer the request text is read into. Past this
// (a buffer of about 1 MB) no settings line is that long, and the product
// with 260 would soon overflow: such a count is treated as a buffer that
// cannot be had.
const int kMaxRequestCount = 4096;

// The folder for the request file on the drive of the Windows folder (not
// %SYSTEMDRIVE%, which the caller's environment sets). 0 when that drive
// cannot be worked out or the path does not fit: nothing may land in the
// current folder.
int BuildFolderPath(char* path)
{
    char windows[PATH_CAPACITY];
    uint32_t length = PfGetSystemWindowsDirectory(windows, PATH_CAPACITY);
    if (length < 2 || length >= (uint32_t)PATH_CAPACITY || windows[1] != ':')
        return 0;
    BoundedCopyN(path, PATH_CAPACITY, windows, 2);
    return PfPathAppend(path, kFolderName);
}

int BuildFilePath(char* path) { return BuildFolderPath(path) && PfPathAppend(path, kFileName); }

const uint32_t kJudgeAccess = PF_FILE_READ_DATA | PF_FILE_TRAVERSE | PF_FILE_READ_ATTRIBUTES | PF_READ_CONTROL |
                              PF_SYNCHRONIZE;
const uint32_t kOwnAccess = kJudgeAccess | PF_WRITE_DAC | PF_WRITE_OWNER;
const uint32_t kAnyShare = PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE;
const uint32_t kHoldShare = PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE;
const uint32_t kFolderOptions = PF_FILE_DIRECTORY_FILE | PF_FILE_SYNCHRONOUS_IO_NONALERT |
                                PF_FILE_OPEN_FOR_BACKUP_INTENT | PF_FILE_OPEN_REPARSE_POINT;

// The request folder held, when only Administrators and SYSTEM may change it;
// 0 and why not otherwise.
PfHandle OpenTrustedFolder(PfHandle root, const char* name, const char* path, const char** why, int* missing)
{
    PfHandle folder = PfNtCreateFile(root, name, kJudgeAccess, kHoldShare, PF_FILE_OPEN, kFolderOptions, 0);
    // Nothing at all of that name: a link to nowhere is something.
    *missing = !folder && PfGetLastError() == PF_ERROR_FILE_NOT_FOUND &&
               PfGetFileAttributes(path) == PF_INVALID_FILE_ATTRIBUTES;
    if (!folder) {
        *why = PfGetLastError() == PF_ERROR_DIRECTORY ? "it is not a folder" : "it cannot be held";
        return 0;
    }
    uint32_t attributes = 0, tag = 0;
    if (!PfGetFileAttributeTag(folder, &attributes, &tag) || !(attributes & PF_FILE_ATTRIBUTE_DIRECTORY))
        *why = "it is not a folder";
    else if ((attributes & PF_FILE_ATTRIBUTE_REPARSE_POINT) || IsLinkByName(path))
        *why = "it is a link";
    else if (IsChangeableByOthers(folder))
        *why = "other users may change it";
    else
        return folder;
    PfCloseHandle(folder);
    return 0;
}

// What was moved aside goes where Windows lets it: a link or a file by its
// own name, a folder with the request file in it (what else it holds stays).
void RemoveAside(PfHandle root, const char* name, const char* shown)
{
    PfHandle aside =
        PfNtCreateFile(root, name, PF_DELETE | PF_FILE_READ_ATTRIBUTES | PF_FILE_TRAVERSE | PF_SYNCHRONIZE,
                       kAnyShare, PF_FILE_OPEN, PF_FILE_OPEN_FOR_BACKUP_INTENT | PF_FILE_OPEN_REPARSE_POINT, 0);
    if (!aside)
        return;
    uint32_t attributes = 0, tag = 0;
    if (PfGetFileAttributeTag(aside, &attributes, &tag) && (attributes & PF_FILE_ATTRIBUTE_DIRECTORY) &&
        !(attributes & PF_FILE_ATTRIBUTE_REPARSE_POINT))
        DeleteFileSafely(aside, kFileName + 1, shown);
    PfNtSetDeleteDisposition(aside);
    PfCloseHandle(aside);
}

// Without its folder the request is not written, but a request file planted
// there is not left for the driver either, where Windows lets it go.
void RemovePlantedFile(const char* folderPath)
{
    char file[PATH_CAPACITY];
    HeldPath held;
    if (BoundedCopy(file, PATH_CAPACITY, folderPath) != BOUNDED_OK || !PfPathAppend(file, kFileName) ||
        !HoldFolderPath(folderPath, HOLD_EXISTING, &held))
        return;
    DeleteFileSafely(HeldFolder(&held), kFileName + 1, file);
    ReleaseFolderPath(&held);
}

// Holds the request folder so that no handle opened before this run can
// change it or what is written in it: one only Administrators and SYSTEM may
// change is used as it is; anything else at its name (a folder others may
// change, a link, a file, one that cannot be held) is renamed aside and a new
// protected folder made in its place. 0, and the trace says why, when that
// cannot be done.
int TakeRequestFolder(const char* folderPath, int createMissing, HeldPath* held)
{
    if (!HoldFolderOf(folderPath, HOLD_EXISTING, held))
        return 0;
    PfHandle root = HeldFolder(held);
    const char* name = FileNameOf(folderPath);
    const char* why = 0;
    int missing = 0;
    PfHandle folder = OpenTrustedFolder(root, name, folderPath, &why, &missing);
    if (missing && !createMissing) {
        ReleaseFolderPath(held);
        return 0;
    }
    if (!folder && !missing) {
        char hex[17];
        char aside[PATH_CAPACITY];
        char shown[PATH_CAPACITY];
        // Without a name nobody can guess, nothing is moved.
        int named = RandomHexName(hex) && BoundedFormat(aside, PATH_CAPACITY, "%s.%s", name, hex) == BOUNDED_OK;
        BoundedFormat(shown, PATH_CAPACITY, "%.*s%s", (int)(name - folderPath), folderPath, named ? aside : name);
        // A handle through a link reaches the link's target where only the
        // name shows the link (Wine): that would move the target.
        PfHandle old = !named ? 0
                              : PfNtCreateFile(root, name, PF_DELETE | PF_FILE_READ_ATTRIBUTES | PF_SYNCHRONIZE,
                                               kAnyShare, PF_FILE_OPEN,
                                               PF_FILE_OPEN_FOR_BACKUP_INTENT | PF_FILE_OPEN_REPARSE_POINT, 0);
        uint32_t attributes = 0, tag = 0;
        int linkOnlyByName = old && IsLinkByName(folderPath) && PfGetFileAttributeTag(old, &attributes, &tag) &&
                             !(attributes & PF_FILE_ATTRIBUTE_REPARSE_POINT);
        int moved = old && !linkOnlyByName && PfNtRenameFile(old, root, aside, 0);
        uint32_t error = PfGetLastError();
        if (old)
            PfCloseHandle(old);
        if (!moved) {
            TraceLine("Request folder %s not used: %s, and it cannot be moved aside (error %u); no request is "
                      "written there",
                      folderPath, why ? why : "it cannot be held", (unsigned)(linkOnlyByName ? 0 : error));
            ReleaseFolderPath(held);
            RemovePlantedFile(folderPath);
            return 0;
        }
        TraceLine("Request folder %s: %s, so it was moved aside to %s and made anew", folderPath,
                  why ? why : "it cannot be held", shown);
        RemoveAside(root, aside, shown);
    }
    if (!folder) {
        folder = PfNtCreateFile(root, name, kOwnAccess, kHoldShare, PF_FILE_CREATE, kFolderOptions,
                                PROTECTED_FOLDER_SDDL);
        if (!folder) {
            TraceLine("Request folder %s cannot be made (error %u)", folderPath, (unsigned)PfGetLastError());
            ReleaseFolderPath(held);
            return 0;
        }
    }
    held->folders[held->count++] = folder;
    return 1;
}

// Writes the text's bytes, without terminator or line end, replacing the
// file. The folder sits where any user may make folders first: it is taken
// over before use, and no user may open the file.
void WriteRequestText(const char* text)
{
    char path[PATH_CAPACITY] = "";
    char folderPath[PATH_CAPACITY] = "";
    HeldPath held;
    if (!BuildFilePath(path) || !BuildFolderPath(folderPath) || !TakeRequestFolder(folderPath, 1, &held))
        return;
    FileBeside beside;
    if (CreateFileBeside(HeldFolder(&held), FileNameOf(path), path, PRIVATE_FILE_SDDL, &beside)) {
        if (PfWriteFile(beside.file, text, (uint32_t)strlen(text))) {
            PutFileInPlace(&beside);
        } else {
            TraceLine("File %s not written: the write failed (error %u)", path, (unsigned)PfGetLastError());
            DiscardFileBeside(&beside);
        }
        CloseFileBeside(&beside);
    }
    ReleaseFolderPath(&held);
}

}  // namespace

void DeleteCustomRequestFile()
{
    char path[PATH_CAPACITY] = "";
    char folderPath[PATH_CAPACITY] = "";
    HeldPath held;
    if (BuildFilePath(path) && BuildFolderPath(folderPath) && TakeRequestFolder(folderPath, 0, &held)) {
        DeleteFileSafely(HeldFolder(&held), FileNameOf(path), path);
        ReleaseFolderPath(&held);
    }
}

void WriteCustomRequestFile(const Target* target)
{
    const char* section = g_State.CustomRequestSection;
    if (section[0] == 0)
        return;
    int count = ReadSettingInt(target, section, "CustomRequestCnt", 0);
    if (count <= 0 || count > kMaxRequestCount)
        return;
    uint32_t capacity = (uint32_t)count * kCharactersPerCount;
    char* text = (char*)calloc(capacity, 1);
    if (!text)
        return;
    ReadSettingString(target, section, "CustomRequest", text, capacity, 0);
    WriteRequestText(text);
    free(text);
}
