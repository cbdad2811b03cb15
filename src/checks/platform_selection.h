// Choosing the settings section for the running Windows.
#ifndef SETUP_CHECKS_PLATFORM_SELECTION_H
#define SETUP_CHECKS_PLATFORM_SELECTION_H

#include "core/setup_state.h"

int Is64BitWindows();
// Reads OsVersion; writes the record (Settings). 1 = section chosen and loaded;
// 0 = unsupported Windows (message id 2 shown).
int SelectPlatform(ModuleHandle instance, SettingsRecord* record);

#endif
