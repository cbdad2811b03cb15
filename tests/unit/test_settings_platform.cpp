// The settings file beside the program and the platform section it chooses.
#include <gtest/gtest.h>

#include <string.h>

#include "checks/platform_selection.h"
#include "config/settings_file.h"
#include "core/messages.h"
#include "core/setup_state.h"
#include "refusal.h"
#include "sim/sim.h"

namespace {

class SettingsAndPlatform : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        memset(&record, 0, sizeof(record));
    }
    void Windows(uint32_t major, uint32_t minor, bool is64, uint32_t platformId = PF_VER_PLATFORM_WIN32_NT)
    {
        sim::RunTarget().OsVersion.dwMajorVersion = major;
        sim::RunTarget().OsVersion.dwMinorVersion = minor;
        sim::RunTarget().OsVersion.dwPlatformId = platformId;
        sim::Machine().is64Bit = is64;
    }
    void Ini(const std::string& text) { sim::WriteFile("C:\\Pkg\\Setup.ini", text); }
    SettingsRecord& record = sim::RunTarget().Settings;
};

const char kPackageIni[] = "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=63\r\n"
                           "[W832]\r\nPath=\\Vi32\\DPInst.exe\r\nSupport=63\r\n"
                           "[W764]\r\nPath=\\W7\\DPInst.exe\r\n"
                           "[Vi64]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=12\r\nSilent=\" /q\"\r\n"
                           "[Vi32]\r\nPath=\\Vi32\\DPInst.exe\r\nSupport=4\r\n"
                           "[XP64]\r\nPath=\\XP64\\DPInst.exe\r\n[XP32]\r\nPath=\\XP32\\DPInst.exe\r\n";

TEST_F(SettingsAndPlatform, NoSettingsFileGivesTheDefaults)
{
    Windows(10, 0, true);
    ASSERT_EQ(OUTCOME_GO_ON, SelectPlatform(sim::CurrentTarget()).outcome);
    EXPECT_STREQ(".\\DPInst.exe", record.Path);
    EXPECT_STREQ(" /f", record.Default);
    EXPECT_STREQ(" /f /sw /se", record.Silent);
    EXPECT_EQ(0u, record.Support);
    EXPECT_TRUE(sim::Machine().boxes.empty());
}

TEST_F(SettingsAndPlatform, LongValuesAreCutToTheirFields)
{
    Ini("[W864]\nPath=\\" + std::string(299, 'p') + "\nDefault=" + std::string(70, 'd') + "\n");
    LoadPlatformSettings(sim::CurrentTarget(), "W864", &record);
    EXPECT_EQ(259u, strlen(record.Path));
    EXPECT_EQ(63u, strlen(record.Default));
}

TEST_F(SettingsAndPlatform, GarbageFileGivesDefaults)
{
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += (char)((i * 7919 + 13) % 251);
    Ini(garbage);
    EXPECT_EQ(0u, LoadPlatformSettings(sim::CurrentTarget(), "W864", &record));
    EXPECT_STREQ(".\\DPInst.exe", record.Path);
}

// As under Wine: a file with the UTF-16 mark reads as its text.
TEST_F(SettingsAndPlatform, Utf16FileWithItsMarkReadsAsText)
{
    std::string wide = "\xFF\xFE";
    for (char c : std::string("[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=12\r\n"))
        wide += std::string(1, c) + '\0';
    Ini(wide);
    EXPECT_EQ(12u, LoadPlatformSettings(sim::CurrentTarget(), "W864", &record));
    EXPECT_STREQ("\\Vi64\\DPInst.exe", record.Path);
}

TEST_F(SettingsAndPlatform, SettingsFileIsNamedAfterTheProgram)
{
    sim::Machine().modulePath = "C:\\Pkg\\Install.exe";
    sim::WriteFile("C:\\Pkg\\Install.ini", "[Vi32]\nSupport=5\n");
    Ini("[Vi32]\nSupport=9\n");
    EXPECT_EQ(5u, LoadPlatformSettings(sim::CurrentTarget(), "Vi32", &record));
}

