// The folder the program was started from: the package's root.
#ifndef SETUP_UTIL_PROGRAM_FOLDER_H
#define SETUP_UTIL_PROGRAM_FOLDER_H

#include "util/platform.h"

// Fills path (260 characters) with the program's own path. 1 when it was read whole.
int GetProgramPath(ModuleHandle instance, char* path);
// Fills folder (260 characters) with the program's folder, without a trailing
// backslash. 1 when the program's path was read whole; 0 otherwise.
int GetProgramFolder(ModuleHandle instance, char* folder);
// The program's folder with path appended as a path (PathAppendA). 0 when
// the folder is unknown or the join does not fit: the shell then leaves the
// buffer empty, which would name the current folder.
int JoinToProgramFolder(ModuleHandle instance, const char* path, char* joined);
// 1 when the program started by command (its quoted first word) is the file
// at checkedPath, as Windows resolves both (GetFullPathNameA), inside the
// program's folder and not a stream of a file. What the checks checked is
// then what starts.
int StartsCheckedFile(ModuleHandle instance, const char* command, const char* checkedPath);
// The package checker judges a package in any folder as the Setup.exe there
// would: it names that program's path. Setup.exe never calls it.
void AssumeProgramPath(const char* path);

#endif
