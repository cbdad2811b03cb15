// The step trace's file: one new file per run in the temporary folder, named
// <program>_<YYYYMMDD>_<HHMMSS>_<pid>_<8 random hex digits>.log.
#ifndef SETUP_CORE_TRACE_FILE_H
#define SETUP_CORE_TRACE_FILE_H

#include <stdint.h>

#include "util/platform.h"

// The temporary folder (260 characters, ending in a backslash): GetTempPath2A's
// where it exists (SYSTEM then gets a folder only administrators may enter),
// GetTempPathA's elsewhere. Its length, 0 on failure, or the size needed.
uint32_t TempFolder(char* folder);
// Creates this run's trace, named after the program and startTime; never
// replaces another run's, and opens it for the step trace's lines. 1 when
// the trace is open.
int OpenStepTrace(ModuleHandle instance, const PfSystemTime* startTime);

#endif
