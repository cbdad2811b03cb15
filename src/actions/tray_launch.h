// Starting the tray application for the desktop user.
#ifndef SETUP_ACTIONS_TRAY_LAUNCH_H
#define SETUP_ACTIONS_TRAY_LAUNCH_H

#include <stdint.h>

#include "core/target.h"
#include "util/platform.h"

// Starts the installed tray application, found through the registry view of
// the target's Windows; as the console's user when nobody sees this run.
int LaunchTrayApplication(const Target* target);
// Starts the program as the user signed in at the console, on that user's own
// desktop, with that user's environment; for a run nobody can see. 1 when started.
int CreateProcessAsConsoleUser(const uint16_t* applicationPath, uint16_t* commandLine,
                               const uint16_t* workingFolder);
int CreateProcessAsShellUser(const uint16_t* applicationPath, uint16_t* commandLine, const uint16_t* workingFolder);
PfHandle GetShellUserToken();
// Mode 0: name from the system folder; mode 1: from folder; else nothing.
ModuleHandle LoadSystemLibrary(int mode, const char* folder, const char* name);

#endif
