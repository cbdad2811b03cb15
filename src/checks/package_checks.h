// Is the package complete, and does its DPInst fit the processor?
#ifndef SETUP_CHECKS_PACKAGE_CHECKS_H
#define SETUP_CHECKS_PACKAGE_CHECKS_H

#include "core/setup_state.h"

// Writes PackageDriverFolder. 1 = packageInfPath (260 characters) set; 0 after
// message id 3.
int CheckDriverFiles(ModuleHandle instance, const char* path, char* packageInfPath);
// 1 = DPInst's machine type fits the running Windows; 0 after message id 2 or 3.
// Reads no state.
int CheckExeAndPlatform(ModuleHandle instance, const char* path);

#endif
