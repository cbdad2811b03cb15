// The .NET Framework 4 and imaging-component prerequisites.
#ifndef SETUP_ACTIONS_PREREQUISITES_H
#define SETUP_ACTIONS_PREREQUISITES_H

#include "core/result_codes.h"
#include "core/target.h"

// Reads the target's Windows and width; collects its device's IDs. Goes on, or OUTCOME_PREREQUISITE_MISSING
// when an installer is missing or could not be started.
RunOutcome InstallPrerequisites(Target* target);
// The installers that step may start on the target's Windows (at most
// PREREQUISITE_INSTALLERS, none on Windows 8 and later), each with its path in the
// package (empty when the package folder is unknown); returns how many.
const int PREREQUISITE_INSTALLERS = 2;
int ListPrerequisiteInstallers(const Target* target, char paths[][PATH_CAPACITY]);
// The same installers by their paths relative to the package's folder
// ("DotNetFx\\..."); returns how many.
int ListPrerequisiteInstallerNames(const Target* target, const char** names);

#endif
