#include "core/desktop.h"

#include "core/setup_state.h"
#include "util/platform.h"

int IsDesktopHidden(const PfOsVersionInfo* os)
{
    if (!PfIsDesktopVisible())
        return DESKTOP_HIDDEN_STATION;
    // An interactive service or "psexec -s -i 0" sees WSF_VISIBLE in session 0,
    // but since Windows Vista no person sits there to answer.
    uint32_t session = 0;
    if (!PfProcessIdToSessionId(PfGetCurrentProcessId(), &session) || session != 0)
        return DESKTOP_VISIBLE;
    return os->dwMajorVersion >= 6 ? DESKTOP_SESSION_ZERO : DESKTOP_VISIBLE;
}

int StartsUnattended() { return IsSilentMode() || g_State.DesktopHidden; }
