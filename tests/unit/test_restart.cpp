// Restarting Windows after a silent install that needs it.
#include <gtest/gtest.h>

#include "actions/restart.h"
#include "app/result_codes.h"
#include "app/setup_state.h"
#include "sim/sim.h"

namespace {

using Calls = std::vector<std::string>;

const Calls kPrivilegeStepsThenReboot = {
    "OpenProcessToken self 0x28",
    "LookupPrivilegeValueA SeShutdownPrivilege",
    "AdjustTokenPrivileges luid 19 attributes 2",
    "ExitWindowsEx 0x2 0",
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
        {1, REBOOT_REQUIRED, true},
        {0, REBOOT_REQUIRED, false},
        {2, REBOOT_REQUIRED, false},
        {1, SUCCESS, false},
        {1, DEP_SOFT_ERROR, false},
        {1, ERROR_INSTALL_PLATFORM_UNSUPPORTED, false},
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
}

}  // namespace
