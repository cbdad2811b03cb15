// The command line: mode switches, public properties, "/f2" and custom requests.
#ifndef SETUP_CONFIG_COMMAND_LINE_H
#define SETUP_CONFIG_COMMAND_LINE_H

#include "core/result_codes.h"
#include "core/target.h"

// Writes Force, FreshInstall, ForceRestart, Debug, LogFilePath, DriversExtracted,
// the custom request section, and leaves only the mode switch in commandLine.
// Parses typed, the whole command line however long; commandLine is the
// 260-character CommandLine, replaced by the last mode switch when there is
// one. Goes on, or OUTCOME_BAD_COMMAND_LINE, OUTCOME_EXTRACTION_FAILED or
// OUTCOME_EXTRACTED (EXTRACTDRIVERS). Reads the target's Support; extracts
// from its package.
RunOutcome ParseCommandLine(const char* typed, char* commandLine, char* customRequestSection, const Target* target);
// Goes on, OUTCOME_BAD_COMMAND_LINE, or OUTCOME_EXTRACTION_FAILED from EXTRACTDRIVERS.
RunOutcome ParsePublicProperties(const Target* target, const char* token);
// "/f2" and "/f2DEBUG": writes LogFilePath and Debug; never ends the run.
void ParseLogFileSwitch(const char* token);
// 1 for "true", 0 for "false" (any case), -1 for anything else.
int TrueFalse(const char* value);
// A property read before anything else, whatever Support holds: every "/v"
// token of the whole of typed, its value cut as the other properties' are.
// 0 when absent; 1 with the last value in value; -1 with the first value
// accepted refuses.
int ReadStartProperty(const char* typed, const char* nameWithEquals, int (*accepted)(const char* value), char* value,
                      size_t capacity);

#endif
