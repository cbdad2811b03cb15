#include "app/setup_sequence.h"

#include <string.h>

#include "actions/dpinst_runner.h"
#include "actions/extraction.h"
#include "actions/prerequisites.h"
#include "actions/restart.h"
#include "actions/tray_launch.h"
#include "checks/package_checks.h"
#include "checks/platform_selection.h"
#include "config/command_line.h"
#include "config/custom_request.h"
#include "core/messages.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "driver/device_matching.h"
#include "driver/inf_queries.h"
#include "driver/installed_version.h"
#include "driver/overwrite.h"
#include "driver/version_dll.h"
#include "log/debug_report.h"
#include "log/runtime_log.h"
#include "util/bounded_string.h"

namespace {

const char kMutexName[] = "Setup";
const uint16_t kLangArabic = 0x01;
const uint16_t kLangHebrew = 0x0D;

// What the install path leaves for the closing steps.
struct RunProgress {
    int result;
    int versionsRead;
    char packageInfPath[PATH_CAPACITY];
};

// The checks and the install, up to DPInst's result. Returns 1 to go on to
// the closing steps, 0 when the run must end at once with exit code 0.
int RunChecksAndInstall(ModuleHandle instance, const char* arguments, RunProgress* run)
{
    if (PfCreateOwnedMutex(kMutexName) == PF_ERROR_ALREADY_EXISTS) {
        run->result = ERROR;
        return 1;
    }

    memset(&g_State.OsVersion, 0, sizeof(g_State.OsVersion));
    g_State.OsVersion.dwOSVersionInfoSize = sizeof(PfOsVersionInfo);
    PfGetVersionEx(&g_State.OsVersion);
    BoundedCopy(g_State.CommandLine, PATH_CAPACITY, arguments);
    g_State.RightToLeftUi = CheckSystemLanguage();

    SettingsRecord* settings = &g_State.Settings;
    settings->Size = sizeof(SettingsRecord);
    if (!SelectPlatform(instance, settings)) {
        run->result = ERROR_INSTALL_PLATFORM_UNSUPPORTED;
        return 1;
    }
    if (!CheckDriverFiles(instance, settings->Path, run->packageInfPath)) {
        run->result = ERROR_INSTALL_PLATFORM_UNSUPPORTED;
        return 1;
    }
    if (CollectDeviceHardwareIds() != 0 && !MatchPackageToDevice(run->packageInfPath)) {
        run->result = ERROR_INSTALL_PLATFORM_UNSUPPORTED;
        return 1;
    }
    if (!CheckExeAndPlatform(instance, settings->Path)) {
        run->result = ERROR_INSTALL_PLATFORM_UNSUPPORTED;
        return 1;
    }

    int parsed = ParseCommandLine(arguments, g_State.CommandLine, g_State.CustomRequestSection, instance, settings);
    if (parsed == UNKNOWN_OPTION || parsed == DEP_SOFT_ERROR) {
        run->result = parsed;
        return 1;
    }
    if (parsed == EXTRACT_DONE) {
        run->result = SUCCESS;
        return 1;
    }

    if (PfMbsICmp(g_State.CommandLine, "/?") == 0) {
        ShowUsage(instance, settings);
        run->result = SUCCESS;
        return 1;
    }
    if ((settings->Support & SUPPORT_PREREQUISITES) && InstallPrerequisites(instance) == DEP_SOFT_ERROR) {
        run->result = DEP_SOFT_ERROR;
        return 1;
    }
    if (settings->Support & SUPPORT_EXTRACT_ALL) {
        // Without a mode switch CommandLine still is the typed text, whose
        // 260-character copy may have lost the "/extract_all:" path at its end.
        int typedText = strncmp(g_State.CommandLine, arguments, PATH_CAPACITY - 1) == 0;
        int extracted = ParseExtractAll(instance, typedText ? arguments : g_State.CommandLine);
        if (extracted == UNKNOWN_OPTION || extracted == DEP_SOFT_ERROR) {
            run->result = extracted;
            return 1;
        }
        if (extracted == EXTRACT_DONE) {
            run->result = SUCCESS;
            return 1;
        }
    }

    if (!CheckVersionDll(run->packageInfPath))
        return 0;
    if (!IsSilentMode() && g_State.FreshInstall == 0 && !ShowOverwriteMsg(instance, run->packageInfPath))
        return 0;

    DeleteCustomRequestFile();
    WriteCustomRequestFile();

    int comparison = -100;  // none of the outcomes, should the check fail
    CheckOverwrite(run->packageInfPath, &comparison);
    run->versionsRead = 1;
    if (g_State.Force == 0 && (comparison == SAME_INSTALLED || comparison == NEWER_INSTALLED)) {
        run->result = DEP_SOFT_ERROR;
        return 1;
    }

    PreserveDpinstLog(0, settings);
    run->result = RunDpinst(instance, settings);
    return 1;
}

// The silent branch still logs both versions when the version check did not run.
void ReadVersionsForLog(const RunProgress* run)
{
    loc_QueryInfFilesInf(run->packageInfPath, g_State.PackageVersion, PATH_CAPACITY);
    QueryInstalledVersion(run->packageInfPath, g_State.InstalledVersion);
}

}  // namespace

void ResetOptions()
{
    g_State.Debug = 0;
    g_State.Force = 1;
    g_State.ForceRestart = 0;
    g_State.FreshInstall = 0;
    g_State.DriversExtracted = 0;
    memset(g_State.LogFilePath, 0, sizeof(g_State.LogFilePath));
}

int CheckSystemLanguage()
{
    uint16_t primary = PfGetSystemDefaultLangId() & 0x3FF;
    return primary == kLangArabic || primary == kLangHebrew ? 1 : 0;
}

int RunSetup(ModuleHandle instance, const char* arguments)
{
    PfSystemTime startTime;
    PfGetLocalTime(&startTime);
    ResetOptions();

    RunProgress run;
    memset(&run, 0, sizeof(run));
    if (!RunChecksAndInstall(instance, arguments, &run))
        return 0;

    const SettingsRecord* settings = &g_State.Settings;
    WriteReportFile(instance, arguments, run.result, startTime, settings);
    if (!IsSilentMode() && !g_State.DriversExtracted) {
        if (settings->Support & SUPPORT_RUNTIME_LOG)
            g_State.RuntimeLogEnabled = 1;
        WriteRuntimeLog(instance, arguments, run.result, startTime, settings);
        PreserveDpinstLog(1, settings);
    } else {
        g_State.RuntimeLogEnabled = 0;
        if (run.versionsRead == 0)
            ReadVersionsForLog(&run);
        WriteRuntimeLog(instance, arguments, run.result, startTime, settings);
        PreserveDpinstLog(1, settings);
        RestartWindows(run.result);
    }
    if (settings->Support & SUPPORT_LAUNCH_APP)
        LaunchTrayApplication();
    return (settings->Support & SUPPORT_EXIT_CODE) ? run.result : 0;
}
