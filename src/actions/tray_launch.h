// Starting the tray application for the desktop user.
#ifndef SETUP_ACTIONS_TRAY_LAUNCH_H
#define SETUP_ACTIONS_TRAY_LAUNCH_H

#include <stdint.h>

#include "util/platform.h"

int LaunchTrayApplication();
int CreateProcessAsShellUser(const uint16_t* applicationPath, uint16_t* commandLine, const uint16_t* workingFolder);
PfHandle GetShellUserToken();
// Mode 0: name from the system folder; mode 1: from folder; else nothing.
ModuleHandle LoadSystemLibrary(int mode, const char* folder, const char* name);

#endif
