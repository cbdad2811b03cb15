// The folder the program was started from: the package's root.
#ifndef SETUP_UTIL_PROGRAM_FOLDER_H
#define SETUP_UTIL_PROGRAM_FOLDER_H

#include "util/platform.h"

// Fills folder (260 characters) with the program's folder, without a trailing
// backslash. 1 when the program's path was read whole; 0 otherwise.
int GetProgramFolder(ModuleHandle instance, char* folder);

#endif
