#include "app/setup_sequence.h"

#include <string.h>

#include "actions/dpinst_runner.h"
#include "actions/extraction.h"
#include "actions/prerequisites.h"
#include "actions/restart.h"
#include "actions/tray_launch.h"
#include "checks/package_checks.h"
#include "checks/package_copy.h"
#include "checks/package_parts.h"
#include "checks/platform_selection.h"
#include "config/command_line.h"
#include "config/custom_request.h"
#include "core/desktop.h"
#include "core/messages.h"
#include "core/named_mutex.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "core/target.h"
#include "core/trace_file.h"
#include "core/version.h"
#include "driver/detection_record.h"
#include "driver/device_matching.h"
#include "driver/inf_queries.h"
#include "driver/installed_version.h"
#include "driver/overwrite.h"
#include "driver/version_dll.h"
#include "log/debug_report.h"
#include "log/runtime_log.h"
#include "util/bounded_string.h"
#include "util/program_folder.h"

namespace {

const char kMutexName[] = "Setup";
const uint16_t kLangArabic = 0x01;
const uint16_t kLangHebrew = 0x0D;

// What the steps share, and what they leave for the closing steps.
struct Run {
    ModuleHandle instance;
    Target target;
    const char* arguments;
    int versionsRead;
    int settingsLoaded;
    char packageInfPath[PATH_CAPACITY];
    // DPInst, held open (no writes, no delete) from its check to the end of
    // its run: the file checked is the file run.
    PfHandle dpinstHold;
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

// The steps of a run, in order. Each goes on or ends the run with an outcome;
// none shows a refusal's box, the sequence does.

RunOutcome RefuseSecondInstance(Run*)
{
    return OtherCopyHoldsMutex(kMutexName) ? EndWith(OUTCOME_SECOND_INSTANCE) : GoOn();
}

RunOutcome ReadEnvironment(Run* run)
{
    BoundedCopy(g_State.CommandLine, PATH_CAPACITY, run->arguments);
    g_State.RightToLeftUi = CheckSystemLanguage();
    const PfOsVersionInfo& os = run->target.OsVersion;
    TraceLine("Windows %u.%u build %u, platform %u; system language 0x%04X%s", (unsigned)os.dwMajorVersion,
              (unsigned)os.dwMinorVersion, (unsigned)os.dwBuildNumber, (unsigned)os.dwPlatformId,
              (unsigned)PfGetSystemDefaultLangId(), g_State.RightToLeftUi ? ", right-to-left boxes" : "");
    return GoOn();
}

RunOutcome ProtectSettings(Run* run) { return ProtectSettingsFile(&run->target); }

// An extraction the command line may ask for; more than the parser takes is
// harmless here: it only copies the folders an extraction reads.
int ExtractionAsked(const Run* run)
{
    uint32_t support = run->target.Settings.Support;
    return ((support & SUPPORT_EXTRACT_ALL) && strstr(run->arguments, "/extract_all:")) ||
           ((support & SUPPORT_PUBLIC_PROPERTIES) && strstr(run->arguments, "EXTRACTDRIVERS="));
}

// What the chosen row can use beside DPInst's folder.
RunOutcome ProtectParts(Run* run)
{
    const char* parts[PREREQUISITE_INSTALLERS + EXTRACTION_SOURCE_FOLDERS];
    int count = 0;
    if (run->target.Settings.Support & SUPPORT_PREREQUISITES)
        count = ListPrerequisiteInstallerNames(&run->target, parts);
    for (int i = 0; ExtractionAsked(run) && i < EXTRACTION_SOURCE_FOLDERS; ++i)
        parts[count++] = ExtractionSourceFolder(i);
    return ProtectPackageParts(&run->target, parts, count);
}

RunOutcome LoadSettings(Run* run)
{
    RunOutcome end = SelectPlatform(&run->target);
    if (end.outcome != OUTCOME_GO_ON)
        return end;
    run->settingsLoaded = 1;
    TraceSettings(&run->target.Settings);
    return end;
}

RunOutcome FindPackageInf(Run* run) { return CheckDriverFiles(&run->target, run->packageInfPath); }

RunOutcome MatchDevice(Run* run)
{
    if (CollectDeviceHardwareIds(&run->target) != 0)
        return MatchPackageToDevice(&run->target, run->packageInfPath);
    TraceLine("Device match: skipped, no pointing device was examined");
    return GoOn();
}

RunOutcome CheckDpinst(Run* run)
{
    char dpinst[PATH_CAPACITY];
    if (JoinToFolder(PackageFolderOf(&run->target), run->target.Settings.Path, dpinst))
        run->dpinstHold = PfOpenFileForRead(dpinst);
    return CheckExeAndPlatform(&run->target);
}

RunOutcome ReadCommandLine(Run* run)
{
    RunOutcome parsed =
        ParseCommandLine(run->arguments, g_State.CommandLine, g_State.CustomRequestSection, &run->target);
    TraceParsedOptions();
    if (parsed.outcome == OUTCOME_BAD_COMMAND_LINE)
        TraceLine("The command line ends the run: a public property is neither \"true\" nor \"false\"");
    else if (parsed.outcome == OUTCOME_EXTRACTION_FAILED)
        TraceLine("The command line ends the run: the extraction it asked for failed");
    else if (parsed.outcome == OUTCOME_EXTRACTED)
        TraceLine("Drivers extracted through EXTRACTDRIVERS");
    return parsed;
}

RunOutcome ShowHelp(Run* run)
{
    if (PfMbsICmp(g_State.CommandLine, "/?") != 0)
        return GoOn();
    ShowUsage(run->instance, &run->target.Settings);
    return EndWith(OUTCOME_USAGE_SHOWN);
}

RunOutcome Prerequisites(Run* run)
{
    if (run->target.Settings.Support & SUPPORT_PREREQUISITES)
        return InstallPrerequisites(&run->target);
    TraceLine("Prerequisites: not handled (Support lacks 0x10)");
    return GoOn();
}

RunOutcome ExtractAll(Run* run)
{
    if (!(run->target.Settings.Support & SUPPORT_EXTRACT_ALL))
        return GoOn();
    // Without a mode switch CommandLine still is the typed text, whose
    // 260-character copy may have lost the "/extract_all:" path at its end.
    int typedText = strncmp(g_State.CommandLine, run->arguments, PATH_CAPACITY - 1) == 0;
    RunOutcome extracted = ParseExtractAll(&run->target, typedText ? run->arguments : g_State.CommandLine);
    if (extracted.outcome != OUTCOME_GO_ON)
        TraceLine("/extract_all: %s",
                  extracted.outcome == OUTCOME_EXTRACTED ? "drivers extracted" : "extraction failed");
    return extracted;
}

RunOutcome VersionDll(Run* run) { return CheckVersionDll(&run->target, run->packageInfPath); }

RunOutcome OverwriteQuestion(Run* run)
{
    if (!IsSilentMode() && g_State.FreshInstall == 0)
        return ShowOverwriteMsg(run->instance, &run->target, run->packageInfPath);
    TraceLine("No overwrite question: %s", IsSilentMode() ? "silent run" : "FRESHINSTALL is true");
    return GoOn();
}

RunOutcome CustomRequest(Run* run)
{
    DeleteCustomRequestFile();
    WriteCustomRequestFile(&run->target);
    return GoOn();
}

RunOutcome VersionCheck(Run* run)
{
    VersionComparison comparison = CheckOverwrite(&run->target, run->packageInfPath);
    run->versionsRead = 1;
    if (g_State.Force != 0 || (comparison != SAME_INSTALLED && comparison != NEWER_INSTALLED))
        return GoOn();
    TraceLine("FORCE is false and the installed driver is the %s: DPInst does not run",
              comparison == SAME_INSTALLED ? "same version" : "newer one");
    return EndWith(comparison == SAME_INSTALLED ? OUTCOME_SAME_INSTALLED : OUTCOME_NEWER_INSTALLED);
}

RunOutcome Install(Run* run)
{
    PreserveDpinstLog(0, &run->target.Settings);
    return RunDpinst(&run->target);
}

RunOutcome Uninstall(Run* run)
{
    PreserveDpinstLog(0, &run->target.Settings);
    return RunDpinstUninstall(&run->target, run->packageInfPath);
}

typedef RunOutcome (*Step)(Run* run);

const Step kInstallSteps[] = {
    RefuseSecondInstance, ReadEnvironment,   ProtectSettings, LoadSettings, ProtectParts,  FindPackageInf,
    MatchDevice,          CheckDpinst,       ReadCommandLine, ShowHelp,     Prerequisites, ExtractAll,
    VersionDll,           OverwriteQuestion, CustomRequest,   VersionCheck, Install,
};
// Removing the package needs no device, version or prerequisite: only what
// finds and checks DPInst and its INF.
const Step kUninstallSteps[] = {
    RefuseSecondInstance, ReadEnvironment, ProtectSettings, LoadSettings, ProtectParts,
    FindPackageInf,       CheckDpinst,     ReadCommandLine, ShowHelp,     Uninstall,
};

// Runs the steps up to the one that ends the run, and shows its refusal.
template <size_t Count>
RunOutcome RunSteps(const Step (&steps)[Count], Run* run)
{
    for (Step step : steps) {
        RunOutcome end = step(run);
        if (end.outcome == OUTCOME_GO_ON)
            continue;
        ShowRefusalBox(run->instance, &end);
        return end;
    }
    // Unreachable: the last step always ends the run.
    return EndWith(OUTCOME_DPINST_NOT_STARTED);
}

// The silent branch still logs both versions when the version check did not run.
void ReadVersionsForLog(const Run* run)
{
    loc_QueryInfFilesInf(run->packageInfPath, g_State.PackageVersion, PATH_CAPACITY);
    QueryInstalledVersion(&run->target.OsVersion, run->packageInfPath, g_State.InstalledVersion);
}

void TraceRunStart(ModuleHandle instance, const char* arguments)
{
    char program[PATH_CAPACITY] = "";
    PfGetModuleFileName(instance, program, PATH_CAPACITY);
    TraceLine("%s version %s, process %u", program, SETUP_VERSION_TEXT, (unsigned)PfGetCurrentProcessId());
    TraceLine("Command line: \"%s\"", arguments);
    int hidden = g_State.DesktopHidden;
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

namespace {

int IsProfileName(const char* value) { return PfMbsICmp(value, "classic") == 0 || PfMbsICmp(value, "msi") == 0; }
int IsTrueOrFalse(const char* value) { return TrueFalse(value) >= 0; }
int AnyValue(const char*) { return 1; }

// EXITCODES and UNINSTALL, read before anything else, whatever Support holds.
// 0 when the run must end at once: a value neither property takes, or an
// uninstall that also asks for an extraction.
int ReadStartProperties(const char* arguments)
{
    char value[PATH_CAPACITY] = "";
    int found = ReadStartProperty(arguments, "EXITCODES=", IsProfileName, value, sizeof(value));
    if (found < 0) {
        TraceLine("EXITCODES=\"%s\" names no exit-code profile (classic or msi): the run ends at once", value);
        return 0;
    }
    g_State.ExitCodeProfile = found && PfMbsICmp(value, "msi") == 0 ? PROFILE_MSI : PROFILE_CLASSIC;

    found = ReadStartProperty(arguments, "UNINSTALL=", IsTrueOrFalse, value, sizeof(value));
    if (found < 0) {
        TraceLine("UNINSTALL=\"%s\" is neither \"true\" nor \"false\": the run ends at once", value);
        return 0;
    }
    g_State.Uninstall = found && TrueFalse(value) == 1;
    if (g_State.Uninstall && (strstr(arguments, "/extract_all:") ||
                              ReadStartProperty(arguments, "EXTRACTDRIVERS=", AnyValue, value, sizeof(value)))) {
        TraceLine("UNINSTALL=true together with an extraction: the run ends at once");
        return 0;
    }
    if (g_State.Uninstall)
        TraceLine("UNINSTALL=true: this run removes the driver package");
    return 1;
}

// The closing steps: report, runtime log, DPInst's log, restart and tray
// application. Returns 1 when Windows took a restart.
int CloseRun(Run* run, const RunOutcome* end, PfSystemTime startTime)
{
    const SettingsRecord* settings = &run->target.Settings;
    int result = OutcomeResult(end);
    int silentBranch = IsSilentMode() || g_State.DriversExtracted;
    // The log is written before the restart is asked for, so it shows the
    // code the restart would make.
    int shownExitCode = result;
    if (g_State.ExitCodeProfile == PROFILE_MSI)
        shownExitCode = ExitCodeFor(end, PROFILE_MSI, settings->Support, silentBranch && RestartRequested(result));
    TraceLine("Result %d (%s); closing steps of %s run", result, ResultName(result),
              silentBranch ? "a silent or extraction" : "an interactive");
    WriteReportFile(run->instance, run->arguments, result, startTime, settings);
    TraceLine("Runtime log: %s", (settings->Support & SUPPORT_RUNTIME_LOG) ? "on" : "off (Support lacks 0x04)");
    int restarted = 0;
    if (!silentBranch) {
        if (settings->Support & SUPPORT_RUNTIME_LOG)
            g_State.RuntimeLogEnabled = 1;
        WriteRuntimeLog(run->instance, run->arguments, result, shownExitCode, startTime, settings);
        PreserveDpinstLog(1, settings);
        UpdateDetectionRecord(end, g_State.Uninstall, run->packageInfPath, &run->target);
    } else {
        g_State.RuntimeLogEnabled = 0;
        if (run->versionsRead == 0)
            ReadVersionsForLog(run);
        WriteRuntimeLog(run->instance, run->arguments, result, shownExitCode, startTime, settings);
        PreserveDpinstLog(1, settings);
        UpdateDetectionRecord(end, g_State.Uninstall, run->packageInfPath, &run->target);
        restarted = RestartWindows(result);
    }
    if ((settings->Support & SUPPORT_LAUNCH_APP) && !g_State.Uninstall)
        LaunchTrayApplication(&run->target);
    return restarted;
}

}  // namespace

int RunSetup(ModuleHandle instance, const char* arguments)
{
    PfSystemTime startTime;
    PfGetLocalTime(&startTime);
    Run run;
    memset(&run, 0, sizeof(run));
    run.instance = instance;
    run.arguments = arguments;
    // Which Windows this is decides whether anybody can see the run, which
    // its first trace lines say.
    ReadRunningWindows(&run.target);
    g_State.DesktopHidden = IsDesktopHidden(&run.target.OsVersion);
    ReadProgramPackage(&run.target, instance);
    OpenStepTrace(instance, &startTime);
    TraceRunStart(instance, arguments);
    PruneStepTraces(instance);
    if (!ReadStartProperties(arguments)) {
        RunOutcome refused = EndWith(OUTCOME_BAD_START_PROPERTY);
        int exitCode = ExitCodeFor(&refused, g_State.ExitCodeProfile, 0, 0);
        CloseStepTrace("Outcome %s: nothing done; exit code %d", OutcomeName(refused.outcome), exitCode);
        return exitCode;
    }
    ResetOptions();

    RunOutcome end = g_State.Uninstall ? RunSteps(kUninstallSteps, &run) : RunSteps(kInstallSteps, &run);
    if (run.dpinstHold)
        PfCloseHandle(run.dpinstHold);
    ExitCodeProfile profile = g_State.ExitCodeProfile;
    const char* profileName = ProfileName(profile);
    if (EndsAtOnce(end.outcome)) {
        ReleasePackage();
        int exitCode = ExitCodeFor(&end, profile, run.target.Settings.Support, 0);
        CloseStepTrace(
            "Outcome %s: ended at once by the refusal above, no logs, no restart; profile %s: exit code %d",
            OutcomeName(end.outcome), profileName, exitCode);
        return exitCode;
    }

    int restarted = CloseRun(&run, &end, startTime);
    ReleasePackage();
    uint32_t support = run.target.Settings.Support;
    int result = OutcomeResult(&end);
    int exitCode = ExitCodeFor(&end, profile, support, restarted);
    const char* why = "";
    if (profile == PROFILE_CLASSIC && exitCode != result)
        why = run.settingsLoaded ? ", Support lacks 0x08" : ", no settings were loaded, so Support is 0";
    CloseStepTrace("Outcome %s (result %d, %s%s); profile %s: exit code %d", OutcomeName(end.outcome), result,
                   ResultName(result), why, profileName, exitCode);
    return exitCode;
}
