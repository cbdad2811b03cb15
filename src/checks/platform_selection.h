// Choosing the settings section for the running Windows.
#ifndef SETUP_CHECKS_PLATFORM_SELECTION_H
#define SETUP_CHECKS_PLATFORM_SELECTION_H

#include "core/setup_state.h"

int Is64BitWindows();
// The package checker judges every row of the table on one machine: it names
// the width to assume (32 or 64). 0, Setup.exe's case, asks Windows.
void AssumeWindowsWidth(int bits);
// Reads OsVersion; writes the record (Settings). 1 = section chosen and loaded;
// 0 = unsupported Windows (message id 2 shown).
int SelectPlatform(ModuleHandle instance, SettingsRecord* record);
// The section the last SelectPlatform loaded the record from, after any fallback.
const char* SelectedPlatformSection();

#endif
