#include "actions/dpinst_runner.h"

#include "core/desktop.h"
#include "core/step_trace.h"
#include "util/bounded_string.h"
#include "util/program_folder.h"

namespace {

// "<program folder><Path>" in quotes: the start of every DPInst command. 0
// when the program's folder could not be read whole.
int BuildDpinstPath(const Target* target, char* command)
{
    const SettingsRecord* settings = &target->Settings;
    // Without its folder the path would lead from the current drive's root.
    const char* folder = target->PackageFolder;
    int folderKnown = target->PackageKnown;
    // Path is joined as plain text: the settings file gives it its own backslash.
    BoundedCopy(command, DPINST_COMMAND_CAPACITY, "\"");
    BoundedAppend(command, DPINST_COMMAND_CAPACITY, folder);
    BoundedAppend(command, DPINST_COMMAND_CAPACITY, settings->Path);
    BoundedAppend(command, DPINST_COMMAND_CAPACITY, "\"");
    return folderKnown;
}

// Starts the command, waits, and decodes DPInst's code. The command names
// DPInst as the settings give it, joined as text; it starts only when that is
// the file the checks checked, inside the package: as SYSTEM, a Path without
// its backslash or with ".." would otherwise start a file any user may put there.
RunOutcome StartDpinst(const Target* target, const char* command, int folderKnown)
{
    const SettingsRecord* settings = &target->Settings;
    uint32_t processCode = 0;
    uint32_t threadCode = 0;
    TraceLine("DPInst: starting %s", command);
    char checked[PATH_CAPACITY] = "";
    if (folderKnown && !(JoinToFolder(PackageFolderOf(target), settings->Path, checked) &&
                         StartsCheckedFile(PackageFolderOf(target), command, checked))) {
        TraceLine("DPInst: Path \"%s\" makes a command that names another file than %s, the one checked inside "
                  "the package: not started",
                  settings->Path, checked);
        return EndWith(OUTCOME_DPINST_NOT_STARTED, PF_ERROR_FILE_NOT_FOUND);
    }
    // DPInst's own folder is its current folder: the launcher's, which it would
    // otherwise inherit, is searched for DLLs and may be anywhere. Without that
    // folder the start fails for the missing image, with its own error.
    char imageFolder[PATH_CAPACITY] = "";
    int inFolder = folderKnown && PfGetFullPathName(checked, imageFolder) && PfPathRemoveFileSpec(imageFolder);
    uint32_t attributes = inFolder ? PfGetFileAttributes(imageFolder) : PF_INVALID_FILE_ATTRIBUTES;
    inFolder = attributes != PF_INVALID_FILE_ATTRIBUTES && (attributes & PF_FILE_ATTRIBUTE_DIRECTORY);
    if (!folderKnown)
        PfSetLastError(PF_ERROR_PATH_NOT_FOUND);
    if (!folderKnown || !PfRunProcessAndWait(command, inFolder ? imageFolder : 0, &processCode, &threadCode)) {
        uint32_t error = PfGetLastError();
        TraceLine("DPInst: could not be started (error %u)", (unsigned)error);
        return EndWith(OUTCOME_DPINST_NOT_STARTED, error);
    }
    g_State.DpinstReturnCode = processCode;
    RunOutcome end = {DecodeDpinstCode(processCode), 0, processCode, threadCode};
    int result = OutcomeResult(&end);
    TraceLine("DPInst: exit code 0x%08X: installed %u, copied only %u, failed %u, restart %s%s; result %d, %s",
              (unsigned)processCode, (unsigned)(processCode & 0xFF), (unsigned)((processCode >> 8) & 0xFF),
              (unsigned)((processCode >> 16) & 0xFF),
              (processCode & DPINST_RESTART_NEEDED) ? "needed" : "not needed",
              (processCode & DPINST_PACKAGE_FAILED) ? ", a package failed" : "", result, OutcomeName(end.outcome));
    return end;
}

// DPInst's wizard on a desktop nobody sees would wait for ever, and the run with it.
int DpinstUnattended()
{
    int unattended = StartsUnattended();
    if (unattended && !IsSilentMode())
        TraceLine("DPInst: nobody can see this run, so DPInst gets its silent options");
    return unattended;
}

}  // namespace

int BuildDpinstCommand(const Target* target, int silent, char* command)
{
    const SettingsRecord* settings = &target->Settings;
    // The buffer holds the longest folder, Path and options whole: a cut
    // command could drop the silent options and leave DPInst waiting for a
    // person in an unattended deployment.
    int folderKnown = BuildDpinstPath(target, command);
    BoundedAppend(command, DPINST_COMMAND_CAPACITY, silent ? settings->Silent : settings->Default);
    return folderKnown;
}

int BuildDpinstUninstallCommand(const Target* target, const char* packageInfPath, int silent, char* command)
{
    int folderKnown = BuildDpinstPath(target, command);
    BoundedAppend(command, DPINST_COMMAND_CAPACITY, " /U \"");
    BoundedAppend(command, DPINST_COMMAND_CAPACITY, packageInfPath);
    BoundedAppend(command, DPINST_COMMAND_CAPACITY, silent ? "\" /S" : "\"");
    return folderKnown;
}

RunOutcome RunDpinst(const Target* target)
{
    char command[DPINST_COMMAND_CAPACITY];
    int folderKnown = BuildDpinstCommand(target, DpinstUnattended(), command);
    return StartDpinst(target, command, folderKnown);
}

RunOutcome RunDpinstUninstall(const Target* target, const char* packageInfPath)
{
    char command[DPINST_COMMAND_CAPACITY];
    int folderKnown = BuildDpinstUninstallCommand(target, packageInfPath, DpinstUnattended(), command);
    return StartDpinst(target, command, folderKnown);
}
