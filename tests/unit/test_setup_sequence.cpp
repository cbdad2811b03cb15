// Whole runs through RunSetup on the simulated machine.
#include <gtest/gtest.h>

#include "app/setup_sequence.h"
#include "core/result_codes.h"
#include "core/setup_state.h"

#include <string.h>
#include "sim/sim.h"

namespace {

class SetupSequence : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=8\r\n");
        sim::WriteFile("C:\\Pkg\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::WriteFile("C:\\Pkg\\Vi64\\Driver.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    }
    sim::Program& Dpinst() { return sim::Machine().programs["C:\\Pkg\\Vi64\\DPInst.exe"]; }
};

TEST_F(SetupSequence, SecondInstanceShowsNothingAndExitsZero)
{
    sim::Machine().mutexHeldElsewhere = true;
    Dpinst().exitCode = 1;
    EXPECT_EQ(0, RunSetup(0, "/s"));
    EXPECT_TRUE(sim::Machine().boxes.empty());
    EXPECT_TRUE(sim::Machine().processes.empty());
}

TEST_F(SetupSequence, UnsupportedWindowsExitsZeroAfterItsMessage)
{
    sim::Machine().major = 5;
    sim::Machine().minor = 0;
    EXPECT_EQ(0, RunSetup(0, "/s"));
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_EQ("Setup.exe", sim::Machine().boxes[0].caption);
    EXPECT_TRUE(sim::Machine().processes.empty());
}

TEST_F(SetupSequence, UsageScreenEndsTheRunWithSuccess)
{
    EXPECT_EQ(0, RunSetup(0, "/?"));
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_EQ("Help", sim::Machine().boxes[0].caption);
    EXPECT_TRUE(sim::Machine().processes.empty());
}

TEST_F(SetupSequence, SilentDeploymentRunsDpinstWithSilentOptions)
{
    Dpinst().exitCode = 1;
    EXPECT_EQ(0, RunSetup(0, "/s"));
    ASSERT_EQ(1u, sim::Machine().processes.size());
    EXPECT_EQ("\"C:\\Pkg\\Vi64\\DPInst.exe\" /f /sw /se", sim::Machine().processes[0]);
    EXPECT_TRUE(sim::Machine().boxes.empty());
}

TEST_F(SetupSequence, ExitCodeIsTheResultOnlyWithTheExitCodeBit)
{
    Dpinst().exitCode = 0x40000002u;
    EXPECT_EQ(REBOOT_REQUIRED, RunSetup(0, "/s"));
    sim::Reset();
    SetUp();
    sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=0x37\r\n");
    Dpinst().exitCode = 0x80000000u;
    EXPECT_EQ(0, RunSetup(0, "/s"));
}

TEST_F(SetupSequence, LongArgumentTextIsCutTo259)
{
    std::string arguments = "/x" + std::string(400, 'a');
    Dpinst().exitCode = 1;
    RunSetup(0, arguments.c_str());
    EXPECT_EQ(259u, strlen(g_State.CommandLine));
}

}  // namespace
