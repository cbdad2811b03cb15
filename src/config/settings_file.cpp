#include "config/settings_file.h"

#include <stdlib.h>
#include <string.h>

#include "util/bounded_string.h"

namespace {

const int kUnnecessaryIdCapacity = 2048;

}  // namespace

void ReadSettingString(const Target* target, const char* section, const char* key, char* buffer, uint32_t capacity,
                       const char* defaultText)
{
    char file[PATH_CAPACITY];
    GetSettingsFilePath(target, file, PATH_CAPACITY);
    if (capacity == 0)
        return;
    buffer[0] = 0;
    PfGetPrivateProfileString(section, key, defaultText ? defaultText : "", buffer, capacity, file);
    buffer[capacity - 1] = 0;
}

int ReadSettingInt(const Target* target, const char* section, const char* key, int defaultValue)
{
    char file[PATH_CAPACITY];
    GetSettingsFilePath(target, file, PATH_CAPACITY);
    return PfGetPrivateProfileInt(section, key, defaultValue, file);
}

uint32_t LoadPlatformSettings(const Target* target, const char* section, SettingsRecord* record)
{
    ReadSettingString(target, section, "Path", record->Path, sizeof(record->Path), DEFAULT_DPINST_PATH);
    ReadSettingString(target, section, "Default", record->Default, sizeof(record->Default), " /f");
    ReadSettingString(target, section, "Silent", record->Silent, sizeof(record->Silent), " /f /sw /se");
    record->Support = (uint32_t)ReadSettingInt(target, section, "Support", 0);
    return record->Support;
}

int IsDotNetUnnecessary(const Target* target, const char* deviceCode)
{
    char* list = (char*)calloc(kUnnecessaryIdCapacity, 1);
    if (!list)
        return 0;
    ReadSettingString(target, "DotNET_Option", "Unnecessary_ID", list, kUnnecessaryIdCapacity, 0);
    int found = strstr(list, deviceCode) != 0;
    free(list);
    return found;
}
