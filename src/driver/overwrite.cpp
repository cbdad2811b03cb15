#include "driver/overwrite.h"

#include "core/message_box.h"
#include "core/messages.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "driver/inf_queries.h"
#include "driver/installed_version.h"
#include "util/bounded_string.h"

namespace {

const char kUnreadableText[] = "Failed to get current Veltaro Touch Pad driver version";
const char kUnreadableCaption[] = "WARNING";

const char* OutcomeName(int outcome)
{
    switch (outcome) {
    case NOTHING_INSTALLED:
        return "nothing installed";
    case OLDER_INSTALLED:
        return "installed is older";
    case SAME_INSTALLED:
        return "same version";
    case NEWER_INSTALLED:
        return "installed is newer";
    default:
        return "not comparable";
    }
}

// Same version or installed newer: only a Yes goes on.
int AskToReplace(ModuleHandle instance, uint32_t textId)
{
    return AskYesNo(instance, textId, IDS_CAPTION, PF_MB_DEFBUTTON2) == PF_IDYES ? 1 : 0;
}

}  // namespace

int ShowOverwriteMsg(ModuleHandle instance, const char* packageInfPath)
{
    char installed[PATH_CAPACITY] = "";
    int found = QueryInstalledVersion(packageInfPath, installed);
    if (found == 0) {
        TraceLine("Overwrite question: no installed driver, nothing to ask");
        return 1;
    }
    if (found < 0) {
        TraceLine("Overwrite question: an installed version is registered but unreadable");
        // A fixed English box, not from the string table.
        ShowBox(kUnreadableText, kUnreadableCaption, PF_MB_OK | PF_MB_ICONINFORMATION);
        return 0;
    }

    char package[PATH_CAPACITY] = "";
    if (!loc_QueryInfFilesInf(packageInfPath, package, PATH_CAPACITY)) {
        TraceLine("Overwrite question: the INF's DriverVer cannot be read; the run stops");
        return 0;
    }
    int outcome = loc_CopmareDrvVersion(installed, package);
    TraceLine("Overwrite question: installed \"%s\", package \"%s\": %s%s", installed, package, OutcomeName(outcome),
              outcome < 0 ? "; the run stops" : "");
    switch (outcome) {
    case OLDER_INSTALLED:
        return 1;
    case SAME_INSTALLED:
        return AskToReplace(instance, IDS_SAME_VERSION);
    case NEWER_INSTALLED:
        return AskToReplace(instance, IDS_OLDER_VERSION);
    default:
        return 0;
    }
}

int CheckOverwrite(const char* packageInfPath, int* comparison)
{
    char package[PATH_CAPACITY] = "";
    if (!loc_QueryInfFilesInf(packageInfPath, package, PATH_CAPACITY)) {
        TraceLine("Version check: the INF's DriverVer cannot be read");
        return 0;
    }
    char installed[PATH_CAPACITY] = "";
    int found = QueryInstalledVersion(packageInfPath, installed);
    if (found == 0) {
        TraceLine("Version check: package \"%s\", %s", package, OutcomeName(NOTHING_INSTALLED));
        *comparison = NOTHING_INSTALLED;
        BoundedCopy(g_State.PackageVersion, PATH_CAPACITY, package);
        return 1;
    }
    if (found < 0) {
        TraceLine("Version check: an installed version is registered but unreadable");
        return 0;
    }
    int outcome = loc_CopmareDrvVersion(installed, package);
    TraceLine("Version check: installed \"%s\", package \"%s\": %s", installed, package, OutcomeName(outcome));
    if (outcome < 0)
        return 0;
    BoundedCopy(g_State.InstalledVersion, PATH_CAPACITY, installed);
    BoundedCopy(g_State.PackageVersion, PATH_CAPACITY, package);
    *comparison = outcome;
    return 1;
}
