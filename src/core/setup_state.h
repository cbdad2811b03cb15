// The one process-wide state of a run. Zero at start; nothing of it is saved.
#ifndef SETUP_CORE_SETUP_STATE_H
#define SETUP_CORE_SETUP_STATE_H

#include <stdint.h>

#include "util/bounded_string.h"
#include "util/platform.h"

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

// The features support turns on, named and joined with ", " into out; empty
// when none.
void NameSupportBits(uint32_t support, char* out, size_t capacity);

// Which codes the run exits with: the classic results or Windows Installer's.
enum ExitCodeProfile { PROFILE_CLASSIC, PROFILE_MSI };

struct SettingsRecord {
    uint16_t Size;
    char Path[260];
    char Default[64];
    char Silent[64];
    uint32_t Support;
};

// What the run itself decides: its options, how it ends and what its logs
// report. Which machine and package it checks and starts is its Target's.
// Fields are grouped by the routine that writes them; each group names its
// readers. The sequence fills the state in this order, so a routine reads only
// groups written before it runs.
struct SetupState {
    // The sequence: the argument text (259 characters), then ParseCommandLine
    // leaves only the mode switch in it. Read by IsSilentMode and the sequence.
    char CommandLine[PATH_CAPACITY];
    // The sequence: 1 on an Arabic or Hebrew system. Read by the box routines.
    int RightToLeftUi;
    // The sequence, once it has read the Windows version and before its first
    // trace line: the DesktopSight. Read by the box routine and the tray start.
    int DesktopHidden;

    // ParseCommandLine (ResetOptions sets the defaults). Force and FreshInstall
    // are read by the sequence, ForceRestart by the restart, Debug and
    // LogFilePath by the logs, CustomRequestSection by the custom request file.
    char CustomRequestSection[PATH_CAPACITY];
    int Force;
    int FreshInstall;
    int ForceRestart;
    char LogFilePath[PATH_CAPACITY];
    int Debug;
    // ParseCommandLine's EXTRACTDRIVERS and the sequence's "/extract_all:".
    // Read by the sequence and the logs: an extracted run closes like a silent one.
    int DriversExtracted;

    // CheckOverwrite, or the sequence's silent branch when the check did not
    // run. Read by the runtime log and the report.
    char InstalledVersion[PATH_CAPACITY];
    char PackageVersion[PATH_CAPACITY];

    // RunDpinst. Read by the report.
    uint32_t DpinstReturnCode;

    // The sequence's closing steps. Read by WriteRuntimeLog.
    int RuntimeLogEnabled;
    // The sequence, from EXITCODES and UNINSTALL before anything else: the
    // exit-code profile, read by the exit code and the runtime log; 1 for a
    // run that removes the driver package.
    ExitCodeProfile ExitCodeProfile;
    int Uninstall;
    // PreserveDpinstLog phase 0, for phase 1.
    int DpinstLogSaved;
};

extern SetupState g_State;

// Zero the whole state, as at process start.
void ClearSetupState();
// 1 when CommandLine is "/q" or "/s", any case.
int IsSilentMode();
// Windows NT 6.2 and later (Windows 8, 8.1, 10, 11 and their servers).
int IsWindows8OrLater(const PfOsVersionInfo* os);
// Windows NT 5.1 and later.
int IsWindowsXpOrLater(const PfOsVersionInfo* os);

#endif
