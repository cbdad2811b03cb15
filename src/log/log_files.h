// The file steps both logs share: DPInst's log joined, the copy at LogFilePath.
#ifndef SETUP_LOG_LOG_FILES_H
#define SETUP_LOG_LOG_FILES_H

#include "core/setup_state.h"
#include "log/safe_files.h"

// DPInst's own log, in the Windows folder.
extern const char DPINST_LOG_NAME[];

// The Windows folder (GetSystemWindowsDirectoryA) joined with fileName into out
// (260 characters); 0 and an empty out when the folder cannot be read or the
// path does not fit.
int BuildSystemRootPath(const char* fileName, char* out);
// The steps after a log or report file was written beside its name: it
// takes the name (PutFileInPlace), DPInst's log is appended when Debug is
// set, then it is copied to LogFilePath; the file is closed. Nothing is
// joined or copied when it could not be put in place: 0 then, 1 otherwise.
int FinishLogFile(FileBeside* beside);
// 1 when the received command line asks for the report ("/f2", case-sensitive).
int IsReportMode(const char* commandLine);

#endif
