// The step trace's file: one new file per run in the temporary folder, named
// <program>_<YYYYMMDD>_<HHMMSS>_<pid>_<8 random hex digits>.log.
#ifndef SETUP_CORE_TRACE_FILE_H
#define SETUP_CORE_TRACE_FILE_H

#include <stdint.h>

#include "util/platform.h"

// The traces of this program one folder keeps, this run's own included.
const int STEP_TRACES_KEPT = 20;

// The temporary folder (260 characters, ending in a backslash): GetTempPath2A's
// where it exists (SYSTEM then gets a folder only administrators may enter),
// GetTempPathA's elsewhere. Its length, 0 on failure, or the size needed.
uint32_t TempFolder(char* folder);
// Creates this run's trace, named after the program and startTime; never
// replaces another run's, and opens it for the step trace's lines. 1 when
// the trace is open.
int OpenStepTrace(ModuleHandle instance, const PfSystemTime* startTime);
// The program's name as traces are named: its file name without extension.
void TraceProgramName(ModuleHandle instance, char* program);
// Removes all but the newest STEP_TRACES_KEPT - 1 other traces of this
// program beside this run's own, newest by the time in their names. Only
// regular files whose names have the trace's form exactly are counted or
// removed, each opened relative to the held folder without following a link.
// Returns how many were removed; does nothing while no trace is open.
int PruneStepTraces(ModuleHandle instance);

#endif
