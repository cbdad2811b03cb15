// Running DPInst and mapping its return code.
#ifndef SETUP_ACTIONS_DPINST_RUNNER_H
#define SETUP_ACTIONS_DPINST_RUNNER_H

#include <stddef.h>
#include <stdint.h>

#include "core/setup_state.h"

// The setup result for DPInst's return code; startResult is the thread's exit code.
int MapDpinstReturnCode(uint32_t code, int startResult);
// DPInst's command line for a silent or an interactive run; 0 when the
// program's folder could not be read whole, so the command must not run.
const size_t DPINST_COMMAND_CAPACITY = PATH_CAPACITY + sizeof(SettingsRecord::Path) +
                                       sizeof(SettingsRecord::Silent) + 2;
int BuildDpinstCommand(ModuleHandle instance, const SettingsRecord* settings, int silent, char* command);
// Writes DpinstReturnCode; returns the setup result.
int RunDpinst(ModuleHandle instance, const SettingsRecord* settings);

#endif
