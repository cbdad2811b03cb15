#include "driver/overwrite.h"

#include "core/messages.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "driver/inf_queries.h"
#include "driver/installed_version.h"
#include "util/bounded_string.h"

namespace {

// Same version or installed newer: only a Yes goes on.
RunOutcome AskToReplace(ModuleHandle instance, uint32_t textId)
{
    return AskYesNo(instance, textId, IDS_CAPTION, PF_MB_DEFBUTTON2) == PF_IDYES ? GoOn()
                                                                                 : EndWith(OUTCOME_USER_DECLINED);
}

}  // namespace

RunOutcome ShowOverwriteMsg(ModuleHandle instance, const Target* target, const char* packageInfPath)
{
    char installed[PATH_CAPACITY] = "";
    int found = QueryInstalledVersion(&target->OsVersion, packageInfPath, installed);
    if (found == 0) {
        TraceLine("Overwrite question: no installed driver, nothing to ask");
        return GoOn();
    }
    if (found < 0) {
        TraceLine("Overwrite question: an installed version is registered but unreadable");
        return EndWith(OUTCOME_INSTALLED_VERSION_UNREADABLE);
    }

    char package[PATH_CAPACITY] = "";
    if (!loc_QueryInfFilesInf(packageInfPath, package, PATH_CAPACITY)) {
        TraceLine("Overwrite question: the INF's DriverVer cannot be read; the run stops");
        return EndWith(OUTCOME_VERSIONS_NOT_COMPARABLE);
    }
    VersionComparison comparison = loc_CopmareDrvVersion(installed, package);
    int compared = comparison == OLDER_INSTALLED || comparison == SAME_INSTALLED || comparison == NEWER_INSTALLED;
    TraceLine("Overwrite question: installed \"%s\", package \"%s\": %s%s", installed, package,
              ComparisonName(comparison), compared ? "" : "; the run stops");
    switch (comparison) {
    case OLDER_INSTALLED:
        return GoOn();
    case SAME_INSTALLED:
        return AskToReplace(instance, IDS_SAME_VERSION);
    case NEWER_INSTALLED:
        return AskToReplace(instance, IDS_OLDER_VERSION);
    default:
        return EndWith(OUTCOME_VERSIONS_NOT_COMPARABLE);
    }
}

VersionComparison CheckOverwrite(const Target* target, const char* packageInfPath)
{
    char package[PATH_CAPACITY] = "";
    if (!loc_QueryInfFilesInf(packageInfPath, package, PATH_CAPACITY)) {
        TraceLine("Version check: the INF's DriverVer cannot be read");
        return NOT_COMPARED;
    }
    char installed[PATH_CAPACITY] = "";
    int found = QueryInstalledVersion(&target->OsVersion, packageInfPath, installed);
    if (found == 0) {
        TraceLine("Version check: package \"%s\", %s", package, ComparisonName(NOTHING_INSTALLED));
        BoundedCopy(g_State.PackageVersion, PATH_CAPACITY, package);
        return NOTHING_INSTALLED;
    }
    if (found < 0) {
        TraceLine("Version check: an installed version is registered but unreadable");
        return INSTALLED_UNREADABLE;
    }
    VersionComparison comparison = loc_CopmareDrvVersion(installed, package);
    TraceLine("Version check: installed \"%s\", package \"%s\": %s", installed, package, ComparisonName(comparison));
    if (comparison == INSTALLED_UNREADABLE || comparison == NOT_COMPARED)
        return comparison;
    BoundedCopy(g_State.InstalledVersion, PATH_CAPACITY, installed);
    BoundedCopy(g_State.PackageVersion, PATH_CAPACITY, package);
    return comparison;
}
