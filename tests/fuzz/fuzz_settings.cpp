// Any bytes as the package settings file: every reader fills its buffer from
// the file or its default, terminated, and nothing is written past it; the
// package checker's reading of the file as text ends in findings. A file of
// plain ASCII text reads the same when stored as UTF-16 with its mark.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "checker/findings.h"
#include "checker/settings_text.h"
#include "checks/platform_selection.h"
#include "config/custom_request.h"
#include "config/settings_file.h"
#include "sim/sim.h"
#include "util/bounded_string.h"

namespace {

std::string Utf16WithMark(const std::string& text)
{
    std::string wide = "\xFF\xFE";
    for (char c : text)
        wide += std::string(1, c) + '\0';
    return wide;
}

bool PlainAscii(const std::string& text)
{
    for (char c : text)
        if (c <= 0 || c > 0x7E)
            return false;
    return true;
}

std::vector<std::string> Fields(const SettingsRecord& record)
{
    return {record.Path, record.Default, record.Silent, std::to_string(record.Support)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool machineReady = false;
    if (!machineReady) {
        sim::Reset();
        machineReady = true;
    }
    std::string ini((const char*)data, size);
    sim::WriteFile("C:\\Pkg\\Setup.ini", ini);

    SettingsRecord& record = sim::RunTarget().Settings;
    memset(&record, 0x5A, sizeof(record));
    sim::RunTarget().OsVersion.dwPlatformId = PF_VER_PLATFORM_WIN32_NT;
    sim::RunTarget().OsVersion.dwMajorVersion = size % 2 ? 10 : 6;
    sim::RunTarget().OsVersion.dwMinorVersion = size % 3;
    SelectPlatform(sim::CurrentTarget());
    if (strlen(record.Path) >= sizeof(record.Path) || strlen(record.Default) >= sizeof(record.Default) ||
        strlen(record.Silent) >= sizeof(record.Silent))
        abort();
    if (PlainAscii(ini)) {
        SettingsRecord narrow = record;
        memset(&record, 0x5A, sizeof(record));
        sim::WriteFile("C:\\Pkg\\Setup.ini", Utf16WithMark(ini));
        SelectPlatform(sim::CurrentTarget());
        SettingsRecord wide = record;
        record = narrow;
        sim::WriteFile("C:\\Pkg\\Setup.ini", ini);
        if (Fields(wide) != Fields(record))
            abort();
    }

    char small[5];
    ReadSettingString(sim::CurrentTarget(), "OEM1", "CustomRequest", small, sizeof(small), "defaults");
    if (strlen(small) >= sizeof(small))
        abort();
    IsDotNetUnnecessary(sim::CurrentTarget(), size > 0 ? ini.substr(0, data[0] % 9).c_str() : "");

    // A custom request named after the input's first line, sized by its count.
    BoundedCopyN(g_State.CustomRequestSection, 11, ini.c_str() + (size > 1 ? 1 : 0), 10);
    WriteCustomRequestFile(sim::CurrentTarget());
    DeleteCustomRequestFile();
    // The package checker reads the same bytes as text.
    ClearFindings();
    ReadSettingsText("C:\\Pkg\\Setup.ini");
    LintSettingsText();
    sim::Machine().boxes.clear();
    if (!sim::Machine().openHandles.empty())
        abort();  // every file the steps opened is closed
    return 0;
}
