// The runtime log.
#ifndef SETUP_LOG_RUNTIME_LOG_H
#define SETUP_LOG_RUNTIME_LOG_H

#include "core/setup_state.h"

// Writes the log when RuntimeLogEnabled is set, or in a silent or extracted run
// when Support has SUPPORT_RUNTIME_LOG. Reads CommandLine, Debug, LogFilePath,
// InstalledVersion and PackageVersion; writes no state.
// The exit-code line shows exitCode; result decides the restart line.
void WriteRuntimeLog(ModuleHandle instance, const char* commandLine, int result, int exitCode,
                     PfSystemTime startTime, const SettingsRecord* settings);
// Fills out (1024 characters) with the log text. The echoed command line is
// shortened so that every later line fits.
void BuildLogText(ModuleHandle instance, char* out, const char* commandLine, PfSystemTime startTime, int result,
                  int exitCode);

#endif
