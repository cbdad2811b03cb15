// Paths inside a package folder the caller names.
#ifndef SETUP_UTIL_PROGRAM_FOLDER_H
#define SETUP_UTIL_PROGRAM_FOLDER_H

#include "util/platform.h"

// folder with path appended as a path (PathAppendA). 0 when folder is empty
// (unknown) or the join does not fit: the shell then leaves the buffer empty,
// which would name the current folder.
int JoinToFolder(const char* folder, const char* path, char* joined);
// 1 when the program started by command (its quoted first word) is the file
// at checkedPath, as Windows resolves both (GetFullPathNameA), inside folder
// and not a stream of a file. What the checks checked is then what starts.
int StartsCheckedFile(const char* folder, const char* command, const char* checkedPath);

#endif
