// The .NET Framework 4 and imaging-component prerequisites.
#ifndef SETUP_ACTIONS_PREREQUISITES_H
#define SETUP_ACTIONS_PREREQUISITES_H

#include "util/platform.h"

// Reads OsVersion and DeviceAcpiId. 0 = go on; DEP_SOFT_ERROR when an
// installer could not be started.
int InstallPrerequisites(ModuleHandle instance);

#endif
