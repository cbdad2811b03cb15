#include "driver/overwrite.h"

#include "core/messages.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "driver/inf_queries.h"
#include "driver/installed_version.h"
#include "util/bounded_string.h"

namespace {

const char* ComparisonName(int outcome)
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
Outcome AskToReplace(ModuleHandle instance, uint32_t textId)
{
    return AskYesNo(instance, textId, IDS_CAPTION, PF_MB_DEFBUTTON2) == PF_IDYES ? OUTCOME_GO_ON
                                                                                 : OUTCOME_USER_DECLINED;
}

}  // namespace

Outcome ShowOverwriteMsg(ModuleHandle instance, const char* packageInfPath)
{
    char installed[PATH_CAPACITY] = "";
    int found = QueryInstalledVersion(packageInfPath, installed);
    if (found == 0) {
        TraceLine("Overwrite question: no installed driver, nothing to ask");
        return OUTCOME_GO_ON;
    }
    if (found < 0) {
        TraceLine("Overwrite question: an installed version is registered but unreadable");
        return OUTCOME_INSTALLED_VERSION_UNREADABLE;
    }

    char package[PATH_CAPACITY] = "";
    if (!loc_QueryInfFilesInf(packageInfPath, package, PATH_CAPACITY)) {
        TraceLine("Overwrite question: the INF's DriverVer cannot be read; the run stops");
        return OUTCOME_VERSIONS_NOT_COMPARABLE;
    }
    int outcome = loc_CopmareDrvVersion(installed, package);
    TraceLine("Overwrite question: installed \"%s\", package \"%s\": %s%s", installed, package,
              ComparisonName(outcome), outcome < 0 ? "; the run stops" : "");
    switch (outcome) {
    case OLDER_INSTALLED:
        return OUTCOME_GO_ON;
    case SAME_INSTALLED:
        return AskToReplace(instance, IDS_SAME_VERSION);
    case NEWER_INSTALLED:
        return AskToReplace(instance, IDS_OLDER_VERSION);
    default:
        return OUTCOME_VERSIONS_NOT_COMPARABLE;
    }
}

int CheckOverwrite(const char* packageInfPath)
{
    char package[PATH_CAPACITY] = "";
    if (!loc_QueryInfFilesInf(packageInfPath, package, PATH_CAPACITY)) {
        TraceLine("Version check: the INF's DriverVer cannot be read");
        return NOT_COMPARED;
    }
    char installed[PATH_CAPACITY] = "";
    int found = QueryInstalledVersion(packageInfPath, installed);
    if (found == 0) {
        TraceLine("Version check: package \"%s\", %s", package, ComparisonName(NOTHING_INSTALLED));
        BoundedCopy(g_State.PackageVersion, PATH_CAPACITY, package);
        return NOTHING_INSTALLED;
    }
    if (found < 0) {
        TraceLine("Version check: an installed version is registered but unreadable");
        return NOT_COMPARED;
    }
    int outcome = loc_CopmareDrvVersion(installed, package);
    TraceLine("Version check: installed \"%s\", package \"%s\": %s", installed, package, ComparisonName(outcome));
    if (outcome < 0)
        return NOT_COMPARED;
    BoundedCopy(g_State.InstalledVersion, PATH_CAPACITY, installed);
    BoundedCopy(g_State.PackageVersion, PATH_CAPACITY, package);
    return outcome;
}
