// The step trace's lines: what the run did and why, into the file
// OpenStepTrace (trace_file.h) made for it.
// UTF-8 with a byte-order mark, one CR LF line per event, each line stamped
// with the local time to the millisecond and handed to Windows at once, so a
// killed or hanging run leaves every step up to then. At most 1 MiB per run.
// A trace that cannot be created or written changes nothing else.
#ifndef SETUP_CORE_STEP_TRACE_H
#define SETUP_CORE_STEP_TRACE_H

#include <stdint.h>

#include "util/platform.h"

const uint32_t STEP_TRACE_LIMIT = 1048576;

// Traces into file, created new at path, from its byte-order mark on; no
// file (0) traces nothing. Leaves the last error as it found it.
void StartStepTrace(PfHandle file, const char* path);
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

#endif
