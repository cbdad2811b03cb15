// Choosing the settings section for the running Windows.
#ifndef SETUP_CHECKS_PLATFORM_SELECTION_H
#define SETUP_CHECKS_PLATFORM_SELECTION_H

#include "app/setup_state.h"

int Is64BitWindows();
// 1 = section chosen and loaded; 0 = unsupported Windows (message shown).
int SelectPlatform(ModuleHandle instance, SettingsRecord* record);

#endif
