// Starting the tray application with the desktop user's token.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/tray_launch.h"
#include "app/setup_sequence.h"
#include "core/setup_state.h"
#include "sim/sim.h"

namespace {

using Calls = std::vector<std::string>;

const char kProductKey[] = "SOFTWARE\\Vorn\\Glidex";
const char kFallbackStart[] =
    "CreateProcessWithTokenW 1 C:\\Program Files\\Glidex2K\\Glidex.exe | (none) | 32 | C:\\Program Files\\Glidex2K";

// The full, successful chain for a given start call.
Calls FullChain(const std::string& start)
{
    return {"LoadLibraryA C:\\Windows\\system32\\ADVAPI32.dll",
            "GetProcAddress CreateProcessWithTokenW",
            "FindWindowA Shell_TrayWnd",
            "GetWindowThreadProcessId",
            "OpenProcess 0x400 4242",
            "OpenProcessToken 0x2",
            "DuplicateTokenEx 0xF01FF 2 1",
            start,
            "FreeLibrary"};
}

// The start call as traced, or "" when none was made.
std::string LaunchedWith()
{
    for (const std::string& call : sim::Machine().calls)
        if (call.compare(0, 23, "CreateProcessWithTokenW") == 0)
            return call;
    return "";
}

// As the setup sequence leaves it: the registry view depends on the version read.
void ResetWindows10()
{
    sim::Reset();
    g_State.OsVersion.dwOSVersionInfoSize = sizeof(PfOsVersionInfo);
    PfGetVersionEx(&g_State.OsVersion);
}

class TrayLaunch : public ::testing::Test {
protected:
    void SetUp() override { ResetWindows10(); }
};

TEST_F(TrayLaunch, StartsFromHomeDirectoryWithThatWorkingFolder)
{
    sim::SetRegistryString(kProductKey, "HomeDirectory", "C:\\Apps\\Glidex", sim::View::Only64);
    sim::WriteFile("C:\\Apps\\Glidex\\Glidex.exe", "MZ");
    EXPECT_EQ(1, LaunchTrayApplication());
    EXPECT_EQ(FullChain("CreateProcessWithTokenW 1 C:\\Apps\\Glidex\\Glidex.exe | (none) | 32 | C:\\Apps\\Glidex"),
              sim::Machine().calls);
    EXPECT_TRUE(sim::Machine().openHandles.empty());
    EXPECT_TRUE(sim::Machine().boxes.empty());
}

TEST_F(TrayLaunch, PathChoice)
{
    const std::string longFolder = "C:\\" + std::string(250, 'g');
    const struct {
        const char* label;
        std::string home;  // "" for no value
        sim::View view;
        bool programThere;
        const char* start;
    } table[] = {
        {"trailing backslash kept as text", "C:\\Apps\\", sim::View::Only64, true,
         "CreateProcessWithTokenW 1 C:\\Apps\\\\Glidex.exe | (none) | 32 | C:\\Apps\\"},
        // 0xE9 is an e with an acute accent in code page 1252; the trace shows it as "?".
        {"ANSI folder name", "C:\\Caf\xE9", sim::View::Only64, true,
         "CreateProcessWithTokenW 1 C:\\Caf?\\Glidex.exe | (none) | 32 | C:\\Caf?"},
        {"no value", "", sim::View::Only64, false, kFallbackStart},
        {"folder without the program", "C:\\Apps", sim::View::Only64, false, kFallbackStart},
        {"value only in the 32-bit view", "C:\\Apps", sim::View::Only32, true, kFallbackStart},
        {"path too long for its buffer", longFolder, sim::View::Only64, false, kFallbackStart},
        {"relative folder, there from the current folder", "Apps", sim::View::Only64, true, kFallbackStart},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.label);
        ResetWindows10();
        if (!row.home.empty())
            sim::SetRegistryString(kProductKey, "HomeDirectory", row.home, row.view);
        if (row.programThere)
            sim::WriteFile(row.home + "\\Glidex.exe", "MZ");
        LaunchTrayApplication();
        EXPECT_EQ(row.start, LaunchedWith());
    }
}

