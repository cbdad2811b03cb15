// Running DPInst and mapping its return code.
#ifndef SETUP_ACTIONS_DPINST_RUNNER_H
#define SETUP_ACTIONS_DPINST_RUNNER_H

#include <stdint.h>

#include "core/setup_state.h"

// The setup result for DPInst's return code; startResult is the thread's exit code.
int MapDpinstReturnCode(uint32_t code, int startResult);
// Writes DpinstReturnCode; returns the setup result.
int RunDpinst(ModuleHandle instance, const SettingsRecord* settings);

#endif
