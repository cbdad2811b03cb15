#include "config/settings_file.h"

#include <stdlib.h>
#include <string.h>

#include "util/bounded_string.h"
#include "util/program_folder.h"

namespace {

const int kUnnecessaryIdCapacity = 2048;

}  // namespace

void GetSettingsFilePath(char* path, int capacity)
{
    char module[PATH_CAPACITY] = "";
    GetProgramPath(0, module);
    PfPathRemoveExtension(module);
    PfPathAddExtension(module, ".ini");
    BoundedCopy(path, capacity, module);
}

void ReadSettingString(const char* section, const char* key, char* buffer, uint32_t capacity,
                       const char* defaultText)
{
    char file[PATH_CAPACITY];
    GetSettingsFilePath(file, PATH_CAPACITY);
    if (capacity == 0)
        return;
    buffer[0] = 0;
    PfGetPrivateProfileString(section, key, defaultText ? defaultText : "", buffer, capacity, file);
    buffer[capacity - 1] = 0;
}

int ReadSettingInt(const char* section, const char* key, int defaultValue)
{
    char file[PATH_CAPACITY];
    GetSettingsFilePath(file, PATH_CAPACITY);
    return PfGetPrivateProfileInt(section, key, defaultValue, file);
}

uint32_t LoadPlatformSettings(const char* section, SettingsRecord* record)
{
    ReadSettingString(section, "Path", record->Path, sizeof(record->Path), ".\\DPInst.exe");
    ReadSettingString(section, "Default", record->Default, sizeof(record->Default), " /f");
    ReadSettingString(section, "Silent", record->Silent, sizeof(record->Silent), " /f /sw /se");
    record->Support = (uint32_t)ReadSettingInt(section, "Support", 0);
    return record->Support;
}

int IsDotNetUnnecessary(const char* deviceCode)
{
    char* list = (char*)calloc(kUnnecessaryIdCapacity, 1);
    if (!list)
        return 0;
    ReadSettingString("DotNET_Option", "Unnecessary_ID", list, kUnnecessaryIdCapacity, 0);
    int found = strstr(list, deviceCode) != 0;
    free(list);
    return found;
}
