// The package settings file beside the program ("Setup.ini" for "Setup.exe").
#ifndef SETUP_CONFIG_SETTINGS_FILE_H
#define SETUP_CONFIG_SETTINGS_FILE_H

#include <stdint.h>

#include "core/target.h"

// The Path a section without its own names: no DPInst of the package's.
const char DEFAULT_DPINST_PATH[] = ".\\DPInst.exe";

// The target's settings file (GetSettingsFilePath) is read at every call.
// Value (cut to capacity - 1) or the default (empty when null); always terminated.
void ReadSettingString(const Target* target, const char* section, const char* key, char* buffer, uint32_t capacity,
                       const char* defaultText);
int ReadSettingInt(const Target* target, const char* section, const char* key, int defaultValue);
// Fills every field of the record from the section or from its default; returns Support.
uint32_t LoadPlatformSettings(const Target* target, const char* section, SettingsRecord* record);
// 1 when the device code occurs in DotNET_Option/Unnecessary_ID.
int IsDotNetUnnecessary(const Target* target, const char* deviceCode);

#endif
