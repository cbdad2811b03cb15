#include "config/custom_request.h"

#include <stdlib.h>
#include <string.h>

#include "config/settings_file.h"
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

// Writes the text's bytes, without terminator or line end, replacing the
// file. The folder sits where any user may make folders first: it is the
// program's own, protected before use, and no user may open the file.
void WriteRequestText(const char* text)
{
    char path[PATH_CAPACITY] = "";
    HeldPath held;
    if (!BuildFilePath(path) || !HoldFolderOf(path, HOLD_CREATE_MISSING | HOLD_PROTECT, &held))
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
    HeldPath held;
    if (BuildFilePath(path) && HoldFolderOf(path, HOLD_PROTECT, &held)) {
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
