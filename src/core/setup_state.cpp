#include "core/setup_state.h"

#include <string.h>

SetupState g_State;

void NameSupportBits(uint32_t support, char* out, size_t capacity)
{
    static const char* const kNames[] = {"public properties", "extract all",   "runtime log",
                                         "exit code",         "prerequisites", "tray application"};
    BoundedCopy(out, capacity, "");
    for (uint32_t bit = 0; bit < sizeof(kNames) / sizeof(kNames[0]); ++bit) {
        if (!(support & (1u << bit)))
            continue;
        BoundedAppend(out, capacity, out[0] ? ", " : "");
        BoundedAppend(out, capacity, kNames[bit]);
    }
}

void ClearSetupState() { memset(&g_State, 0, sizeof(g_State)); }

int IsSilentMode() { return PfMbsICmp(g_State.CommandLine, "/q") == 0 || PfMbsICmp(g_State.CommandLine, "/s") == 0; }

int IsWindows8OrLater(const PfOsVersionInfo* os)
{
    uint32_t major = os->dwMajorVersion;
    uint32_t minor = os->dwMinorVersion;
    return os->dwPlatformId == PF_VER_PLATFORM_WIN32_NT &&
           ((major == 6 && minor >= 2) || (major >= 6 && minor >= 3) || major >= 10);
}

int IsWindowsXpOrLater(const PfOsVersionInfo* os)
{
    uint32_t major = os->dwMajorVersion;
    return os->dwPlatformId == PF_VER_PLATFORM_WIN32_NT &&
           ((major == 5 && os->dwMinorVersion >= 1) || major == 6 || IsWindows8OrLater(os));
}
