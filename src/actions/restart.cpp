#include "actions/restart.h"

#include "core/message_box.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "util/platform.h"

namespace {

// Enables the shutdown privilege in the process's own token. 1 when Windows
// says every requested privilege was enabled.
int EnableShutdownPrivilege()
{
    PfHandle token = 0;
    PfOpenOwnProcessToken(PF_TOKEN_ADJUST_PRIVILEGES | PF_TOKEN_QUERY, &token);
    uint64_t luid = 0;
    PfLookupPrivilegeValue("SeShutdownPrivilege", &luid);
    // AdjustTokenPrivileges can succeed without enabling anything; only the
    // last error tells, so it is read before anything else can change it. A
    // token that could not be opened makes the call fail, which is told the same way.
    PfAdjustTokenPrivilege(token, luid, PF_SE_PRIVILEGE_ENABLED);
    int enabled = PfGetLastError() == PF_ERROR_SUCCESS;
    if (token)
        PfCloseHandle(token);
    return enabled;
}

}  // namespace

int RestartRequested(int result) { return g_State.ForceRestart == 1 && result == REBOOT_REQUIRED; }

int RestartWindows(int result)
{
    if (!RestartRequested(result)) {
        TraceLine("Restart: none (%s)",
                  g_State.ForceRestart != 1 ? "FORCERESTART is not true" : "the result is not 1641");
        return 0;
    }
    if (!EnableShutdownPrivilege())
        ShowBox("AdjustTokenPrivileges enable failed", "Error", PF_MB_OK);
    // Asked for all the same: Windows refuses it without the privilege, and
    // the caller has nothing more to report then.
    // A planned installation restart: reason 0 logs an unexpected shutdown.
    int started = PfExitWindowsEx(PF_EWX_REBOOT, PF_SHTDN_REASON_FLAG_PLANNED | PF_SHTDN_REASON_MAJOR_APPLICATION |
                                                     PF_SHTDN_REASON_MINOR_INSTALLATION);
    TraceLine("Restart: ExitWindowsEx(EWX_REBOOT) %s", started ? "started the restart" : "was refused");
    return started ? 1 : 0;
}
