// The "/f2" report and DPInst's own log around a run, on the simulated machine.
#include <gtest/gtest.h>

#include <string.h>

#include "actions/dpinst_runner.h"
#include "core/setup_state.h"
#include "log/debug_report.h"
#include "log/runtime_log.h"
#include "refusal.h"
#include "sim/sim.h"

namespace {

const char kDpinstLog[] = "C:\\Windows\\DpInst.log";
const char kBackup[] = "C:\\Windows\\DpInst_org.log";
const char kReport[] = "C:\\Out\\report.ini";
const PfSystemTime kStart = {2025, 3, 3, 5, 9, 7, 2, 0};

class DebugReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        strcpy(g_State.LogFilePath, kReport);
        strcpy(g_State.CommandLine, "/s");
    }
};

TEST_F(DebugReport, ResultCodeComesFromTheFailureParts)
{
    struct Row {
        uint32_t code;
        const char* version;
        const char* expected;
    } rows[] = {
        {0, "", "ResultCode=0\r\n[DPInst]\r\nDpinstReturnCode=0x00000000\r\nSetupDriverVersion=\r\n"},
        {1, "15.3.7.0",
         "ResultCode=0\r\n[DPInst]\r\nDpinstReturnCode=0x00000001\r\nSetupDriverVersion=15.3.7.0\r\n"},
        {0x40000001, "", "ResultCode=0\r\n[DPInst]\r\nDpinstReturnCode=0x40000001\r\nSetupDriverVersion=\r\n"},
        {0x100, "", "ResultCode=1\r\n[DPInst]\r\nDpinstReturnCode=0x00000100\r\nSetupDriverVersion=\r\n"},
        {0x80000000, "", "ResultCode=1\r\n[DPInst]\r\nDpinstReturnCode=0x80000000\r\nSetupDriverVersion=\r\n"},
        {0x00020001, "", "ResultCode=1\r\n[DPInst]\r\nDpinstReturnCode=0x00020001\r\nSetupDriverVersion=\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        g_State.DpinstReturnCode = row.code;
        strcpy(g_State.PackageVersion, row.version);
        WriteReportFile(0, "/s /f2C:\\Out\\report.ini", 0, kStart, &sim::RunTarget().Settings);
        EXPECT_EQ(std::string("[ResponseResult]\r\n") + row.expected, sim::ReadFile(kReport));
    }
}

TEST_F(DebugReport, ReportFileIsWrittenOnlyForSilentOrExtractedRunsWithF2)
{
    struct Row {
        const char* mode;
        int extracted;
        const char* received;
        bool written;
    } rows[] = {
        {"/s", 0, "/f2", true},  {"", 1, "x/f2", true}, {"", 0, "/f2", false},
        {"/s", 0, "/F2", false}, {"/q", 0, "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.mode << row.extracted << row.received);
        sim::Reset();
        strcpy(g_State.LogFilePath, kReport);
        strcpy(g_State.CommandLine, row.mode);
        g_State.DriversExtracted = row.extracted;
        WriteReportFile(0, row.received, 0, kStart, &sim::RunTarget().Settings);
        EXPECT_EQ(row.written, sim::FileExists(kReport));
    }
}

TEST_F(DebugReport, SecondWriterReplacesTheFirstAndJoinsOnce)
{
    sim::WriteFile(kDpinstLog, "entries\r\n");
    g_State.Debug = 1;
    sim::RunTarget().Settings.Support = SUPPORT_RUNTIME_LOG;
    WriteReportFile(0, "/s /f2", 0, kStart, &sim::RunTarget().Settings);
    strcpy(g_State.PackageVersion, "2.0");
    WriteRuntimeLog(0, "/s /f2", 0, 0, kStart, &sim::RunTarget().Settings);
    EXPECT_EQ("[ResponseResult]\r\nResultCode=0\r\n[DPInst]\r\nDpinstReturnCode=0x00000000\r\n"
              "SetupDriverVersion=2.0\r\nentries\r\n",
              sim::ReadFile(kReport));
}

// DPInst's log across a debug run, with the closing steps in the sequence's order.
class DpinstLogHandling : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        sim::RunTarget().Settings.Support = SUPPORT_RUNTIME_LOG;
        strcpy(sim::RunTarget().Settings.Path, "\\DPInst.exe");
        g_State.Debug = 1;
    }
    void Run(const char* mode, const std::string& entries)
    {
        sim::Program& dpinst = sim::Machine().programs["C:\\Pkg\\DPInst.exe"];
        dpinst.appends = {{kDpinstLog, entries}};
        dpinst.exitCode = 1;
        strcpy(g_State.CommandLine, mode);
        g_State.DpinstLogSaved = 0;
        PreserveDpinstLog(0, &sim::RunTarget().Settings);
        int result = ResultShowingRefusal(RunDpinst(sim::CurrentTarget()));
        WriteReportFile(0, mode, result, kStart, &sim::RunTarget().Settings);
        g_State.RuntimeLogEnabled = IsSilentMode() ? 0 : 1;
        WriteRuntimeLog(0, mode, result, result, kStart, &sim::RunTarget().Settings);
        PreserveDpinstLog(1, &sim::RunTarget().Settings);
    }
    // What the runtime log received after its text, which ends with the banner.
    std::string JoinedToRuntimeLog()
    {
        std::string log = sim::ReadFile("C:\\TouchPad\\log\\Setup.log");
        const std::string bannerEnd("=\0\r\0\n\0", 6);
        size_t end = log.rfind(bannerEnd);
        return end == std::string::npos ? "?" : log.substr(end + bannerEnd.size());
    }
};

