#include "actions/prerequisites.h"

#include "config/settings_file.h"
#include "core/desktop.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "driver/device_matching.h"
#include "util/bounded_string.h"

namespace {

struct Prerequisite {
    const char* key;        // under HKEY_LOCAL_MACHINE; present when it opens
    const char* installer;  // its path in the package
    const char* silentParameters;
    const char* interactiveParameters;
};

const Prerequisite kImaging = {"SOFTWARE\\Microsoft\\Windows Imaging Component", "DotNetFx\\wic_x64_enu.exe",
                               " /quiet", " /norestart"};
const Prerequisite kDotNet4 = {"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4",
                               "DotNetFx\\dotNetFx40_Client_x86_x64.exe", " /q", " /norestart"};

// The imaging component is checked only on version 5.1 of 64-bit Windows, the
// rule's stand-in for 64-bit XP (which reports 5.2).
int NeedsImagingCheck(const Target* target)
{
    const PfOsVersionInfo* os = &target->OsVersion;
    return os->dwPlatformId == PF_VER_PLATFORM_WIN32_NT && os->dwMajorVersion == 5 && os->dwMinorVersion == 1 &&
           target->Wide;
}

// Probed in the program's own registry view, as the installers register there too.
int IsKeyPresent(const char* subKey)
{
    PfHandle key = 0;
    if (PfRegOpenKey(PF_HKEY_LOCAL_MACHINE, subKey, PF_KEY_QUERY_VALUE, &key) != 0)
        return 0;
    PfRegCloseKey(key);
    return 1;
}

// The installer's full path in the package's "DotNetFx" folder, and that
// folder. 0 when the program's path is not known whole or a path does not
// fit: a cut path could name some other file.
int GetInstallerPath(const Target* target, const Prerequisite* prerequisite, char* folder, char* installer)
{
    if (target->PackageKnown && BoundedCopy(installer, PATH_CAPACITY, target->PackageFolder) == BOUNDED_OK &&
        BoundedAppend(installer, PATH_CAPACITY, "\\") == BOUNDED_OK &&
        BoundedAppend(installer, PATH_CAPACITY, prerequisite->installer) == BOUNDED_OK) {
        BoundedCopy(folder, PATH_CAPACITY, installer);
        PfPathRemoveFileSpec(folder);
        return 1;
    }
    installer[0] = 0;
    return 0;
}

// Starts the installer and waits for it. 1 when it was started.
int RunInstaller(const Prerequisite* prerequisite, const char* folder, const char* installer)
{
    int unattended = StartsUnattended();
    if (unattended && !IsSilentMode())
        TraceLine("Prerequisites: nobody can see this run, so %s gets its silent parameters", installer);
    const char* parameters = unattended ? prerequisite->silentParameters : prerequisite->interactiveParameters;
    TraceLine("Prerequisites: starting %s%s in %s", installer, parameters, folder);
    uint32_t code = 0xFFFFFFFFu;
    // No zone check either: a downloaded package's mark would raise a prompt that nobody answers in session 0.
    const uint32_t mask = PF_SEE_MASK_NOCLOSEPROCESS | PF_SEE_MASK_FLAG_NO_UI | PF_SEE_MASK_NOZONECHECKS;
    if (!PfShellExecuteAndWait(mask, "open", installer, parameters, folder, PF_SW_HIDE, &code)) {
        TraceLine("Prerequisites: %s could not be started (error %u)", installer, (unsigned)PfGetLastError());
        return 0;
    }
    // The installer's own result decides nothing here: only a failed start stops the run.
    TraceLine("Prerequisites: %s ended with exit code %u (0x%X)", installer, (unsigned)code, (unsigned)code);
    return 1;
}

// Starts the installer from the package's "DotNetFx" folder and waits for it.
// 1 when it was started. By full path, and only when the file is there: a
// bare name would let the search order start a file of that name from
// elsewhere. No shell error box: a silent deployment must not stop on a
// dialog that nobody answers.
int LaunchInstaller(const Target* target, const Prerequisite* prerequisite)
{
    char folder[PATH_CAPACITY];
    char installer[PATH_CAPACITY];
    if (!GetInstallerPath(target, prerequisite, folder, installer))
        return 0;
    // Held open (no writes, no delete) from here to its end: what is found is what runs.
    PfHandle hold = PfOpenFileForRead(installer);
    if (!hold) {
        TraceLine("Prerequisites: %s is missing (error %u)", installer, (unsigned)PfGetLastError());
        return 0;
    }
    int started = RunInstaller(prerequisite, folder, installer);
    PfCloseHandle(hold);
    return started;
}

// 1 when the component is there or its installer was started.
int EnsurePrerequisite(const Target* target, const Prerequisite* prerequisite)
{
    if (IsKeyPresent(prerequisite->key)) {
        TraceLine("Prerequisites: %s present", prerequisite->key);
        return 1;
    }
    return LaunchInstaller(target, prerequisite);
}

// The installers a run on the target's Windows may start, in their order.
int ListUsed(const Target* target, const Prerequisite** used)
{
    if (IsWindows8OrLater(&target->OsVersion))
        return 0;
    int count = 0;
    if (NeedsImagingCheck(target))
        used[count++] = &kImaging;
    used[count++] = &kDotNet4;
    return count;
}

}  // namespace

RunOutcome InstallPrerequisites(Target* target)
{
    if (IsWindows8OrLater(&target->OsVersion)) {
        TraceLine("Prerequisites: Windows 8 and later bring them");
        return GoOn();
    }
    if (CollectDeviceHardwareIds(target) == 0) {
        TraceLine("Prerequisites: skipped, no pointing device was examined");
        return GoOn();
    }
    if (IsDotNetUnnecessary(target, target->DeviceAcpiId)) {
        TraceLine("Prerequisites: device code \"%s\" is listed in DotNET_Option/Unnecessary_ID",
                  target->DeviceAcpiId);
        return GoOn();
    }
    if (NeedsImagingCheck(target) && !EnsurePrerequisite(target, &kImaging))
        return EndWith(OUTCOME_PREREQUISITE_MISSING);
    if (!EnsurePrerequisite(target, &kDotNet4))
        return EndWith(OUTCOME_PREREQUISITE_MISSING);
    return GoOn();
}

int ListPrerequisiteInstallers(const Target* target, char paths[][PATH_CAPACITY])
{
    const Prerequisite* used[PREREQUISITE_INSTALLERS];
    int count = ListUsed(target, used);
    char folder[PATH_CAPACITY];
    for (int i = 0; i < count; ++i)
        GetInstallerPath(target, used[i], folder, paths[i]);
    return count;
}

int ListPrerequisiteInstallerNames(const Target* target, const char** names)
{
    const Prerequisite* used[PREREQUISITE_INSTALLERS];
    int count = ListUsed(target, used);
    for (int i = 0; i < count; ++i)
        names[i] = used[i]->installer;
    return count;
}
