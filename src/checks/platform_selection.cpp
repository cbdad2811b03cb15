#include "checks/platform_selection.h"

#include <string.h>

#include "config/settings_file.h"
#include "core/step_trace.h"

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

int g_AssumedWidth;  // 0: ask Windows
const char* g_LoadedSection = "";

}  // namespace

void AssumeWindowsWidth(int bits) { g_AssumedWidth = bits; }

const char* SelectedPlatformSection() { return g_LoadedSection; }

int Is64BitWindows()
{
    if (g_AssumedWidth)
        return g_AssumedWidth == 64 ? 1 : 0;
    ModuleHandle kernel = PfGetModuleHandle("kernel32.dll");
    if (!kernel)
        return 0;
    PfProc getWow64Directory = PfGetProcAddress(kernel, "GetSystemWow64DirectoryW");
    if (!getWow64Directory)
        return 0;
    uint16_t folder[PATH_CAPACITY];
    if (PfCallGetSystemWow64DirectoryW(getWow64Directory, folder, PATH_CAPACITY) != 0)
        return 1;
    return PfGetLastError() == PF_ERROR_CALL_NOT_IMPLEMENTED ? 0 : 1;
}

RunOutcome SelectPlatform(SettingsRecord* record)
{
    static const PlatformRow kRows[] = {
        {"W864", "W832"},
        {"W764", "W732"},
        {"Vi64", "Vi32"},
        {"XP64", "XP32"},
    };
    static const PlatformRow kVistaFallback = {"Vi64", "Vi32"};

    int row = PlatformRowFor(&g_State.OsVersion);
    if (row < 0) {
        TraceLine("Platform: this Windows is not supported");
        return EndWith(OUTCOME_UNSUPPORTED_WINDOWS);
    }
    int wide = Is64BitWindows();
    g_LoadedSection = wide ? kRows[row].section64 : kRows[row].section32;
    LoadPlatformSettings(g_LoadedSection, record);
    // Windows 8 and later fall back to the Vista section when theirs names no DPInst.
    if (row == 0 && strstr(record->Path, ".\\DPInst.exe")) {
        TraceLine("Platform: section [%s] names no DPInst; the Vista section is used", g_LoadedSection);
        g_LoadedSection = wide ? kVistaFallback.section64 : kVistaFallback.section32;
        LoadPlatformSettings(g_LoadedSection, record);
    }
    char file[PATH_CAPACITY];
    GetSettingsFilePath(file, PATH_CAPACITY);
    TraceLine("Platform: %s Windows, section [%s] of %s", wide ? "64-bit" : "32-bit", g_LoadedSection, file);
    return GoOn();
}
