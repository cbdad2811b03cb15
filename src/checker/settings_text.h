// The package settings file read as text, for what Setup.exe's reader passes
// over in silence: sections and keys it never reads, lines it cannot use,
// duplicates, numbers it reads otherwise than meant, encodings it cannot read.
#ifndef SETUP_CHECKER_SETTINGS_TEXT_H
#define SETUP_CHECKER_SETTINGS_TEXT_H

// Reads the file at path. Findings about the file as a whole go to the package group.
void ReadSettingsText(const char* path);
// 1 when the file has a section of that name (without regard to case).
int SettingsSectionPresent(const char* name);
// A section Setup.exe never reads whose name is closest to the platform section
// name of all of them, within a typo; 0 when none.
const char* SettingsSectionTypo(const char* name);
// The raw text of a key of a section, as written after "=" (blanks kept); 0 when absent.
const char* SettingsRawValue(const char* section, const char* key);
// Adds a warning for every section, key and line Setup.exe never reads,
// on the row whose section it concerns.
void LintSettingsText();

#endif
