// Asking before a same- or older-version install, and the version check.
#ifndef SETUP_DRIVER_OVERWRITE_H
#define SETUP_DRIVER_OVERWRITE_H

#include "core/result_codes.h"
#include "core/target.h"
#include "driver/installed_version.h"
#include "util/platform.h"

// Asks before replacing the same or a newer installed version. Goes on, or
// OUTCOME_USER_DECLINED, OUTCOME_INSTALLED_VERSION_UNREADABLE or
// OUTCOME_VERSIONS_NOT_COMPARABLE, each of which ends the run at once.
RunOutcome ShowOverwriteMsg(ModuleHandle instance, const Target* target, const char* packageInfPath);
// Writes InstalledVersion and PackageVersion when it can compare. The
// comparison, NOTHING_INSTALLED, INSTALLED_UNREADABLE or NOT_COMPARED.
VersionComparison CheckOverwrite(const Target* target, const char* packageInfPath);

#endif
