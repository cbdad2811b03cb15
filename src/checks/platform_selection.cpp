#include "checks/platform_selection.h"

#include <string.h>

#include "config/settings_file.h"
#include "core/step_trace.h"
#include "util/bounded_string.h"

namespace {

struct PlatformRow {
    const char* section64;
    const char* section32;
};

// Rows 1 to 4 of the platform table; -1 for a Windows that is not supported.
int PlatformRowFor(const PfOsVersionInfo* os)
{
    uint32_t major = os->dwMajorVersion;
    uint32_t minor = os->dwMinorVersion;
    if (os->dwPlatformId != PF_VER_PLATFORM_WIN32_NT)
        return -1;
    if (IsWindows8OrLater(os))
        return 0;
    if (major == 6 && minor == 1)
        return 1;
    if (major == 6 && minor == 0)
        return 2;
    if (major == 5 && minor >= 1)
        return 3;
    return -1;
}

}  // namespace

RunOutcome SelectPlatform(Target* target)
{
    static const PlatformRow kRows[] = {
        {"W864", "W832"},
        {"W764", "W732"},
        {"Vi64", "Vi32"},
        {"XP64", "XP32"},
    };
    static const PlatformRow kVistaFallback = {"Vi64", "Vi32"};

    SettingsRecord* record = &target->Settings;
    record->Size = sizeof(SettingsRecord);
    int row = PlatformRowFor(&target->OsVersion);
    if (row < 0) {
        TraceLine("Platform: this Windows is not supported");
        return EndWith(OUTCOME_UNSUPPORTED_WINDOWS);
    }
    int wide = target->Wide;
    BoundedCopy(target->Section, sizeof(target->Section), wide ? kRows[row].section64 : kRows[row].section32);
    LoadPlatformSettings(target, target->Section, record);
    // Windows 8 and later fall back to the Vista section when theirs names no DPInst.
    if (row == 0 && strstr(record->Path, DEFAULT_DPINST_PATH)) {
        TraceLine("Platform: section [%s] names no DPInst; the Vista section is used", target->Section);
        BoundedCopy(target->Section, sizeof(target->Section),
                    wide ? kVistaFallback.section64 : kVistaFallback.section32);
        LoadPlatformSettings(target, target->Section, record);
    }
    char file[PATH_CAPACITY];
    GetSettingsFilePath(target, file, PATH_CAPACITY);
    TraceLine("Platform: %s Windows, section [%s] of %s", wide ? "64-bit" : "32-bit", target->Section, file);
    return GoOn();
}
