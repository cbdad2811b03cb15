#include "actions/dpinst_runner.h"

#include <string.h>

#include "core/messages.h"
#include "core/result_codes.h"
#include "core/step_trace.h"
#include "util/bounded_string.h"
#include "util/program_folder.h"

namespace {

const uint32_t kRebootOnePackage = 0x40000001u;
const uint32_t kRebootTwoPackages = 0x40000002u;
const uint32_t kStagedMask = 0x1100u;
const uint32_t kStagedOnly = 0x100u;
const uint32_t kFailedFlag = 0x80000000u;

// The folder of the image the command names between its first pair of
// quotes, for DPInst's current folder: the launcher's own, which it would
// otherwise inherit, is searched for DLLs and may be anywhere. 0 when there is
// no such folder: the start then fails as it always has, for the missing image.
int GetImageFolder(const char* command, char* folder)
{
    const char* end = command[0] == '"' ? strchr(command + 1, '"') : 0;
    if (!end || BoundedCopyN(folder, PATH_CAPACITY, command + 1, (size_t)(end - command - 1)) != BOUNDED_OK)
        return 0;
    // Windows takes "/" for "\"; "/" is never the second byte of a double-byte character.
    for (char* p = folder; *p; ++p)
        if (*p == '/')
            *p = '\\';
    PfPathRemoveFileSpec(folder);
    uint32_t attributes = PfGetFileAttributes(folder);
    return attributes != PF_INVALID_FILE_ATTRIBUTES && (attributes & PF_FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

int MapDpinstReturnCode(uint32_t code, int startResult)
{
    int result = startResult;
    if (code == kRebootOnePackage || code == kRebootTwoPackages)
        result = REBOOT_REQUIRED;
    else if (code == 1 || code == 2)
        result = SUCCESS;
    if ((code & kStagedMask) == kStagedOnly)
        result = DEP_HARD_ERROR;
    else if (code & kFailedFlag)
        result = ERROR;
    return result;
}

int BuildDpinstCommand(ModuleHandle instance, const SettingsRecord* settings, int silent, char* command)
{
    char folder[PATH_CAPACITY] = "";
    // Without its folder the path would lead from the current drive's root.
    int folderKnown = GetProgramFolder(instance, folder);

    // Path is joined as plain text: the settings file gives it its own backslash.
    // The buffer holds the longest folder, Path and options whole: a cut
    // command could drop the silent options and leave DPInst waiting for a
    // person in an unattended deployment.
    BoundedCopy(command, DPINST_COMMAND_CAPACITY, "\"");
    BoundedAppend(command, DPINST_COMMAND_CAPACITY, folder);
    BoundedAppend(command, DPINST_COMMAND_CAPACITY, settings->Path);
    BoundedAppend(command, DPINST_COMMAND_CAPACITY, "\"");
    BoundedAppend(command, DPINST_COMMAND_CAPACITY, silent ? settings->Silent : settings->Default);
    return folderKnown;
}

int RunDpinst(ModuleHandle instance, const SettingsRecord* settings)
{
    char command[DPINST_COMMAND_CAPACITY];
    int folderKnown = BuildDpinstCommand(instance, settings, IsSilentMode(), command);

    uint32_t processCode = 0;
    uint32_t threadCode = 0;
    TraceLine("DPInst: starting %s", command);
    if (!folderKnown)
        PfSetLastError(PF_ERROR_PATH_NOT_FOUND);
    char imageFolder[PATH_CAPACITY];
    int inFolder = folderKnown && GetImageFolder(command, imageFolder);
    if (!folderKnown || !PfRunProcessAndWait(command, inFolder ? imageFolder : 0, &processCode, &threadCode)) {
        TraceLine("DPInst: could not be started (error %u)", (unsigned)PfGetLastError());
        ShowInfoMessage(instance, IDS_LAUNCH_FAILED, IDS_CAPTION, PfGetLastError());
        return ERROR;
    }
    g_State.DpinstReturnCode = processCode;
    int result = MapDpinstReturnCode(processCode, (int)threadCode);
    // The code's layout: failure flag, restart flag, then failed, copied and installed counts.
    TraceLine("DPInst: exit code 0x%08X: installed %u, copied only %u, failed %u, restart %s%s; result %d",
              (unsigned)processCode, (unsigned)(processCode & 0xFF), (unsigned)((processCode >> 8) & 0xFF),
              (unsigned)((processCode >> 16) & 0xFF), (processCode & 0x40000000u) ? "needed" : "not needed",
              (processCode & kFailedFlag) ? ", a package failed" : "", result);
    return result;
}
