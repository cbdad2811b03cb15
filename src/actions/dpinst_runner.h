// Running DPInst and mapping its return code.
#ifndef SETUP_ACTIONS_DPINST_RUNNER_H
#define SETUP_ACTIONS_DPINST_RUNNER_H

#include <stddef.h>
#include <stdint.h>

#include "core/result_codes.h"
#include "core/target.h"

// DPInst's command line for a silent or an interactive run from the target's
// package and settings; 0 when the package folder is not known, so the command must not run. The
// buffer holds the longest folder, Path, options or INF path whole.
const size_t DPINST_COMMAND_CAPACITY = 2 * PATH_CAPACITY + sizeof(SettingsRecord::Path) + 16;
int BuildDpinstCommand(const Target* target, int silent, char* command);
// The uninstall command: "<DPInst>" /U "<package INF>", with " /S" when silent.
int BuildDpinstUninstallCommand(const Target* target, const char* packageInfPath, int silent, char* command);
// Writes DpinstReturnCode. The installed outcome DPInst's code names, with
// its codes; OUTCOME_DPINST_NOT_STARTED with the Windows error.
RunOutcome RunDpinst(const Target* target);
// The same for removing the package the INF names.
RunOutcome RunDpinstUninstall(const Target* target, const char* packageInfPath);

#endif
