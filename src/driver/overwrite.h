// Asking before a same- or older-version install, and the version check.
#ifndef SETUP_DRIVER_OVERWRITE_H
#define SETUP_DRIVER_OVERWRITE_H

#include "util/platform.h"

// 1 = go on; 0 = stop the run at once.
int ShowOverwriteMsg(ModuleHandle instance, const char* packageInfPath);
// Writes InstalledVersion and PackageVersion. 1 when *comparison was written.
int CheckOverwrite(const char* packageInfPath, int* comparison);

#endif