TEST_F(DpinstLogHandling, RuntimeLogGetsThisRunsEntriesAndDpinstLogKeepsItsHistory)
{
    struct Row {
        const char* earlier;
        const char* leftBackup;
        const char* mode;
        const char *joined, *after;
    } rows[] = {
        {"H", 0, "/s", "E", "HE"}, {0, 0, "/s", "E", "E"},
        {"H", 0, "", "HE", "HE"},  {"X", "H", "/s", "E", "HXE"},  // an earlier run ended between the phases
        {0, "H", "/s", "E", "HE"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.earlier << "|" << row.leftBackup << "|" << row.mode);
        SetUp();
        if (row.earlier)
            sim::WriteFile(kDpinstLog, row.earlier);
        if (row.leftBackup)
            sim::WriteFile(kBackup, row.leftBackup);
        Run(row.mode, "E");
        EXPECT_EQ(row.joined, JoinedToRuntimeLog());
        EXPECT_EQ(row.after, sim::ReadFile(kDpinstLog));
        EXPECT_FALSE(sim::FileExists(kBackup));
    }
}

TEST_F(DpinstLogHandling, FailedJoinsLoseNothingAndTheNextRunMergesTheHistory)
{
    sim::WriteFile(kDpinstLog, "H");
    // Nothing can be written where a join is made (beside the log or the backup).
    sim::Machine().writeFails = [](const std::string& path) { return path.find("\\~pInst") != std::string::npos; };
    Run("/s", "E");
    EXPECT_EQ("H", sim::ReadFile(kBackup));
    EXPECT_EQ("E", sim::ReadFile(kDpinstLog));

    Run("/s", "F");
    EXPECT_EQ("H", sim::ReadFile(kBackup));
    EXPECT_EQ("EF", sim::ReadFile(kDpinstLog));

    sim::Machine().writeFails = nullptr;
    Run("/s", "G");
    EXPECT_EQ("G", JoinedToRuntimeLog());
    EXPECT_EQ("HEFG", sim::ReadFile(kDpinstLog));
    EXPECT_FALSE(sim::FileExists(kBackup));
}

// A failing delete, copy or search at any point of two debug runs: the backup
// followed by the log always holds the history once, and a later clean run
// puts it back whole.
TEST_F(DpinstLogHandling, NoFailingCallLosesOrDoublesTheHistory)
{
    struct Row {
        const char* call;
        uint32_t nth;
        bool fromThenOn;
    } rows[] = {
        {"PfDeleteFile", 1, false},        {"PfDeleteFile", 2, false},
        {"PfDeleteFile", 1, true},         {"PfCopyFile", 1, false},
        {"PfCopyFile", 2, false},          {"PfFindFirstFileName", 1, false},
        {"PfFindFirstFileName", 2, false}, {"PfFindFirstFileName", 3, false},
        {"PfRunProcessAndWait", 2, true},  // after DPInst, every join
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.call << " " << row.nth << (row.fromThenOn ? "+" : ""));
        SetUp();
        sim::WriteFile(kDpinstLog, "H");
        sim::FailCall(row.call, row.nth, 5, row.fromThenOn);
        Run("/s", "E");
        auto content = [](const char* path) { return sim::FileExists(path) ? sim::ReadFile(path) : ""; };
        EXPECT_EQ("HE", content(kBackup) + content(kDpinstLog));
        sim::Machine().faults.clear();
        Run("/s", "F");
        EXPECT_EQ("HEF", sim::ReadFile(kDpinstLog));
        EXPECT_FALSE(sim::FileExists(kBackup));
        EXPECT_TRUE(sim::Machine().openHandles.empty());
    }
}

// A log that another process holds open is only marked for deletion and goes
// when that process lets go (here while DPInst runs, which cannot write to
// it): its history lasts in the backup, which the next debug run merges.
TEST_F(DpinstLogHandling, ALogMarkedForDeletionLeavesItsHistoryInTheBackup)
{
    sim::WriteFile(kDpinstLog, "H");
    sim::Machine().lingeringFiles = {kDpinstLog};
    sim::Machine().programs["C:\\Pkg\\DPInst.exe"].whileRunning = [] {
        sim::Machine().lingeringFiles.clear();
        PfDeleteFile(kDpinstLog);
    };
    Run("/s", "E");
    EXPECT_EQ("H", sim::ReadFile(kBackup));
    EXPECT_FALSE(sim::FileExists(kDpinstLog));

    sim::Machine().programs["C:\\Pkg\\DPInst.exe"].whileRunning = nullptr;
    Run("/s", "F");
    EXPECT_EQ("HF", sim::ReadFile(kDpinstLog));
    EXPECT_FALSE(sim::FileExists(kBackup));
}

TEST_F(DpinstLogHandling, LogStaysWhereItIsOutsideSilentDebugRuns)
{
    struct Row {
        const char* mode;
        uint32_t support;
        int debug;
    } rows[] = {{"", SUPPORT_RUNTIME_LOG, 1}, {"/s", 0x3B, 1}, {"/s", SUPPORT_RUNTIME_LOG, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.mode << row.support << row.debug);
        SetUp();
        sim::WriteFile(kDpinstLog, "H");
        strcpy(g_State.CommandLine, row.mode);
        sim::RunTarget().Settings.Support = row.support;
        g_State.Debug = row.debug;
        PreserveDpinstLog(0, &sim::RunTarget().Settings);
        EXPECT_EQ("H", sim::ReadFile(kDpinstLog));
        EXPECT_FALSE(sim::FileExists(kBackup));
        EXPECT_EQ(0, g_State.DpinstLogSaved);
    }
}

}  // namespace
