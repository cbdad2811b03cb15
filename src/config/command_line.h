// The command line: mode switches, public properties, "/f2" and custom requests.
#ifndef SETUP_CONFIG_COMMAND_LINE_H
#define SETUP_CONFIG_COMMAND_LINE_H

#include "core/result_codes.h"
#include "core/setup_state.h"

// Writes Force, FreshInstall, ForceRestart, Debug, LogFilePath, DriversExtracted,
// the custom request section, and leaves only the mode switch in commandLine.
// Parses typed, the whole command line however long; commandLine is the
// 260-character CommandLine, replaced by the last mode switch when there is
// one. Goes on, or OUTCOME_BAD_COMMAND_LINE, OUTCOME_EXTRACTION_FAILED or
// OUTCOME_EXTRACTED (EXTRACTDRIVERS).
Outcome ParseCommandLine(const char* typed, char* commandLine, char* customRequestSection, ModuleHandle instance,
                         const SettingsRecord* settings);
// Goes on, OUTCOME_BAD_COMMAND_LINE, or OUTCOME_EXTRACTION_FAILED from EXTRACTDRIVERS.
Outcome ParsePublicProperties(ModuleHandle instance, const char* token);
// Always goes on.
Outcome ParseLogFileSwitch(ModuleHandle instance, const char* token);
// 1 for "true", 0 for "false" (any case), -1 for anything else.
int TrueFalse(const char* value);
// A property read before anything else, whatever Support holds: every "/v"
// token of the whole of typed, its value cut as the other properties' are.
// 0 when absent; 1 with the last value in value; -1 with the first value
// accepted refuses.
int ReadStartProperty(const char* typed, const char* nameWithEquals, int (*accepted)(const char* value), char* value,
                      size_t capacity);

#endif
