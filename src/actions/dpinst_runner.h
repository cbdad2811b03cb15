// Running DPInst and mapping its return code.
#ifndef SETUP_ACTIONS_DPINST_RUNNER_H
#define SETUP_ACTIONS_DPINST_RUNNER_H

#include <stddef.h>
#include <stdint.h>

#include "core/result_codes.h"
#include "core/setup_state.h"

// DPInst's command line for a silent or an interactive run; 0 when the
// program's folder could not be read whole, so the command must not run. The
// buffer holds the longest folder, Path, options or INF path whole.
const size_t DPINST_COMMAND_CAPACITY = 2 * PATH_CAPACITY + sizeof(SettingsRecord::Path) + 16;
int BuildDpinstCommand(ModuleHandle instance, const SettingsRecord* settings, int silent, char* command);
// The uninstall command: "<DPInst>" /U "<package INF>", with " /S" when silent.
int BuildDpinstUninstallCommand(ModuleHandle instance, const SettingsRecord* settings, const char* packageInfPath,
                                int silent, char* command);
// Writes DpinstReturnCode. The installed outcome DPInst's code names, with
// its codes; OUTCOME_DPINST_NOT_STARTED with the Windows error.
RunOutcome RunDpinst(ModuleHandle instance, const SettingsRecord* settings);
// The same for removing the package the INF names.
RunOutcome RunDpinstUninstall(ModuleHandle instance, const SettingsRecord* settings, const char* packageInfPath);

#endif
