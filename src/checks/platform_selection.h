// Choosing the settings section for the running Windows.
#ifndef SETUP_CHECKS_PLATFORM_SELECTION_H
#define SETUP_CHECKS_PLATFORM_SELECTION_H

#include "core/result_codes.h"
#include "core/setup_state.h"

int Is64BitWindows();
// The package checker judges every row of the table on one machine: it names
// the width to assume (32 or 64). 0, Setup.exe's case, asks Windows.
void AssumeWindowsWidth(int bits);
// Reads OsVersion; writes the record (Settings). Goes on when a section was
// chosen and loaded; OUTCOME_UNSUPPORTED_WINDOWS otherwise.
RunOutcome SelectPlatform(SettingsRecord* record);
// The section the last SelectPlatform loaded the record from, after any fallback.
const char* SelectedPlatformSection();

#endif
