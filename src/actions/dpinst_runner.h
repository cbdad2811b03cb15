// Running DPInst and mapping its return code.
#ifndef SETUP_ACTIONS_DPINST_RUNNER_H
#define SETUP_ACTIONS_DPINST_RUNNER_H

#include <stddef.h>
#include <stdint.h>

#include "core/result_codes.h"
#include "core/setup_state.h"

// DPInst's command line for a silent or an interactive run; 0 when the
// program's folder could not be read whole, so the command must not run.
const size_t DPINST_COMMAND_CAPACITY = PATH_CAPACITY + sizeof(SettingsRecord::Path) +
                                       sizeof(SettingsRecord::Silent) + 2;
int BuildDpinstCommand(ModuleHandle instance, const SettingsRecord* settings, int silent, char* command);
// Writes DpinstReturnCode. The installed outcome DPInst's code names, with
// its codes; OUTCOME_DPINST_NOT_STARTED with the Windows error.
RunOutcome RunDpinst(ModuleHandle instance, const SettingsRecord* settings);

#endif
