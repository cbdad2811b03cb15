// Which machine and which package a run checks and starts. Setup.exe fills
// one as it runs; the package checker builds one per row of its table. Every
// check, query and start reads what it needs from it, never from a global.
#ifndef SETUP_CORE_TARGET_H
#define SETUP_CORE_TARGET_H

#include "core/setup_state.h"
#include "util/platform.h"

struct Target {
    // The Windows the run is on: GetVersionExA's answer and its width.
    PfOsVersionInfo OsVersion;
    int Wide;
    // The program's path, and the package's folder without a trailing
    // backslash: the program's own, or the protected copy's. PackageKnown is 0
    // when the program's path could not be read whole: a cut path names some
    // other file, and its folder some other folder.
    char ProgramPath[PATH_CAPACITY];
    char PackageFolder[PATH_CAPACITY];
    int PackageKnown;
    // The settings section chosen for this Windows, after any fallback, and
    // the record read from it.
    char Section[8];
    SettingsRecord Settings;
    // DPInst's folder, where the INF was found; the version-DLL check extends
    // it in place to the DLL's path.
    char PackageDriverFolder[PATH_CAPACITY];
    // The touch pad's ACPI ID and its whole list of hardware IDs.
    char DeviceAcpiId[PATH_CAPACITY];
    char DeviceHardwareIds[DEVICE_ID_SLOTS][PATH_CAPACITY];
};

// 1 on 64-bit Windows, as GetSystemWow64DirectoryW tells.
int Is64BitWindows();
// Fills OsVersion and Wide from the running Windows.
void ReadRunningWindows(Target* target);
// Fills ProgramPath and PackageFolder from the module's path; returns PackageKnown.
int ReadProgramPackage(Target* target, ModuleHandle module);
// PackageFolder, or "" when it is not known: nothing is then looked for from
// the current drive's root instead.
const char* PackageFolderOf(const Target* target);
// The package now lies in folder (the protected copy): the
// program's path names the file of the same name there.
void UsePackageAt(Target* target, const char* folder);
// The program's path with ".ini" for its extension: the package settings file.
void GetSettingsFilePath(const Target* target, char* path, int capacity);

#endif
