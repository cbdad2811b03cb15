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
#include "core/desktop.h"
#include "core/messages.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "core/version.h"
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
    int settingsLoaded;
    char packageInfPath[PATH_CAPACITY];
};

const char* ResultName(int result)
{
    switch (result) {
    case SUCCESS:
        return "SUCCESS";
    case DEP_SOFT_ERROR:
        return "DEP_SOFT_ERROR";
    case DEP_HARD_ERROR:
        return "DEP_HARD_ERROR";
    case ERROR:
        return "ERROR";
    case UNKNOWN_OPTION:
        return "UNKNOWN_OPTION";
    case ERROR_INSTALL_PLATFORM_UNSUPPORTED:
        return "ERROR_INSTALL_PLATFORM_UNSUPPORTED";
    case REBOOT_REQUIRED:
        return "REBOOT_REQUIRED";
    default:
        return "DPInst's own code, passed on";
    }
}

void TraceSettings(const SettingsRecord* settings)
{
    char bits[TEXT_CAPACITY];
    NameSupportBits(settings->Support, bits, TEXT_CAPACITY);
    TraceLine("Settings: Path \"%s\", Default \"%s\", Silent \"%s\", Support 0x%X (%s)", settings->Path,
              settings->Default, settings->Silent, (unsigned)settings->Support, bits[0] ? bits : "no features");
}

void TraceParsedOptions()
{
    TraceLine("Options: switch \"%s\" (%s), FORCE %d, FRESHINSTALL %d, FORCERESTART %d, DEBUG %d, LOGFILE \"%s\", "
              "custom request \"%s\"",
              g_State.CommandLine, IsSilentMode() ? "silent" : "interactive", g_State.Force, g_State.FreshInstall,
              g_State.ForceRestart, g_State.Debug, g_State.LogFilePath, g_State.CustomRequestSection);
}

