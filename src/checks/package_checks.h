// Is the package complete, and does its DPInst fit the processor?
#ifndef SETUP_CHECKS_PACKAGE_CHECKS_H
#define SETUP_CHECKS_PACKAGE_CHECKS_H

#include "app/setup_state.h"

// 1 = PackageInfPath and PackageDriverFolder set; 0 after message id 3.
int CheckDriverFiles(ModuleHandle instance, const char* path, char* packageInfPath);
// 1 = DPInst's machine type fits the running Windows; 0 otherwise.
int CheckExeAndPlatform(ModuleHandle instance, const char* path);

#endif
