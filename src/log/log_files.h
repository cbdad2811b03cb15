// The file steps both logs share: folders, joins, the copy at LogFilePath.
#ifndef SETUP_LOG_LOG_FILES_H
#define SETUP_LOG_LOG_FILES_H

#include "core/setup_state.h"
#include "log/safe_files.h"

// DPInst's own log, in the Windows folder.
extern const char DPINST_LOG_NAME[];

// 3 when the path is empty or has no drive root; 0 otherwise. Its folders
// are held from the root down (HoldFolderOf); those it makes get the
// program's DACL (PROTECTED_FOLDER_SDDL).
int CreateDirectoryPath(const char* path);
// Appends the bytes of addition to target, unconverted, as a binary-mode
// copy joins them, in the process: both go into a new file in target's held
// folder, which then takes target's name. 1 when it did; 0 when either is
// not a file (a link neither) or a read or write failed, target unchanged.
int JoinFiles(const char* target, const char* addition);
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
