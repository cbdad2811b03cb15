// The command line: mode switches, public properties, "/f2" and custom requests.
#ifndef SETUP_CONFIG_COMMAND_LINE_H
#define SETUP_CONFIG_COMMAND_LINE_H

#include "core/setup_state.h"

// Writes Force, FreshInstall, ForceRestart, Debug, LogFilePath, DriversExtracted,
// the custom request section, and leaves only the mode switch in commandLine.
// Parses typed, the whole command line however long; commandLine is the
// 260-character CommandLine, replaced by the last mode switch when there is
// one. 0 = go on; UNKNOWN_OPTION, DEP_SOFT_ERROR or EXTRACT_DONE otherwise.
int ParseCommandLine(const char* typed, char* commandLine, char* customRequestSection, ModuleHandle instance,
                     const SettingsRecord* settings);
// 0, UNKNOWN_OPTION, or the result of an EXTRACTDRIVERS extraction.
int ParsePublicProperties(ModuleHandle instance, const char* token);
// Always 0.
int ParseLogFileSwitch(ModuleHandle instance, const char* token);

#endif