TEST_F(TrayLaunch, EveryFailingStepReleasesWhatWasTaken)
{
    const Calls all = FullChain(kFallbackStart);
    const struct {
        const char* failing;
        size_t callsMade;  // how far the chain got, then only the release calls
    } table[] = {
        {"LoadLibraryA", 1},     {"FindWindowA", 3},      {"GetWindowThreadProcessId", 4}, {"OpenProcess", 5},
        {"OpenProcessToken", 6}, {"DuplicateTokenEx", 7}, {"CreateProcessWithTokenW", 8},  // also what a missing
                                                                                           // program at the fallback
                                                                                           // path gives
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.failing);
        sim::Reset();
        sim::WriteFile("C:\\Program Files\\Glidex2K\\Glidex.exe", "MZ");
        sim::Machine().failingCalls = {row.failing};
        EXPECT_EQ(0, LaunchTrayApplication());
        Calls expected(all.begin(), all.begin() + row.callsMade);
        if (row.callsMade > 1)
            expected.push_back("FreeLibrary");
        EXPECT_EQ(expected, sim::Machine().calls);
        EXPECT_TRUE(sim::Machine().openHandles.empty());
        EXPECT_TRUE(sim::Machine().boxes.empty());
    }
}

TEST_F(TrayLaunch, MissingStartCallStartsNothing)
{
    sim::Machine().hasCreateProcessWithToken = false;
    EXPECT_EQ(0, LaunchTrayApplication());
    EXPECT_EQ((Calls{"LoadLibraryA C:\\Windows\\system32\\ADVAPI32.dll", "GetProcAddress CreateProcessWithTokenW",
                     "FreeLibrary"}),
              sim::Machine().calls);
    EXPECT_TRUE(sim::Machine().openHandles.empty());
}

TEST_F(TrayLaunch, LibrariesLoadOnlyByFullPath)
{
    ModuleHandle library = LoadSystemLibrary(1, "D:\\Libs", "x.dll");
    EXPECT_NE(nullptr, library);
    PfFreeLibrary(library);
    EXPECT_EQ(nullptr, LoadSystemLibrary(2, "D:\\Libs", "x.dll"));
    EXPECT_EQ(nullptr, LoadSystemLibrary(1, "", "x.dll"));
    EXPECT_EQ(nullptr, LoadSystemLibrary(1, ("D:\\" + std::string(250, 'l')).c_str(), "ADVAPI32.dll"));
    sim::Machine().systemDirectory = "C:\\" + std::string(300, 's');
    EXPECT_EQ(nullptr, LoadSystemLibrary(0, 0, "ADVAPI32.dll"));
    EXPECT_EQ((Calls{"LoadLibraryA D:\\Libs\\x.dll", "FreeLibrary"}), sim::Machine().calls);
}

// Whole runs: the launch comes last, whatever the result.
class TrayLaunchInRuns : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        sim::WriteFile("C:\\Pkg\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::WriteFile("C:\\Pkg\\Vi64\\Driver.inf", "[Version]\r\n");
        sim::Machine().programs["C:\\Pkg\\Vi64\\DPInst.exe"].exitCode = 1;
    }
    void Support(int bits)
    {
        sim::WriteFile("C:\\Pkg\\Setup.ini",
                       "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=" + std::to_string(bits) + "\r\n");
    }
};

TEST_F(TrayLaunchInRuns, LaunchFollowsEveryEndingWithTheBit)
{
    const struct {
        const char* label;
        const char* arguments;
        bool dpinstFails;
        int support;
        bool launched;
    } table[] = {
        {"silent install", "/s", false, SUPPORT_LAUNCH_APP, true},
        {"usage screen", "/?", false, SUPPORT_LAUNCH_APP, true},
        {"DPInst cannot start", "/s", true, SUPPORT_LAUNCH_APP | SUPPORT_EXIT_CODE, true},
        {"bit not set", "/s", false, SUPPORT_EXIT_CODE, false},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.label);
        SetUp();
        Support(row.support);
        sim::Machine().programs["C:\\Pkg\\Vi64\\DPInst.exe"].startFails = row.dpinstFails;
        int exitCode = RunSetup(0, row.arguments);
        EXPECT_EQ(row.launched ? kFallbackStart : "", LaunchedWith());
        if (row.dpinstFails) {
            EXPECT_EQ(1603, exitCode);  // the failed launch changes nothing
        }
    }
}

}  // namespace
