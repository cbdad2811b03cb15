// The runtime log, and the file helpers the logs share.
#ifndef SETUP_LOG_RUNTIME_LOG_H
#define SETUP_LOG_RUNTIME_LOG_H

#include "app/setup_state.h"

void WriteRuntimeLog(ModuleHandle instance, const char* commandLine, int result, PfSystemTime startTime,
                     const SettingsRecord* settings);
void BuildLogText(ModuleHandle instance, char* out, const char* commandLine, PfSystemTime startTime,
                  int result);
// 3 when the path is empty or has no drive root; 0 otherwise.
int CreateDirectoryPath(const char* path);
// Appends the bytes of addition to target.
void JoinFiles(const char* target, const char* addition);

#endif
