#include "log/debug_report.h"

#include <string.h>

#include "core/result_codes.h"
#include "log/log_files.h"
#include "log/safe_files.h"
#include "util/bounded_string.h"

namespace {

const char kBackupName[] = "\\DpInst_org.log";

int FileThere(const char* path)
{
    char name[PATH_CAPACITY];
    return PfFindFirstFileName(path, name, PATH_CAPACITY);
}

// Removes a file whose content another file now holds. One that cannot be
// deleted gives its name to an empty file instead: left whole, the next run
// would join its content a second time.
void Discard(const char* path)
{
    if (PfDeleteFile(path) && !FileThere(path))
        return;
    ReplaceWithEmptyFile(path);
}

// Puts the backup's content back as DPInst's log; the backup goes only once
// that worked, so that a failure leaves the history where it was. Without
// replace, a log that is there after all is kept, and the backup with it.
void RestoreFromBackup(const char* log, const char* backup, int replace)
{
    if (PfCopyFile(backup, log, !replace))
        Discard(backup);
}

// The bytes of first, then those of second, take place's name (all three in
// one folder), and gone (first or second) goes. gone is opened for its
// delete before anything is written, so that a file another process holds
// without delete sharing leaves every file as it was; so does any failure
// before the rename. 1 when the join took place's name and gone is gone or
// marked to go.
int JoinAndRemove(const char* place, const char* first, const char* second, const char* gone)
{
    HeldPath held;
    if (!HoldFolderOf(place, HOLD_EXISTING, &held))
        return 0;
    PfHandle folder = HeldFolder(&held);
    PfHandle leaving = PfNtCreateFile(folder, FileNameOf(gone), PF_GENERIC_READ | PF_DELETE | PF_SYNCHRONIZE,
                                      PF_FILE_SHARE_READ, PF_FILE_OPEN,
                                      PF_FILE_NON_DIRECTORY_FILE | PF_FILE_OPEN_REPARSE_POINT, 0);
    int joined = 0;
    FileBeside beside;
    if (leaving && CreateFileBeside(folder, FileNameOf(place), place, 0, &beside)) {
        if (AppendFileBytes(beside.file, folder, FileNameOf(first)) &&
            AppendFileBytes(beside.file, folder, FileNameOf(second)))
            joined = PutFileInPlace(&beside);
        else
            DiscardFileBeside(&beside);
        CloseFileBeside(&beside);
    }
    int removed = joined && PfNtSetDeleteDisposition(leaving);
    if (leaving)
        PfCloseHandle(leaving);
    ReleaseFolderPath(&held);
    if (joined && !removed)
        Discard(gone);
    return joined;
}

// Phase 0 when an earlier run ended between the phases: the backup holds the
// older history and the log what DPInst wrote since. Both are kept, in order.
void MergeLeftBackup(const char* log, const char* backup)
{
    // A failed join leaves both as they are; DPInst appends to its log.
    if (FileThere(log) && !JoinAndRemove(backup, backup, log, log))
        return;
    // A log another process holds open with delete sharing goes when it lets
    // go; the backup stays for the next debug run to merge.
    if (FileThere(log))
        return;
    g_State.DpinstLogSaved = 1;
}

void SetDpinstLogAside(const char* log, const char* backup)
{
    if (FileThere(backup)) {
        MergeLeftBackup(log, backup);
        return;
    }
    if (!FileThere(log))
        return;
    // The log goes only when its copy is safe, and the copy goes again when
    // the log cannot: otherwise phase 1 would join the history twice. A
    // backup the search missed is never replaced.
    if (!PfCopyFile(log, backup, 1))
        return;
    if (!PfDeleteFile(log)) {
        Discard(backup);
        return;
    }
    // A log another process holds open with delete sharing is only marked
    // for deletion: it goes when that process lets go. The backup is then
    // the copy sure to last; it stays for the next debug run to merge.
    if (FileThere(log))
        return;
    g_State.DpinstLogSaved = 1;
}

void PutDpinstLogBack(const char* log, const char* backup)
{
    if (!g_State.DpinstLogSaved)
        return;
    // A failed join leaves the backup for the next debug run to merge.
    if (!FileThere(log)) {
        RestoreFromBackup(log, backup, 0);
        return;
    }
    JoinAndRemove(log, backup, log, backup);
}

}  // namespace

void BuildDebugReport(char* out)
{
    uint32_t code = g_State.DpinstReturnCode;
    int succeeded = (code & (DPINST_PACKAGE_FAILED | DPINST_FAILED_COUNT | DPINST_COPIED_COUNT)) == 0;

    char text[TEXT_CAPACITY] = "";
    char line[TEXT_CAPACITY];
    BoundedAppend(text, TEXT_CAPACITY, "[ResponseResult]\r\n");
    BoundedFormat(line, TEXT_CAPACITY, "ResultCode=%d\r\n", succeeded ? 0 : 1);
    BoundedAppend(text, TEXT_CAPACITY, line);
    BoundedAppend(text, TEXT_CAPACITY, "[DPInst]\r\n");
    BoundedFormat(line, TEXT_CAPACITY, "DpinstReturnCode=0x%.8x\r\n", (unsigned)code);
    BoundedAppend(text, TEXT_CAPACITY, line);
    BoundedAppend(text, TEXT_CAPACITY, "SetupDriverVersion=");
    BoundedAppend(text, TEXT_CAPACITY, g_State.PackageVersion);
    BoundedAppend(text, TEXT_CAPACITY, "\r\n");
    BoundedCopy(out, TEXT_CAPACITY, text);
}

void WriteDebugReport(PfHandle file)
{
    char report[TEXT_CAPACITY];
    BuildDebugReport(report);
    PfWriteFile(file, report, (uint32_t)strlen(report));
}

void WriteReportFile(ModuleHandle, const char* commandLine, int, PfSystemTime, const SettingsRecord*)
{
    if (!(IsSilentMode() || g_State.DriversExtracted) || !IsReportMode(commandLine))
        return;
    WriteReportAt(g_State.LogFilePath);
}

void WriteReportAt(const char* target)
{
    HeldPath held;
    if (!HoldTargetFolder(target, &held))
        return;
    FileBeside beside;
    if (CreateFileBeside(HeldFolder(&held), FileNameOf(target), target, 0, &beside)) {
        WriteDebugReport(beside.file);
        FinishLogFile(&beside);
    }
    ReleaseFolderPath(&held);
}

void PreserveDpinstLog(int phase, const SettingsRecord* settings)
{
    if (phase != 0 && phase != 1)
        return;
    int supported = settings && (settings->Support & SUPPORT_RUNTIME_LOG);
    if (!IsSilentMode() || !supported || !g_State.Debug)
        return;
    char log[PATH_CAPACITY];
    char backup[PATH_CAPACITY];
    if (!BuildSystemRootPath(DPINST_LOG_NAME, log) || !BuildSystemRootPath(kBackupName, backup))
        return;
    if (phase == 0)
        SetDpinstLogAside(log, backup);
    else
        PutDpinstLogBack(log, backup);
}
