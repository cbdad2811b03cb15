// Starting DPInst: its exact command line and the meaning of its return code.
#include <gtest/gtest.h>

#include "actions/dpinst_runner.h"
#include "core/messages.h"
#include "core/result_codes.h"
#include "refusal.h"
#include "sim/sim.h"
#include "util/bounded_string.h"

namespace {

class DpinstRunner : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        BoundedCopy(sim::RunTarget().Settings.Path, 260, "\\Vi64\\DPInst.exe");
        BoundedCopy(sim::RunTarget().Settings.Default, 64, " /f");
        BoundedCopy(sim::RunTarget().Settings.Silent, 64, " /f /sw /se");
        sim::WriteFile("C:\\Pkg\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
    }
    int RunWithCode(uint32_t code)
    {
        sim::Machine().programs["C:\\Pkg\\Vi64\\DPInst.exe"].exitCode = code;
        return ResultShowingRefusal(RunDpinst(sim::CurrentTarget()));
    }
};

TEST_F(DpinstRunner, ReturnCodesMapToResults)
{
    const struct {
        uint32_t code;
        int result;
    } table[] = {
        {0, 0},
        {1, SUCCESS},
        {2, SUCCESS},
        {3, 3},
        {0x100, DEP_HARD_ERROR},
        {0x1100, 0x1100},
        {0x80000000u, ERROR},
        {0x80000100u, DEP_HARD_ERROR},
        {0x80001100u, ERROR},
        {0x40000001u, REBOOT_REQUIRED},
        {0x40000002u, REBOOT_REQUIRED},
        {0x40000003u, 0x40000003},
    };
    for (const auto& row : table) {
        EXPECT_EQ(row.result, RunWithCode(row.code)) << std::hex << row.code;
        EXPECT_EQ(row.code, g_State.DpinstReturnCode);
    }
}

TEST_F(DpinstRunner, UnmappedCodesComeFromTheThread)
{
    sim::Program& dpinst = sim::Machine().programs["C:\\Pkg\\Vi64\\DPInst.exe"];
    dpinst.exitCode = 3;
    dpinst.threadCodeDiffers = true;
    dpinst.threadExitCode = 7;
    EXPECT_EQ(7, ResultShowingRefusal(RunDpinst(sim::CurrentTarget())));
}

TEST_F(DpinstRunner, CommandLineJoinsPathAsPlainText)
{
    BoundedCopy(g_State.CommandLine, 260, "/S");
    RunWithCode(1);
    BoundedCopy(g_State.CommandLine, 260, "");
    RunWithCode(1);
    BoundedCopy(sim::RunTarget().Settings.Default, 64, "");
    RunWithCode(1);
    // Nobody would answer DPInst's wizard on a hidden station or in session 0.
    sim::Machine().desktopVisible = false;
    sim::DecideDesktop();
    RunWithCode(1);
    sim::Machine().desktopVisible = true;
    sim::Machine().sessionId = 0;
    sim::DecideDesktop();
    RunWithCode(1);
    ASSERT_EQ(5u, sim::Machine().processes.size());
    EXPECT_EQ("\"C:\\Pkg\\Vi64\\DPInst.exe\" /f /sw /se", sim::Machine().processes[0]);
    EXPECT_EQ("\"C:\\Pkg\\Vi64\\DPInst.exe\" /f", sim::Machine().processes[1]);
    EXPECT_EQ("\"C:\\Pkg\\Vi64\\DPInst.exe\"", sim::Machine().processes[2]);
    EXPECT_EQ("\"C:\\Pkg\\Vi64\\DPInst.exe\" /f /sw /se", sim::Machine().processes[3]);
    EXPECT_EQ("\"C:\\Pkg\\Vi64\\DPInst.exe\" /f /sw /se", sim::Machine().processes[4]);
}

