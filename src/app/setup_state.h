// The one process-wide state of a run. Zero at start; nothing of it is saved.
#ifndef SETUP_APP_SETUP_STATE_H
#define SETUP_APP_SETUP_STATE_H

#include <stdint.h>

#include "util/platform.h"

const int PATH_CAPACITY = 260;
const int TEXT_CAPACITY = 1024;
const int DEVICE_ID_SLOTS = 20;

// Package features, chosen per platform by the settings file.
enum SupportBits : uint32_t {
    SUPPORT_PUBLIC_PROPERTIES = 0x01,
    SUPPORT_EXTRACT_ALL = 0x02,
    SUPPORT_RUNTIME_LOG = 0x04,
    SUPPORT_EXIT_CODE = 0x08,
    SUPPORT_PREREQUISITES = 0x10,
    SUPPORT_LAUNCH_APP = 0x20,
};

struct SettingsRecord {
    uint16_t Size;
    char Path[260];
    char Default[64];
    char Silent[64];
    uint32_t Support;
};

struct SetupState {
    SettingsRecord Settings;

    // options and public properties
    char CommandLine[PATH_CAPACITY];
    char CustomRequestSection[PATH_CAPACITY];
    int Force;
    int FreshInstall;
    int ForceRestart;
    char LogFilePath[PATH_CAPACITY];
    int Debug;
    int DriversExtracted;

    // environment and progress
    PfOsVersionInfo OsVersion;
    int RightToLeftUi;
    char DeviceAcpiId[PATH_CAPACITY];
    char DeviceHardwareIds[DEVICE_ID_SLOTS][PATH_CAPACITY];
    char PackageDriverFolder[PATH_CAPACITY];
    char InstalledVersion[PATH_CAPACITY];
    char PackageVersion[PATH_CAPACITY];
    uint32_t DpinstReturnCode;
    int RuntimeLogEnabled;
    int DpinstLogSaved;
};

extern SetupState g_State;

// Zero the whole state, as at process start.
void ClearSetupState();

#endif