TEST_F(SettingsAndPlatform, PlatformRowsPickTheirSections)
{
    Ini(kPackageIni);
    const struct {
        uint32_t major, minor;
        bool is64;
        const char* path;
    } rows[] = {
        {10, 0, true, "\\Vi64\\DPInst.exe"}, {6, 3, false, "\\Vi32\\DPInst.exe"}, {6, 2, true, "\\Vi64\\DPInst.exe"},
        {6, 1, true, "\\W7\\DPInst.exe"},    {6, 0, false, "\\Vi32\\DPInst.exe"}, {5, 2, true, "\\XP64\\DPInst.exe"},
        {5, 1, false, "\\XP32\\DPInst.exe"},
    };
    for (const auto& row : rows) {
        Windows(row.major, row.minor, row.is64);
        ASSERT_EQ(OUTCOME_GO_ON, SelectPlatform(sim::CurrentTarget()).outcome) << row.major << "." << row.minor;
        EXPECT_STREQ(row.path, record.Path) << row.major << "." << row.minor;
    }
    Windows(10, 0, true);
    SelectPlatform(sim::CurrentTarget());
    EXPECT_EQ(63u, record.Support);
}

TEST_F(SettingsAndPlatform, UnsupportedWindowsShowsMessageAndLoadsNothing)
{
    Ini(kPackageIni);
    const struct {
        uint32_t major, minor, platform;
    } refused[] = {{5, 0, 2}, {4, 10, 1}, {7, 0, 2}, {9, 2, 2}, {10, 0, 1}};
    for (const auto& os : refused) {
        sim::Machine().boxes.clear();
        Windows(os.major, os.minor, false, os.platform);
        EXPECT_EQ(0, GoesOnOrShows(SelectPlatform(sim::CurrentTarget())));
        ASSERT_EQ(1u, sim::Machine().boxes.size());
        EXPECT_EQ(sim::EnglishText(IDS_UNSUPPORTED_OS), sim::Machine().boxes[0].text);
        EXPECT_EQ(0u, record.Support);
    }
    Windows(7, 3, true);
    EXPECT_EQ(OUTCOME_GO_ON, SelectPlatform(sim::CurrentTarget()).outcome);  // 7.3 counts as Windows 8 or later
}

TEST_F(SettingsAndPlatform, Windows8FallsBackWhollyToTheVistaSection)
{
    Ini("[Vi64]\nPath=\\Vi64\\DPInst.exe\nSupport=12\nSilent=\" /q\"\n[W832]\nPath=..\\DPInst.exe\n"
        "[Vi32]\nPath=\\Vi32\\DPInst.exe\nSupport=4\n");
    Windows(6, 3, true);
    SelectPlatform(sim::CurrentTarget());
    EXPECT_STREQ("\\Vi64\\DPInst.exe", record.Path);
    EXPECT_EQ(12u, record.Support);
    EXPECT_STREQ(" /q", record.Silent);
    Windows(10, 0, false);
    SelectPlatform(sim::CurrentTarget());  // "..\DPInst.exe" holds ".\DPInst.exe" too
    EXPECT_STREQ("\\Vi32\\DPInst.exe", record.Path);
}

TEST_F(SettingsAndPlatform, Windows7KeepsDefaultsWithoutItsSection)
{
    Ini("[Vi64]\nPath=\\Vi64\\DPInst.exe\nSupport=12\n");
    Windows(6, 1, true);
    SelectPlatform(sim::CurrentTarget());
    EXPECT_STREQ(".\\DPInst.exe", record.Path);
    EXPECT_EQ(0u, record.Support);
}

TEST_F(SettingsAndPlatform, SixtyFourBitTestFollowsTheWow64Directory)
{
    EXPECT_EQ(1, Is64BitWindows());
    sim::Machine().is64Bit = false;  // the call fails with 120
    EXPECT_EQ(0, Is64BitWindows());
    sim::Machine().hasWow64DirectoryFunction = false;
    EXPECT_EQ(0, Is64BitWindows());
}

TEST_F(SettingsAndPlatform, UnnecessaryIdIsASubstringSearch)
{
    Ini("[DotNET_Option]\nUnnecessary_ID=ABC0001,ABC00022\n");
    EXPECT_EQ(1, IsDotNetUnnecessary(sim::CurrentTarget(), "ABC0002"));
    EXPECT_EQ(1, IsDotNetUnnecessary(sim::CurrentTarget(), "ABC0001"));
    EXPECT_EQ(0, IsDotNetUnnecessary(sim::CurrentTarget(), "XYZ0017"));
    EXPECT_EQ(1, IsDotNetUnnecessary(sim::CurrentTarget(), ""));
}

}  // namespace
