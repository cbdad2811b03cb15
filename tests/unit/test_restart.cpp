// Restarting Windows after a silent install that needs it.
#include <gtest/gtest.h>

#include <algorithm>

#include "actions/restart.h"
#include "app/setup_sequence.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "sim/sim.h"

namespace {

using Calls = std::vector<std::string>;

const Calls kPrivilegeStepsThenReboot = {
    "OpenProcessToken self 0x28", "LookupPrivilegeValueA SeShutdownPrivilege",
    "AdjustTokenPrivileges luid 19 attributes 2",
    "ExitWindowsEx 0x2 0x80040002",  // planned, application: installation
};

class Restart : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        g_State.ForceRestart = 1;
    }
};

TEST_F(Restart, OnlyForcedRestartWithRebootResultRestarts)
{
    const struct {
        int forceRestart;
        int result;
        bool restarts;
    } table[] = {
        {1, REBOOT_REQUIRED, true}, {0, REBOOT_REQUIRED, false}, {2, REBOOT_REQUIRED, false},
        {1, SUCCESS, false},        {1, DEP_SOFT_ERROR, false},  {1, ERROR_INSTALL_PLATFORM_UNSUPPORTED, false},
        {1, 0x40000003, false},  // a restart code DPInst passed through unmapped
    };
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << "ForceRestart " << row.forceRestart << ", result " << row.result);
        sim::Reset();
        g_State.ForceRestart = row.forceRestart;
        RestartWindows(row.result);
        EXPECT_EQ(row.restarts ? Calls(kPrivilegeStepsThenReboot) : Calls(), sim::Machine().calls);
        EXPECT_TRUE(sim::Machine().boxes.empty());
    }
}

TEST_F(Restart, PrivilegeStepsRunInOrderAndReleaseTheToken)
{
    RestartWindows(REBOOT_REQUIRED);
    EXPECT_EQ(kPrivilegeStepsThenReboot, sim::Machine().calls);
    EXPECT_EQ(std::vector<uint32_t>{PF_EWX_REBOOT}, sim::Machine().exitWindowsFlags);
    EXPECT_TRUE(sim::Machine().openHandles.empty());
}

TEST_F(Restart, MissingPrivilegeIsReportedThenTheRestartIsStillAsked)
{
    sim::Machine().privilegeNotAssigned = true;
    RestartWindows(REBOOT_REQUIRED);
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_EQ("AdjustTokenPrivileges enable failed", sim::Machine().boxes[0].text);
    EXPECT_EQ("Error", sim::Machine().boxes[0].caption);
    EXPECT_EQ(0u, sim::Machine().boxes[0].style);
    EXPECT_EQ(kPrivilegeStepsThenReboot, sim::Machine().calls);
    EXPECT_TRUE(sim::Machine().openHandles.empty());
}

TEST_F(Restart, UnopenableTokenCountsAsMissingPrivilege)
{
    sim::Machine().failingCalls = {"OpenProcessToken self"};
    RestartWindows(REBOOT_REQUIRED);
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_EQ("AdjustTokenPrivileges enable failed", sim::Machine().boxes[0].text);
    EXPECT_EQ(std::vector<uint32_t>{PF_EWX_REBOOT}, sim::Machine().exitWindowsFlags);
    EXPECT_TRUE(sim::Machine().openHandles.empty());
    // The failures are not examined one by one: every step is still taken.
    ASSERT_EQ(4u, sim::Machine().calls.size());
    EXPECT_EQ(0u, sim::Machine().calls[2].find("AdjustTokenPrivileges"));
}

}  // namespace

namespace {

// Whole runs: the restart needs a silent run, FORCERESTART and a mapped restart code.
class RestartInRuns : public ::testing::Test {
protected:
    void Prepare(uint32_t dpinstCode, uint32_t support)
    {
        sim::Reset();
        sim::WriteFile("C:\\Pkg\\Setup.ini",
                       "[W864]\r\nPath=\\x64\\DPInst.exe\r\nSupport=" + std::to_string(support) + "\r\n");
        sim::WriteFile("C:\\Pkg\\x64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::WriteFile("C:\\Pkg\\x64\\drv.inf", "[Version]\r\n");
        sim::Machine().programs["C:\\Pkg\\x64\\DPInst.exe"].exitCode = dpinstCode;
    }
};

TEST_F(RestartInRuns, OnlySilentForcedRunsWithMappedRestartCodeRestart)
{
    const uint32_t support = SUPPORT_PUBLIC_PROPERTIES | SUPPORT_EXIT_CODE;
    const struct {
        const char* typed;
        uint32_t dpinstCode;
        int exitCode;
        bool restarts;
    } table[] = {
        {"/s /vFORCERESTART=true", 0x40000001u, REBOOT_REQUIRED, true},
        {"/q /vFORCERESTART=true", 0x40000002u, REBOOT_REQUIRED, true},
        {"/s /vFORCERESTART=true", 1, SUCCESS, false},
        {"/s /vFORCERESTART=true", 0x40000003u, 0x40000003, false},
        {"/s", 0x40000001u, REBOOT_REQUIRED, false},
        {"/vFORCERESTART=true", 0x40000001u, REBOOT_REQUIRED, false},
        {"/s /vFORCERESTART=false", 0x40000001u, REBOOT_REQUIRED, false},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << row.typed << ", DPInst 0x" << std::hex << row.dpinstCode);
        Prepare(row.dpinstCode, support);
        EXPECT_EQ(row.exitCode, RunSetup(0, row.typed));
        EXPECT_EQ(row.restarts ? 1u : 0u, sim::Machine().exitWindowsFlags.size());
        EXPECT_TRUE(sim::Machine().boxes.empty());
    }
}

TEST_F(RestartInRuns, RestartIsAskedBeforeTheLaunch)
{
    Prepare(0x40000001u, SUPPORT_PUBLIC_PROPERTIES | SUPPORT_LAUNCH_APP);
    RunSetup(0, "/s /vFORCERESTART=true");
    const Calls& calls = sim::Machine().calls;
    auto reboot = std::find(calls.begin(), calls.end(), kPrivilegeStepsThenReboot.back());
    auto launch = std::find(calls.begin(), calls.end(), "FindWindowA Shell_TrayWnd");
    ASSERT_NE(calls.end(), reboot);
    EXPECT_LT(reboot, launch);
}

}  // namespace
