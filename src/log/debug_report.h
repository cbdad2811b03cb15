// The "/f2" debugging report and DPInst's own log.
#ifndef SETUP_LOG_DEBUG_REPORT_H
#define SETUP_LOG_DEBUG_REPORT_H

#include "core/setup_state.h"

// Fills out (1024 characters) with the report text.
void BuildDebugReport(char* out);
// Writes the report's bytes to an open file: no byte-order mark, no zero.
void WriteDebugReport(PfHandle file);
// The report at target, as the "/f2" file and as the runtime log of a "/f2"
// run: its folders made, written beside it, then finished as a log file.
void WriteReportAt(const char* target);
void WriteReportFile(ModuleHandle instance, const char* commandLine, int result, PfSystemTime startTime,
                     const SettingsRecord* settings);
// Phase 0 before DPInst, phase 1 after the runtime log; writes DpinstLogSaved.
void PreserveDpinstLog(int phase, const SettingsRecord* settings);

#endif