// The checks and the install, up to DPInst's result. Returns 1 to go on to
// the closing steps, 0 when the run must end at once with exit code 0.
int RunChecksAndInstall(ModuleHandle instance, const char* arguments, RunProgress* run)
{
    if (PfCreateOwnedMutex(kMutexName) == PF_ERROR_ALREADY_EXISTS) {
        TraceLine("Another instance holds the mutex \"%s\": this one stops", kMutexName);
        run->result = ERROR;
        return 1;
    }

    memset(&g_State.OsVersion, 0, sizeof(g_State.OsVersion));
    g_State.OsVersion.dwOSVersionInfoSize = sizeof(PfOsVersionInfo);
    PfGetVersionEx(&g_State.OsVersion);
    BoundedCopy(g_State.CommandLine, PATH_CAPACITY, arguments);
    g_State.RightToLeftUi = CheckSystemLanguage();
    const PfOsVersionInfo& os = g_State.OsVersion;
    TraceLine("Windows %u.%u build %u, platform %u; system language 0x%04X%s", (unsigned)os.dwMajorVersion,
              (unsigned)os.dwMinorVersion, (unsigned)os.dwBuildNumber, (unsigned)os.dwPlatformId,
              (unsigned)PfGetSystemDefaultLangId(), g_State.RightToLeftUi ? ", right-to-left boxes" : "");

    SettingsRecord* settings = &g_State.Settings;
    settings->Size = sizeof(SettingsRecord);
    if (!SelectPlatform(instance, settings)) {
        run->result = ERROR_INSTALL_PLATFORM_UNSUPPORTED;
        return 1;
    }
    run->settingsLoaded = 1;
    TraceSettings(settings);
    if (!CheckDriverFiles(instance, settings->Path, run->packageInfPath)) {
        run->result = ERROR_INSTALL_PLATFORM_UNSUPPORTED;
        return 1;
    }
    if (CollectDeviceHardwareIds() == 0)
        TraceLine("Device match: skipped, no pointing device was examined");
    else if (!MatchPackageToDevice(run->packageInfPath)) {
        run->result = ERROR_INSTALL_PLATFORM_UNSUPPORTED;
        return 1;
    }
    if (!CheckExeAndPlatform(instance, settings->Path)) {
        run->result = ERROR_INSTALL_PLATFORM_UNSUPPORTED;
        return 1;
    }

    int parsed = ParseCommandLine(arguments, g_State.CommandLine, g_State.CustomRequestSection, instance, settings);
    TraceParsedOptions();
    if (parsed == UNKNOWN_OPTION || parsed == DEP_SOFT_ERROR) {
        TraceLine("The command line ends the run: %s", parsed == UNKNOWN_OPTION
                                                           ? "a public property is neither \"true\" nor \"false\""
                                                           : "the extraction it asked for failed");
        run->result = parsed;
        return 1;
    }
    if (parsed == EXTRACT_DONE) {
        TraceLine("Drivers extracted through EXTRACTDRIVERS");
        run->result = SUCCESS;
        return 1;
    }

    if (PfMbsICmp(g_State.CommandLine, "/?") == 0) {
        ShowUsage(instance, settings);
        run->result = SUCCESS;
        return 1;
    }
    if (!(settings->Support & SUPPORT_PREREQUISITES))
        TraceLine("Prerequisites: not handled (Support lacks 0x10)");
    else if (InstallPrerequisites(instance) == DEP_SOFT_ERROR) {
        run->result = DEP_SOFT_ERROR;
        return 1;
    }
    if (settings->Support & SUPPORT_EXTRACT_ALL) {
        // Without a mode switch CommandLine still is the typed text, whose
        // 260-character copy may have lost the "/extract_all:" path at its end.
        int typedText = strncmp(g_State.CommandLine, arguments, PATH_CAPACITY - 1) == 0;
        int extracted = ParseExtractAll(instance, typedText ? arguments : g_State.CommandLine);
        if (extracted != 0)
            TraceLine("/extract_all: %s", extracted == EXTRACT_DONE ? "drivers extracted" : "extraction failed");
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
    if (IsSilentMode() || g_State.FreshInstall != 0)
        TraceLine("No overwrite question: %s", IsSilentMode() ? "silent run" : "FRESHINSTALL is true");
    else if (!ShowOverwriteMsg(instance, run->packageInfPath))
        return 0;

    DeleteCustomRequestFile();
    WriteCustomRequestFile();

    int comparison = -100;  // none of the outcomes, should the check fail
    CheckOverwrite(run->packageInfPath, &comparison);
    run->versionsRead = 1;
    if (g_State.Force == 0 && (comparison == SAME_INSTALLED || comparison == NEWER_INSTALLED)) {
        TraceLine("FORCE is false and the installed driver is the %s: DPInst does not run",
                  comparison == SAME_INSTALLED ? "same version" : "newer one");
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

void TraceRunStart(ModuleHandle instance, const char* arguments)
{
    char program[PATH_CAPACITY] = "";
    PfGetModuleFileName(instance, program, PATH_CAPACITY);
    TraceLine("%s version %s, process %u", program, SETUP_VERSION_TEXT, (unsigned)PfGetCurrentProcessId());
    TraceLine("Command line: \"%s\"", arguments);
    int hidden = IsDesktopHidden();
    TraceLine("Desktop visible: %s%s",
              !hidden                          ? "yes"
              : hidden == DESKTOP_SESSION_ZERO ? "no (session 0)"
                                               : "no",
              hidden ? ", boxes are answered with their default button" : "");
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
    OpenStepTrace(instance, &startTime);
    TraceRunStart(instance, arguments);
    ResetOptions();

    RunProgress run;
    memset(&run, 0, sizeof(run));
    if (!RunChecksAndInstall(instance, arguments, &run)) {
        CloseStepTrace("Ended at once by the refusal above: no logs, no restart, exit code 0");
        return 0;
    }

    const SettingsRecord* settings = &g_State.Settings;
    TraceLine("Result %d (%s); closing steps of %s run", run.result, ResultName(run.result),
              !IsSilentMode() && !g_State.DriversExtracted ? "an interactive" : "a silent or extraction");
    WriteReportFile(instance, arguments, run.result, startTime, settings);
    TraceLine("Runtime log: %s", (settings->Support & SUPPORT_RUNTIME_LOG) ? "on" : "off (Support lacks 0x04)");
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
    int exitCode = (settings->Support & SUPPORT_EXIT_CODE) ? run.result : 0;
    const char* why = "";
    if (exitCode != run.result)
        why = run.settingsLoaded ? "; Support lacks 0x08" : "; no settings were loaded, so Support is 0";
    CloseStepTrace("Result %d (%s)%s: exit code %d", run.result, ResultName(run.result), why, exitCode);
    return exitCode;
}
