// Starting the tray application with the desktop user's token.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "actions/tray_launch.h"
#include "app/setup_sequence.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "core/trace_file.h"
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

const char kConsoleFallbackStart[] =
    "CreateProcessAsUserW C:\\Program Files\\Glidex2K\\Glidex.exe | (none) | 0x420 | "
    "C:\\Program Files\\Glidex2K | winsta0\\default";

// The console user's chain for a given start call, on a run nobody sees.
Calls ConsoleChain(const std::string& start)
{
    return {"WTSGetActiveConsoleSessionId",
            "LoadLibraryA C:\\Windows\\system32\\WTSAPI32.dll",
            "LoadLibraryA C:\\Windows\\system32\\USERENV.dll",
            "LoadLibraryA C:\\Windows\\system32\\ADVAPI32.dll",
            "GetProcAddress WTSQueryUserToken",
            "GetProcAddress CreateEnvironmentBlock",
            "GetProcAddress DestroyEnvironmentBlock",
            "GetProcAddress CreateProcessAsUserW",
            "WTSQueryUserToken 1",
            "CreateEnvironmentBlock 0",
            start,
            "DestroyEnvironmentBlock",
            "FreeLibrary",
            "FreeLibrary",
            "FreeLibrary"};
}

// The start call as traced, or "" when none was made.
std::string LaunchedWith()
{
    for (const std::string& call : sim::Machine().calls)
        if (call.compare(0, 23, "CreateProcessWithTokenW") == 0 || call.compare(0, 20, "CreateProcessAsUserW") == 0)
            return call;
    return "";
}

// As the setup sequence leaves it: the registry view depends on the version read.
void ResetWindows10()
{
    sim::Reset();
    sim::RunTarget().OsVersion.dwOSVersionInfoSize = sizeof(PfOsVersionInfo);
    PfGetVersionEx(&sim::RunTarget().OsVersion);
}

class TrayLaunch : public ::testing::Test {
protected:
    void SetUp() override { ResetWindows10(); }
};

TEST_F(TrayLaunch, StartsFromHomeDirectoryWithThatWorkingFolder)
{
    sim::SetRegistryString(kProductKey, "HomeDirectory", "C:\\Apps\\Glidex", sim::View::Only64);
    sim::WriteFile("C:\\Apps\\Glidex\\Glidex.exe", "MZ");
    EXPECT_EQ(1, LaunchTrayApplication(sim::CurrentTarget()));
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
        LaunchTrayApplication(sim::CurrentTarget());
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
        EXPECT_EQ(0, LaunchTrayApplication(sim::CurrentTarget()));
        Calls expected(all.begin(), all.begin() + row.callsMade);
        if (row.callsMade > 1)
            expected.push_back("FreeLibrary");
        EXPECT_EQ(expected, sim::Machine().calls);
        EXPECT_TRUE(sim::Machine().openHandles.empty());
        EXPECT_TRUE(sim::Machine().boxes.empty());
    }
}

// A run nobody sees has no taskbar: the user signed in at the console gets the
// program. Whatever stops that, the trace names it and every library, token
// and environment block taken is given back.
TEST_F(TrayLaunch, HiddenRunStartsItForTheConsoleUser)
{
    const Calls all = ConsoleChain(kConsoleFallbackStart);
    const struct {
        const char* label;
        std::function<void()> arrange;
        size_t callsMade;  // how far the chain got, then only the release calls
        const char* traced;
    } table[] = {
        {"no session at the console", [] { sim::Machine().consoleSessionId = PF_NO_CONSOLE_SESSION; }, 1,
         "not started, no session is attached to the console"},
        {"libraries not loaded", [] { sim::Machine().failingCalls = {"LoadLibraryA"}; }, 4,
         "not started, the calls that start a program for the console's user were not found"},
        {"nobody signed in", [] { sim::Machine().consoleUserSignedIn = false; }, 9,
         "not started, nobody is signed in at the console (session 1)"},
        {"token refused", [] { sim::Machine().failingCalls = {"WTSQueryUserToken"}; }, 9,
         "not started, the token of session 1's user was refused (error 1314)"},
        {"environment refused", [] { sim::Machine().failingCalls = {"CreateEnvironmentBlock"}; }, 10,
         "not started, the user's environment could not be made"},
        {"program missing", [] { unlink(sim::HostPath("C:\\Program Files\\Glidex2K\\Glidex.exe").c_str()); }, 11,
         "not started, the start as the console's user failed (error 2)"},
        {"started", [] {}, all.size(), "started as the user signed in at the console, session 1 (not waited for)"},
        {"session 0 of Windows 10, visible window station",
         [] { sim::Machine().desktopVisible = true, sim::Machine().sessionId = 0; }, all.size(), "started as"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.label);
        sim::Reset();
        sim::Machine().desktopVisible = false;
        sim::WriteFile("C:\\Program Files\\Glidex2K\\Glidex.exe", "MZ");
        row.arrange();
        sim::DecideDesktop();
        ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
        EXPECT_EQ(row.callsMade == all.size() ? 1 : 0, LaunchTrayApplication(sim::CurrentTarget()));
        CloseStepTrace("end");
        Calls expected(all.begin(), all.begin() + row.callsMade);
        if (row.callsMade == 11)
            expected.push_back("DestroyEnvironmentBlock");
        if (row.callsMade > 4 && row.callsMade < all.size())
            expected.insert(expected.end(), 3, "FreeLibrary");
        EXPECT_EQ(expected, sim::Machine().calls);
        EXPECT_TRUE(sim::Machine().openHandles.empty());
        std::string trace = sim::ReadFile(StepTracePath());
        EXPECT_NE(std::string::npos, trace.find(std::string("Tray application: ") + row.traced)) << trace;
    }
}

TEST_F(TrayLaunch, MissingStartCallStartsNothing)
{
    sim::Machine().hasCreateProcessWithToken = false;
    EXPECT_EQ(0, LaunchTrayApplication(sim::CurrentTarget()));
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
    const int both = SUPPORT_LAUNCH_APP | SUPPORT_EXIT_CODE;
    const struct {
        const char* label;
        const char* arguments;
        bool dpinstFails;
        int support;
        bool hidden;
        bool tokenRefused;
        const char* launched;
        int exitCode;  // a failed launch never changes it
    } table[] = {
        {"silent install", "/s", false, SUPPORT_LAUNCH_APP, false, false, kFallbackStart, 0},
        {"usage screen", "/?", false, SUPPORT_LAUNCH_APP, false, false, kFallbackStart, 0},
        {"DPInst cannot start", "/s", true, both, false, false, kFallbackStart, 1603},
        {"bit not set", "/s", false, SUPPORT_EXIT_CODE, false, false, "", 0},
        {"hidden silent install", "/s", false, both, true, false, kConsoleFallbackStart, 0},
        {"hidden, token refused", "/s", true, both, true, true, "", 1603},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.label);
        SetUp();
        Support(row.support);
        sim::Machine().programs["C:\\Pkg\\Vi64\\DPInst.exe"].startFails = row.dpinstFails;
        sim::Machine().desktopVisible = !row.hidden;
        if (row.tokenRefused)
            sim::Machine().failingCalls = {"WTSQueryUserToken"};
        EXPECT_EQ(row.exitCode, RunSetup(0, row.arguments));
        EXPECT_EQ(row.launched, LaunchedWith());
    }
}

}  // namespace
