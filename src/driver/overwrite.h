// Asking before a same- or older-version install, and the version check.
#ifndef SETUP_DRIVER_OVERWRITE_H
#define SETUP_DRIVER_OVERWRITE_H

#include "core/result_codes.h"
#include "util/platform.h"

// Asks before replacing the same or a newer installed version. Goes on, or
// OUTCOME_USER_DECLINED, OUTCOME_INSTALLED_VERSION_UNREADABLE or
// OUTCOME_VERSIONS_NOT_COMPARABLE, each of which ends the run at once.
Outcome ShowOverwriteMsg(ModuleHandle instance, const char* packageInfPath);
// Writes InstalledVersion and PackageVersion when it can compare. The
// comparison, NOTHING_INSTALLED, or NOT_COMPARED.
int CheckOverwrite(const char* packageInfPath);

#endif
