// The step trace: one new file per run in the temporary folder, named
// <program>_<YYYYMMDD>_<HHMMSS>_<pid>_<8 random hex digits>.log, saying what
// the run did and why.
// UTF-8 with a byte-order mark, one CR LF line per event, each line stamped
// with the local time to the millisecond and handed to Windows at once, so a
// killed or hanging run leaves every step up to then. At most 1 MiB per run.
// A trace that cannot be created or written changes nothing else.
#ifndef SETUP_CORE_STEP_TRACE_H
#define SETUP_CORE_STEP_TRACE_H

#include <stdint.h>

#include "util/platform.h"

const uint32_t STEP_TRACE_LIMIT = 1048576;
// The traces of this program one folder keeps, this run's own included.
const int STEP_TRACES_KEPT = 20;

// The temporary folder (260 characters, ending in a backslash): GetTempPath2A's
// where it exists (SYSTEM then gets a folder only administrators may enter),
// GetTempPathA's elsewhere. Its length, 0 on failure, or the size needed.
uint32_t TempFolder(char* folder);
// Creates this run's trace, named after the program and startTime; never
// replaces another run's. 1 when the trace is open.
int OpenStepTrace(ModuleHandle instance, const PfSystemTime* startTime);
// One event, printf-style. Control characters (a box's line breaks) are
// written escaped, so an event is always one line. Does nothing while no
// trace is open. Leaves the last error as it found it.
void TraceLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// The run's last line, kept even when the limit cut earlier ones; then closes.
void CloseStepTrace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// This run's trace file (kept after closing); empty when none could be created.
const char* StepTracePath();
// The program's name as traces are named: its file name without extension.
void TraceProgramName(ModuleHandle instance, char* program);
// Removes all but the newest STEP_TRACES_KEPT - 1 other traces of this
// program beside this run's own, newest by the time in their names. Only
// regular files whose names have the trace's form exactly are counted or
// removed, each opened relative to the held folder without following a link.
// Returns how many were removed; does nothing while no trace is open.
int PruneStepTraces(ModuleHandle instance);

#endif
