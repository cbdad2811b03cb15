// Setup results and the outcomes a run can end in. Where one fits, a result is
// the Windows Installer error that deployment tools already know how to read.
#ifndef SETUP_CORE_RESULT_CODES_H
#define SETUP_CORE_RESULT_CODES_H

#include <stdint.h>

#include "core/setup_state.h"

// The classic results: the exit code, with Support 0x08, unless DPInst's own
// code passes through.
enum SetupResult {
    SUCCESS = 0,
    DEP_SOFT_ERROR = 3,
    DEP_HARD_ERROR = 4,
    ERROR = 1603,                               // ERROR_INSTALL_FAILURE
    UNKNOWN_OPTION = 1608,                      // ERROR_UNKNOWN_PROPERTY
    ERROR_INSTALL_PLATFORM_UNSUPPORTED = 1633,  // ERROR_INSTALL_PLATFORM_UNSUPPORTED
    REBOOT_REQUIRED = 1641,                     // ERROR_SUCCESS_REBOOT_INITIATED
};

// The Windows Installer codes the msi profile returns beside those above.
enum MsiExitCode {
    MSI_SUCCESS = 0,
    MSI_USER_EXIT = 1602,             // ERROR_INSTALL_USEREXIT
    MSI_ALREADY_RUNNING = 1618,       // ERROR_INSTALL_ALREADY_RUNNING
    MSI_NEWER_INSTALLED = 1638,       // ERROR_PRODUCT_VERSION
    MSI_INVALID_COMMAND_LINE = 1639,  // ERROR_INVALID_COMMAND_LINE
    MSI_RESTART_NEEDED = 3010,        // ERROR_SUCCESS_REBOOT_REQUIRED
};

// DPInst's exit code: a failure flag, a restart flag, then the counts of
// packages that failed (bits 16-23), were only copied (8-15) and installed (0-7).
const uint32_t DPINST_PACKAGE_FAILED = 0x80000000u;
const uint32_t DPINST_RESTART_NEEDED = 0x40000000u;
const uint32_t DPINST_RESTART_ONE_PACKAGE = DPINST_RESTART_NEEDED | 1u;
const uint32_t DPINST_RESTART_TWO_PACKAGES = DPINST_RESTART_NEEDED | 2u;
const uint32_t DPINST_FAILED_COUNT = 0x00FF0000u;
const uint32_t DPINST_COPIED_COUNT = 0x0000FF00u;
const uint32_t DPINST_INSTALLED_COUNT = 0x000000FFu;

// Every way a run ends. OUTCOME_GO_ON is a step's "the run goes on".
enum OutcomeKind {
    OUTCOME_GO_ON,
    // DPInst ran; its code decides which.
    OUTCOME_INSTALLED,
    OUTCOME_STAGED_ONLY,
    OUTCOME_RESTART_NEEDED,
    OUTCOME_PACKAGE_FAILED,
    OUTCOME_EXTRACTED,
    OUTCOME_USAGE_SHOWN,
    // Refusals, by cause.
    OUTCOME_SECOND_INSTANCE,
    OUTCOME_UNSUPPORTED_WINDOWS,
    OUTCOME_FILES_MISSING,
    OUTCOME_WRONG_DPINST_WIDTH,
    OUTCOME_DPINST_NOT_AN_IMAGE,
    OUTCOME_INF_UNREADABLE,
    OUTCOME_NO_MATCHING_DEVICE,
    OUTCOME_VERSION_DLL_MISMATCH,
    OUTCOME_INSTALLED_VERSION_UNREADABLE,
    OUTCOME_VERSIONS_NOT_COMPARABLE,
    OUTCOME_USER_DECLINED,
    OUTCOME_SAME_INSTALLED,
    OUTCOME_NEWER_INSTALLED,
    OUTCOME_PREREQUISITE_MISSING,
    OUTCOME_EXTRACTION_FAILED,
    OUTCOME_BAD_COMMAND_LINE,
    OUTCOME_DPINST_NOT_STARTED,
    OUTCOME_BAD_START_PROPERTY,
    OUTCOME_COUNT
};

// An outcome with what it carries: the failing call's Windows error, and
// DPInst's process and thread exit codes when it ran.
struct RunOutcome {
    OutcomeKind outcome;
    uint32_t windowsError;
    uint32_t dpinstCode;
    uint32_t dpinstThreadCode;
};

inline RunOutcome GoOn() { return RunOutcome{OUTCOME_GO_ON, 0, 0, 0}; }
inline RunOutcome EndWith(OutcomeKind outcome, uint32_t windowsError = 0)
{
    return RunOutcome{outcome, windowsError, 0, 0};
}

// DPInst's code in the classic results: restart, success, staged-only and
// failure rules over startResult; any other code passes through.
int MapDpinstReturnCode(uint32_t code, int startResult);
// Which installed outcome DPInst's code names.
OutcomeKind DecodeDpinstCode(uint32_t code);
// The classic result of an outcome.
int OutcomeResult(const RunOutcome* end);
// 1 for the refusals that end a run before its closing steps (no logs).
int EndsAtOnce(OutcomeKind outcome);
// The process exit code, from the one outcome table. Classic: the result with
// Support 0x08, else 0 (an outcome's own rule may say otherwise). msi: the
// Windows Installer code; restartStarted turns a needed restart into 1641.
int ExitCodeFor(const RunOutcome* end, ExitCodeProfile profile, uint32_t support, int restartStarted);
// 1 when the msi profile reports the outcome as a success (0, 3010 or 1641).
int CountsAsSuccess(const RunOutcome* end);
const char* OutcomeName(OutcomeKind outcome);
const char* ProfileName(ExitCodeProfile profile);

#endif
