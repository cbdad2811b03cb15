#include "core/result_codes.h"

#include "core/setup_state.h"

namespace {

const uint32_t kRebootOnePackage = 0x40000001u;
const uint32_t kRebootTwoPackages = 0x40000002u;
const uint32_t kStagedMask = 0x1100u;
const uint32_t kStagedOnly = 0x100u;
const uint32_t kFailedFlag = 0x80000000u;
const uint32_t kRestartFlag = 0x40000000u;

// Classic results of DPInst's outcomes come from its code, not from this table.
const int kFromDpinst = -1;

struct OutcomeRow {
    const char* name;
    int classic;
    int msi;
    int endsAtOnce;
};

// One row per outcome, in the enumeration's order.
const OutcomeRow kOutcomes[OUTCOME_COUNT] = {
    {"go on", SUCCESS, MSI_SUCCESS, 0},
    {"installed", kFromDpinst, MSI_SUCCESS, 0},
    {"staged only", kFromDpinst, MSI_SUCCESS, 0},
    {"restart needed", kFromDpinst, MSI_RESTART_NEEDED, 0},
    {"a package failed", kFromDpinst, ERROR, 0},
    {"extracted", SUCCESS, MSI_SUCCESS, 0},
    {"usage shown", SUCCESS, MSI_SUCCESS, 0},
    {"second instance", ERROR, MSI_ALREADY_RUNNING, 0},
    {"unsupported Windows", ERROR_INSTALL_PLATFORM_UNSUPPORTED, ERROR_INSTALL_PLATFORM_UNSUPPORTED, 0},
    {"files missing", ERROR_INSTALL_PLATFORM_UNSUPPORTED, ERROR, 0},
    {"wrong DPInst width", ERROR_INSTALL_PLATFORM_UNSUPPORTED, ERROR, 0},
    {"DPInst not an image", ERROR_INSTALL_PLATFORM_UNSUPPORTED, ERROR, 0},
    {"INF unreadable", ERROR_INSTALL_PLATFORM_UNSUPPORTED, ERROR, 0},
    {"no matching device", ERROR_INSTALL_PLATFORM_UNSUPPORTED, ERROR_INSTALL_PLATFORM_UNSUPPORTED, 0},
    {"version-DLL mismatch", SUCCESS, ERROR, 1},
    {"installed version unreadable", SUCCESS, ERROR, 1},
    {"versions not comparable", SUCCESS, ERROR, 1},
    {"user said No", SUCCESS, MSI_USER_EXIT, 1},
    {"same version installed, FORCE false", DEP_SOFT_ERROR, MSI_SUCCESS, 0},
    {"newer version installed, FORCE false", DEP_SOFT_ERROR, MSI_NEWER_INSTALLED, 0},
    {"prerequisite installer missing", DEP_SOFT_ERROR, ERROR, 0},
    {"extraction failed", DEP_SOFT_ERROR, ERROR, 0},
    {"bad command line", UNKNOWN_OPTION, MSI_INVALID_COMMAND_LINE, 0},
    {"DPInst could not be started", ERROR, ERROR, 0},
    {"bad start property", MSI_INVALID_COMMAND_LINE, MSI_INVALID_COMMAND_LINE, 1},
};

const OutcomeRow& RowOf(Outcome outcome) { return kOutcomes[outcome < OUTCOME_COUNT ? outcome : OUTCOME_GO_ON]; }

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

Outcome DecodeDpinstCode(uint32_t code)
{
    // The code's layout: failure flag, restart flag, then failed, copied and installed counts.
    if ((code & kFailedFlag) || ((code >> 16) & 0xFF))
        return OUTCOME_PACKAGE_FAILED;
    if (code & kRestartFlag)
        return OUTCOME_RESTART_NEEDED;
    if ((code & 0xFF) == 0 && ((code >> 8) & 0xFF))
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

int EndsAtOnce(Outcome outcome) { return RowOf(outcome).endsAtOnce; }

int ExitCodeFor(const RunOutcome* end, int profile, uint32_t support, int restartStarted)
{
    if (profile == PROFILE_MSI) {
        if (end->outcome == OUTCOME_RESTART_NEEDED && restartStarted)
            return REBOOT_REQUIRED;
        return RowOf(end->outcome).msi;
    }
    if (end->outcome == OUTCOME_BAD_START_PROPERTY)
        return MSI_INVALID_COMMAND_LINE;
    if (EndsAtOnce(end->outcome))
        return 0;
    return (support & SUPPORT_EXIT_CODE) ? OutcomeResult(end) : 0;
}

int CountsAsSuccess(const RunOutcome* end)
{
    int msi = RowOf(end->outcome).msi;
    return msi == MSI_SUCCESS || msi == MSI_RESTART_NEEDED || msi == REBOOT_REQUIRED;
}

const char* OutcomeName(Outcome outcome) { return RowOf(outcome).name; }

const char* ProfileName(int profile) { return profile == PROFILE_MSI ? "msi" : "classic"; }
