// The .NET Framework 4 and imaging-component prerequisites.
#ifndef SETUP_ACTIONS_PREREQUISITES_H
#define SETUP_ACTIONS_PREREQUISITES_H

#include "core/result_codes.h"
#include "core/setup_state.h"

// Reads OsVersion and DeviceAcpiId. Goes on, or OUTCOME_PREREQUISITE_MISSING
// when an installer is missing or could not be started.
Outcome InstallPrerequisites(ModuleHandle instance);
// The installers that step may start on the running Windows (at most
// PREREQUISITE_INSTALLERS, none on Windows 8 and later), each with its path in the
// package (empty when the program's folder is unknown); returns how many.
const int PREREQUISITE_INSTALLERS = 2;
int ListPrerequisiteInstallers(ModuleHandle instance, char paths[][PATH_CAPACITY]);
// The same installers on the Windows os describes, by their paths relative
// to the package's folder ("DotNetFx\\..."); returns how many.
int ListPrerequisiteInstallerNames(const PfOsVersionInfo* os, const char** names);

#endif
