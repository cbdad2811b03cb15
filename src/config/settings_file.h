// The package settings file beside the program ("Setup.ini" for "Setup.exe").
#ifndef SETUP_CONFIG_SETTINGS_FILE_H
#define SETUP_CONFIG_SETTINGS_FILE_H

#include <stdint.h>

#include "core/setup_state.h"

// The program's path with ".ini" for its extension; worked out at every read.
void GetSettingsFilePath(char* path, int capacity);
// Value (cut to capacity - 1) or the default (empty when null); always terminated.
void ReadSettingString(const char* section, const char* key, char* buffer, uint32_t capacity,
                       const char* defaultText);
int ReadSettingInt(const char* section, const char* key, int defaultValue);
// Fills every field of the record from the section or from its default; returns Support.
uint32_t LoadPlatformSettings(const char* section, SettingsRecord* record);
// 1 when the device code occurs in DotNET_Option/Unnecessary_ID.
int IsDotNetUnnecessary(const char* deviceCode);

#endif
