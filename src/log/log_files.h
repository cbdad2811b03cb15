// The file steps both logs share: folders, joins, the copy at LogFilePath.
#ifndef SETUP_LOG_LOG_FILES_H
#define SETUP_LOG_LOG_FILES_H

#include "core/setup_state.h"

// DPInst's own log, in the Windows folder.
extern const char DPINST_LOG_NAME[];

// 3 when the path is empty or has no drive root; 0 otherwise. Folders it
// makes get the program's DACL (PROTECTED_FOLDER_SDDL).
int CreateDirectoryPath(const char* path);
// CreateDirectoryPath for a fixed place that any user could have prepared:
// each folder, once there, must be trusted (IsTrustedFolder); the walk stops
// at the first that is not. 1 when every folder of path is there and trusted.
int CreateTrustedDirectoryPath(const char* path);
// The same check without making anything: 1 when every folder of path exists
// and is trusted.
int IsTrustedDirectoryPath(const char* path);
// Appends the bytes of addition to target, unconverted, through the command
// interpreter. 1 when the join ran and reported success; 0 when it failed or
// was not run (an empty path, or one the command interpreter would not take
// literally).
int JoinFiles(const char* target, const char* addition);
// The Windows folder (GetSystemWindowsDirectoryA) joined with fileName into out
// (260 characters); 0 and an empty out when the folder cannot be read or the
// path does not fit.
int BuildSystemRootPath(const char* fileName, char* out);
// The steps after a log or report file was written as temporary: it takes
// target's place (CreateFileBeside, PutFileInPlace), DPInst's log is joined
// when Debug is set, then it is copied to LogFilePath. Nothing is joined or
// copied when it could not be put in place: 0 then, 1 otherwise.
int FinishLogFile(const char* temporary, const char* target);
// 1 when the received command line asks for the report ("/f2", case-sensitive).
int IsReportMode(const char* commandLine);

#endif
