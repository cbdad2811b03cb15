#include "log/log_files.h"

#include <string.h>

#include "core/step_trace.h"
#include "log/safe_files.h"
#include "util/bounded_string.h"

const char DPINST_LOG_NAME[] = "\\DpInst.log";

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
