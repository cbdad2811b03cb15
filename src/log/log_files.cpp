#include "log/log_files.h"

#include <string.h>

#include "core/step_trace.h"
#include "log/safe_files.h"
#include "util/bounded_string.h"
#include "util/command_text.h"

const char DPINST_LOG_NAME[] = "\\DpInst.log";

namespace {

// Three quoted paths of up to 259 characters and the words around them: a
// join command always fits, and one that would not is refused rather than cut.
const int JOIN_COMMAND_CAPACITY = 3 * (PATH_CAPACITY + 2) + 32;

// A file that opens for reading. A folder does not: copy would take the
// files inside it in its place, and write into them.
int IsReadableFile(const char* path)
{
    PfHandle file = PfOpenFileForRead(path);
    if (!file)
        return 0;
    PfCloseHandle(file);
    return 1;
}

// A path goes into the join command only when the command interpreter will
// take it literally inside quotes.
int SafeInCommand(const char* path) { return path && *path && IsLiteralInQuotes(path); }

}  // namespace

int IsReportMode(const char* commandLine) { return commandLine && strstr(commandLine, "/f2") != 0; }

int FinishLogFile(FileBeside* beside)
{
    if (!PutFileInPlace(beside)) {
        CloseFileBeside(beside);
        return 0;
    }
    if (g_State.Debug) {
        char dpinstLog[PATH_CAPACITY];
        // The bytes unconverted, as a binary-mode copy joins them.
        if (BuildSystemRootPath(DPINST_LOG_NAME, dpinstLog))
            TraceLine("Join of %s to %s: %s", dpinstLog, beside->shown,
                      AppendFileBytes(beside->file, 0, dpinstLog) ? "done" : "not done");
    }
    // When the file already is LogFilePath (the report), a copy onto itself
    // could only put it at risk.
    if (g_State.LogFilePath[0] && strcmp(beside->shown, g_State.LogFilePath) != 0)
        CopyFileSafely(beside->folder, beside->name, g_State.LogFilePath);
    CloseFileBeside(beside);
    return 1;
}

int CreateDirectoryPath(const char* path)
{
    if (!path || !path[0] || path[1] != ':' || path[2] != '\\' || path[0] == '\\')
        return 3;
    HeldPath held;
    if (HoldFolderOf(path, HOLD_CREATE_MISSING, &held))
        ReleaseFolderPath(&held);
    return 0;
}

int JoinFiles(const char* target, const char* addition)
{
    if (!SafeInCommand(target) || !SafeInCommand(addition))
        return 0;
    // Nothing to join, and copy would otherwise make up a target of its own.
    if (!IsReadableFile(target) || !IsReadableFile(addition))
        return 0;
    // Binary mode: ASCII mode would stop at the first 0x1A of the addition and
    // add a 0x1A of its own.
    char command[JOIN_COMMAND_CAPACITY];
    if (BoundedFormat(command, JOIN_COMMAND_CAPACITY, "copy /b \"%s\"+\"%s\" \"%s\"", target, addition, target) !=
        BOUNDED_OK)
        return 0;
    int code = RunInterpreterCommand(command);
    TraceLine("Command %s: exit code %d", command, code);
    return code == 0;
}

int BuildSystemRootPath(const char* fileName, char* out)
{
    out[0] = 0;
    // Not %SYSTEMROOT%: whoever starts the program sets its environment.
    char folder[PATH_CAPACITY];
    uint32_t length = PfGetSystemWindowsDirectory(folder, PATH_CAPACITY);
    if (length == 0 || length >= (uint32_t)PATH_CAPACITY)
        return 0;
    BoundedCopy(out, PATH_CAPACITY, folder);
    if (!PfPathAppend(out, fileName)) {
        out[0] = 0;
        return 0;
    }
    return 1;
}