TEST_F(DpinstRunner, StartsInItsOwnFolder)
{
    // Not in the launcher's current folder, which is searched for DLLs first.
    const struct {
        const char* path;
        const char* folder;
    } rows[] = {
        {"\\Vi64\\DPInst.exe", "C:\\Pkg\\Vi64"},
        {"\\Vi64/DPInst.exe", "C:\\Pkg\\Vi64"},
        {"\\..\\Pkg\\Vi64\\DPInst.exe", "C:\\Pkg\\Vi64"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        sim::Machine().processFolders.clear();
        BoundedCopy(sim::RunTarget().Settings.Path, 260, row.path);
        RunWithCode(1);
        EXPECT_EQ(std::vector<std::string>{row.folder}, sim::Machine().processFolders);
    }
}

TEST_F(DpinstRunner, DeepPackageFolderKeepsTheSilentOptions)
{
    std::string folder = "C:\\" + std::string(230, 'd');
    sim::Machine().modulePath = folder + "\\Setup.exe";
    sim::WriteFile(folder + "\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
    BoundedCopy(g_State.CommandLine, 260, "/s");
    EXPECT_EQ(SUCCESS, ResultShowingRefusal(RunDpinst(sim::CurrentTarget())));
    ASSERT_EQ(1u, sim::Machine().processes.size());
    EXPECT_EQ("\"" + folder + "\\Vi64\\DPInst.exe\" /f /sw /se", sim::Machine().processes[0]);
}

TEST_F(DpinstRunner, MissingDpinstShowsTheErrorCode)
{
    BoundedCopy(sim::RunTarget().Settings.Path, 260, "\\Nowhere\\DPInst.exe");
    EXPECT_EQ(ERROR, ResultShowingRefusal(RunDpinst(sim::CurrentTarget())));
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_EQ(sim::EnglishText(IDS_LAUNCH_FAILED) + " [2]", sim::Machine().boxes[0].text);
    EXPECT_EQ(0u, g_State.DpinstReturnCode);

    // A program path too long to read whole gives no folder: DPInst is not
    // looked for from the current drive's root instead.
    sim::Reset();
    sim::Machine().modulePath = "C:\\" + std::string(300, 'p') + "\\Setup.exe";
    sim::WriteFile("C:\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
    BoundedCopy(sim::RunTarget().Settings.Path, 260, "\\Vi64\\DPInst.exe");
    EXPECT_EQ(ERROR, ResultShowingRefusal(RunDpinst(sim::CurrentTarget())));
    EXPECT_TRUE(sim::Machine().processes.empty());
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_EQ(sim::EnglishText(IDS_LAUNCH_FAILED) + " [3]", sim::Machine().boxes[0].text);
}

// The command keeps its text, but only the file the checks checked, inside
// the package, is started: never one a user planted where a Path without its
// backslash, or with "..", leads.
TEST_F(DpinstRunner, StartsOnlyTheCheckedFileInsideThePackage)
{
    const struct {
        const char* path;
        const char* planted;  // a DPInst a user put outside the package
        bool starts;
    } cases[] = {
        {"\\Vi64\\DPInst.exe", nullptr, true},
        {"\\Vi64\\..\\Vi64\\DPInst.exe", nullptr, true},
        {".\\Vi64\\DPInst.exe", nullptr, true},  // "C:\Pkg.\Vi64": Windows drops the dot
        {"Vi64\\DPInst.exe", "C:\\PkgVi64\\DPInst.exe", false},
        {"\\..\\Vi64\\DPInst.exe", "C:\\Vi64\\DPInst.exe", false},
        {"\\..\\PkgX\\DPInst.exe", "C:\\PkgX\\DPInst.exe", false},  // a sibling named like the package
        {"\\Vi64\\DPInst.exe:evil", "C:\\Pkg\\Vi64\\DPInst.exe:evil", false},
        {"C:\\Vi64\\DPInst.exe", "C:\\PkgC:\\Vi64\\DPInst.exe", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        SetUp();
        BoundedCopy(sim::RunTarget().Settings.Path, 260, c.path);
        if (c.planted)
            sim::Machine().programs[c.planted].exitCode = 1;
        sim::Machine().programs["C:\\Pkg\\Vi64\\DPInst.exe"].exitCode = 1;
        int result = ResultShowingRefusal(RunDpinst(sim::CurrentTarget()));
        EXPECT_EQ(c.starts ? SUCCESS : ERROR, result);
        EXPECT_EQ(c.starts ? 1u : 0u, sim::Machine().processes.size());
        if (!c.starts) {
            ASSERT_EQ(1u, sim::Machine().boxes.size());
            EXPECT_EQ(sim::EnglishText(IDS_LAUNCH_FAILED) + " [2]", sim::Machine().boxes[0].text);
        }
    }
}

TEST_F(DpinstRunner, SilentModeIsTheWholeSwitch)
{
    const struct {
        const char* commandLine;
        int silent;
    } cases[] = {{"/q", 1}, {"/Q", 1}, {"/s", 1}, {"/S", 1}, {"/qs", 0}, {"/s ", 0}, {"", 0}, {"/?", 0}};
    for (const auto& c : cases) {
        BoundedCopy(g_State.CommandLine, 260, c.commandLine);
        EXPECT_EQ(c.silent, IsSilentMode()) << c.commandLine;
    }
}

}  // namespace
