// The whole run: WinMain hands over to RunSetup and returns its exit code.
#ifndef SETUP_APP_SETUP_SEQUENCE_H
#define SETUP_APP_SETUP_SEQUENCE_H

#include "util/platform.h"

void ResetOptions();
// 1 for an Arabic or Hebrew system default language.
int CheckSystemLanguage();
// Runs setup for the argument text (without the program name); returns the exit code.
int RunSetup(ModuleHandle instance, const char* arguments);

#endif
