#include "core/result_codes.h"

#include "core/setup_state.h"

namespace {

const uint32_t kStagedMask = 0x1100u;
const uint32_t kStagedOnly = 0x100u;

// Classic results of DPInst's outcomes come from its code, not from this table.
const int kFromDpinst = -1;

// When the classic profile exits with the outcome's result.
enum ClassicRule {
    WITH_SUPPORT,  // with Support 0x08, else 0
    AT_ONCE_ZERO,  // never: the run ended at once, before its closing steps
    ALWAYS,        // whatever Support holds: the settings were never read
};

struct OutcomeRow {
    const char* name;
    int classic;
    ClassicRule classicRule;
    int msi;
    int msiRestarted;  // the msi code once Windows took a restart
    int endsAtOnce;
    int success;  // the msi code is 0, 3010 or 1641
};

// One row per outcome, in the enumeration's order.
const OutcomeRow kOutcomes[OUTCOME_COUNT] = {
    {"go on", SUCCESS, WITH_SUPPORT, MSI_SUCCESS, MSI_SUCCESS, 0, 1},
    {"installed", kFromDpinst, WITH_SUPPORT, MSI_SUCCESS, MSI_SUCCESS, 0, 1},
    {"staged only", kFromDpinst, WITH_SUPPORT, MSI_SUCCESS, MSI_SUCCESS, 0, 1},
    {"restart needed", kFromDpinst, WITH_SUPPORT, MSI_RESTART_NEEDED, REBOOT_REQUIRED, 0, 1},
    {"a package failed", kFromDpinst, WITH_SUPPORT, ERROR, ERROR, 0, 0},
    {"extracted", SUCCESS, WITH_SUPPORT, MSI_SUCCESS, MSI_SUCCESS, 0, 1},
    {"usage shown", SUCCESS, WITH_SUPPORT, MSI_SUCCESS, MSI_SUCCESS, 0, 1},
    {"second instance", ERROR, WITH_SUPPORT, MSI_ALREADY_RUNNING, MSI_ALREADY_RUNNING, 0, 0},
    {"unsupported Windows", ERROR_INSTALL_PLATFORM_UNSUPPORTED, WITH_SUPPORT, ERROR_INSTALL_PLATFORM_UNSUPPORTED,
     ERROR_INSTALL_PLATFORM_UNSUPPORTED, 0, 0},
    {"files missing", ERROR_INSTALL_PLATFORM_UNSUPPORTED, WITH_SUPPORT, ERROR, ERROR, 0, 0},
    {"wrong DPInst width", ERROR_INSTALL_PLATFORM_UNSUPPORTED, WITH_SUPPORT, ERROR, ERROR, 0, 0},
    {"DPInst not an image", ERROR_INSTALL_PLATFORM_UNSUPPORTED, WITH_SUPPORT, ERROR, ERROR, 0, 0},
    {"INF unreadable", ERROR_INSTALL_PLATFORM_UNSUPPORTED, WITH_SUPPORT, ERROR, ERROR, 0, 0},
    {"no matching device", ERROR_INSTALL_PLATFORM_UNSUPPORTED, WITH_SUPPORT, ERROR_INSTALL_PLATFORM_UNSUPPORTED,
     ERROR_INSTALL_PLATFORM_UNSUPPORTED, 0, 0},
    {"version-DLL mismatch", SUCCESS, AT_ONCE_ZERO, ERROR, ERROR, 1, 0},
    {"installed version unreadable", SUCCESS, AT_ONCE_ZERO, ERROR, ERROR, 1, 0},
    {"versions not comparable", SUCCESS, AT_ONCE_ZERO, ERROR, ERROR, 1, 0},
    {"user said No", SUCCESS, AT_ONCE_ZERO, MSI_USER_EXIT, MSI_USER_EXIT, 1, 0},
    {"same version installed, FORCE false", DEP_SOFT_ERROR, WITH_SUPPORT, MSI_SUCCESS, MSI_SUCCESS, 0, 1},
    {"newer version installed, FORCE false", DEP_SOFT_ERROR, WITH_SUPPORT, MSI_NEWER_INSTALLED, MSI_NEWER_INSTALLED,
     0, 0},
    {"prerequisite installer missing", DEP_SOFT_ERROR, WITH_SUPPORT, ERROR, ERROR, 0, 0},
    {"extraction failed", DEP_SOFT_ERROR, WITH_SUPPORT, ERROR, ERROR, 0, 0},
    {"bad command line", UNKNOWN_OPTION, WITH_SUPPORT, MSI_INVALID_COMMAND_LINE, MSI_INVALID_COMMAND_LINE, 0, 0},
    {"DPInst could not be started", ERROR, WITH_SUPPORT, ERROR, ERROR, 0, 0},
    {"bad start property", MSI_INVALID_COMMAND_LINE, ALWAYS, MSI_INVALID_COMMAND_LINE, MSI_INVALID_COMMAND_LINE, 1,
     0},
};

const OutcomeRow& RowOf(OutcomeKind outcome) { return kOutcomes[outcome < OUTCOME_COUNT ? outcome : OUTCOME_GO_ON]; }

}  // namespace

int MapDpinstReturnCode(uint32_t code, int startResult)
{
    int result = startResult;
    if (code == DPINST_RESTART_ONE_PACKAGE || code == DPINST_RESTART_TWO_PACKAGES)
        result = REBOOT_REQUIRED;
    else if (code == 1 || code == 2)
        result = SUCCESS;
    if ((code & kStagedMask) == kStagedOnly)
        result = DEP_HARD_ERROR;
    else if (code & DPINST_PACKAGE_FAILED)
        result = ERROR;
    return result;
}

OutcomeKind DecodeDpinstCode(uint32_t code)
{
    if (code & (DPINST_PACKAGE_FAILED | DPINST_FAILED_COUNT))
        return OUTCOME_PACKAGE_FAILED;
    if (code & DPINST_RESTART_NEEDED)
        return OUTCOME_RESTART_NEEDED;
    if ((code & DPINST_INSTALLED_COUNT) == 0 && (code & DPINST_COPIED_COUNT))
        return OUTCOME_STAGED_ONLY;
    return OUTCOME_INSTALLED;
}

int OutcomeResult(const RunOutcome* end)
{
    const OutcomeRow& row = RowOf(end->outcome);
    if (row.classic == kFromDpinst)
        return MapDpinstReturnCode(end->dpinstCode, (int)end->dpinstThreadCode);
    return row.classic;
}

int EndsAtOnce(OutcomeKind outcome) { return RowOf(outcome).endsAtOnce; }

int ExitCodeFor(const RunOutcome* end, ExitCodeProfile profile, uint32_t support, int restartStarted)
{
    const OutcomeRow& row = RowOf(end->outcome);
    if (profile == PROFILE_MSI)
        return restartStarted ? row.msiRestarted : row.msi;
    switch (row.classicRule) {
    case ALWAYS:
        return OutcomeResult(end);
    case AT_ONCE_ZERO:
        return 0;
    default:
        return (support & SUPPORT_EXIT_CODE) ? OutcomeResult(end) : 0;
    }
}

int CountsAsSuccess(const RunOutcome* end) { return RowOf(end->outcome).success; }

const char* OutcomeName(OutcomeKind outcome) { return RowOf(outcome).name; }

const char* ProfileName(ExitCodeProfile profile) { return profile == PROFILE_MSI ? "msi" : "classic"; }
