#include "core/desktop.h"

#include <string.h>

#include "core/setup_state.h"
#include "util/platform.h"

namespace {

uint32_t WindowsMajorVersion()
{
    if (g_State.OsVersion.dwMajorVersion != 0)
        return g_State.OsVersion.dwMajorVersion;
    // The run's first line asks before the sequence reads the version. Read
    // here, so the state (which the logs print) stays as the sequence fills it.
    PfOsVersionInfo os;
    memset(&os, 0, sizeof(os));
    os.dwOSVersionInfoSize = sizeof(os);
    return PfGetVersionEx(&os) ? os.dwMajorVersion : 0;
}

}  // namespace

int IsDesktopHidden()
{
    if (!PfIsDesktopVisible())
        return DESKTOP_HIDDEN_STATION;
    // An interactive service or "psexec -s -i 0" sees WSF_VISIBLE in session 0,
    // but since Windows Vista no person sits there to answer.
    uint32_t session = 0;
    if (!PfProcessIdToSessionId(PfGetCurrentProcessId(), &session) || session != 0)
        return DESKTOP_VISIBLE;
    return WindowsMajorVersion() >= 6 ? DESKTOP_SESSION_ZERO : DESKTOP_VISIBLE;
}

int StartsUnattended() { return IsSilentMode() || IsDesktopHidden(); }
