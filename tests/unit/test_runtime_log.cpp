// The runtime log, its folders and the join, on the simulated machine.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <map>

#include "app/setup_sequence.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "core/trace_file.h"
#include "log/log_files.h"
#include "log/runtime_log.h"
#include "log/safe_files.h"
#include "sim/sim.h"

namespace {

const char kLog[] = "C:\\TouchPad\\log\\Setup.log";
const PfSystemTime kStart = {2025, 3, 3, 5, 9, 7, 2, 450};

// The bytes of a runtime log holding this ANSI text.
std::string LogFileBytes(const std::string& ansi)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : sim::AnsiToUtf16(ansi))
        bytes += std::string{(char)(unit & 0xFF), (char)(unit >> 8)};
    return bytes;
}

std::string ExpectedText(const std::string& versions, const std::string& result,
                         const std::string& start = "2025-3-5 9:7:2")
{
    return "===============> Update Package application started <===============\r\n"
           "Command:C:\\Pkg\\Setup.exe /s\r\nDate:" +
           start + "\r\n" + std::string(60, '=') + "\r\n" + versions + result + "2026-12-7 9:30:5\r\n";
}

class RuntimeLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        sim::RunTarget().Settings.Support = SUPPORT_RUNTIME_LOG;
        strcpy(g_State.CommandLine, "/s");
    }
    void Write(int result, const char* commandLine = "/s")
    {
        WriteRuntimeLog(0, commandLine, result, result, kStart, &sim::RunTarget().Settings);
    }
};

TEST_F(RuntimeLog, FileHoldsTheTextAsUtf16WithByteOrderMark)
{
    strcpy(g_State.InstalledVersion, "15.2.1.0");
    strcpy(g_State.PackageVersion, "15.3.7.0");
    Write(0);
    std::string text =
        ExpectedText("  Installed version:15.2.1.0\r\n  Package version:15.3.7.0\r\n", "Exit code = 0\r\n");
    EXPECT_EQ(LogFileBytes(text), sim::ReadFile(kLog));
    EXPECT_EQ(2 + 2 * text.size(), sim::ReadFile(kLog).size());
    EXPECT_TRUE(sim::Machine().systemCommands.empty());
}

TEST_F(RuntimeLog, ResultAndDebugShapeTheLastLines)
{
    const std::string noVersions = "  Installed version:\r\n  Package version:\r\n";
    const std::string banner = "\r\n================> Report Information for Debugging <================\r\n";
    struct Row {
        int result, debug;
        std::string tail;
    } rows[] = {
        {1641, 0, "Update ready to be applied at reboot\r\nExit code = 1641\r\n"},
        {1603, 0, "Exit code = 1603\r\n"},
        {-5, 0, "Exit code = -5\r\n"},
        {0, 1, "Exit code = 0\r\n"},
        {0, 2, "Exit code = 0\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tail);
        g_State.Debug = row.debug;
        char text[TEXT_CAPACITY];
        BuildLogText(0, text, "/s", kStart, row.result, row.result);
        EXPECT_EQ(ExpectedText(noVersions, row.tail) + (row.debug == 1 ? banner : ""), text);
    }
}

TEST_F(RuntimeLog, NonAsciiProgramPathReachesTheFileAsUtf16)
{
    struct Row {
        uint32_t codePage;
        const char* path;
        std::u16string expected;
    } rows[] = {
        {1252, "C:\\Caf\xE9\\Setup.exe", u"Command:C:\\Caf\u00E9\\Setup.exe /s\r\n"},
        {1251, "C:\\\xCF\xF0\xEE\\Setup.exe", u"Command:C:\\\u041F\u0440\u043E\\Setup.exe /s\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.codePage);
        sim::Machine().ansiCodePage = row.codePage;
        sim::Machine().modulePath = row.path;
        Write(0);
        std::string bytes = sim::ReadFile(kLog);
        std::u16string units;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            units += (char16_t)((unsigned char)bytes[i] | (unsigned char)bytes[i + 1] << 8);
        EXPECT_NE(std::u16string::npos, units.find(row.expected));
    }
}

TEST_F(RuntimeLog, GateNeedsTheLogBit)
{
    struct Row {
        uint32_t support;
        const char* commandLine;
        int extracted, enabled;
        bool written;
    } rows[] = {
        {SUPPORT_RUNTIME_LOG, "/s", 0, 0, true}, {SUPPORT_RUNTIME_LOG, "/Q", 0, 0, true},
        {SUPPORT_RUNTIME_LOG, "", 1, 0, true},   {SUPPORT_RUNTIME_LOG, "", 0, 1, true},
        {SUPPORT_RUNTIME_LOG, "", 0, 0, false},  {0x3B, "/s", 1, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.support << row.commandLine << row.extracted << row.enabled);
        sim::Reset();
        sim::WriteFile("C:\\Windows\\DpInst.log", "dpinst");
        sim::RunTarget().Settings.Support = row.support;
        strcpy(g_State.CommandLine, row.commandLine);
        g_State.DriversExtracted = row.extracted;
        g_State.RuntimeLogEnabled = row.enabled;
        g_State.Debug = 1;
        strcpy(g_State.LogFilePath, "C:\\Out\\copy.log");
        Write(0);
        EXPECT_EQ(row.written, sim::FileExists(kLog));
        EXPECT_EQ(row.written, sim::FileExists("C:\\Out\\copy.log"));
        EXPECT_EQ(row.written, sim::ReadFile(kLog).find("dpinst") != std::string::npos);
    }
}

TEST_F(RuntimeLog, SecondRunReplacesTheFirst)
{
    Write(1603);
    Write(0);
    EXPECT_EQ(LogFileBytes(ExpectedText("  Installed version:\r\n  Package version:\r\n", "Exit code = 0\r\n")),
              sim::ReadFile(kLog));
}

TEST_F(RuntimeLog, DebugJoinsDpinstLogByteForByteBeforeTheCopy)
{
    const std::string dpinst = std::string("line 1\r\n\x1A\xFF") + '\0' + "tail\r\n";
    sim::WriteFile("C:\\Windows\\DpInst.log", dpinst);
    g_State.Debug = 1;
    strcpy(g_State.LogFilePath, "D:\\New Folder\\A&B\\copy.log");
    Write(0);
    std::string joined = sim::ReadFile(kLog);
    ASSERT_GT(joined.size(), dpinst.size());
    EXPECT_EQ(dpinst, joined.substr(joined.size() - dpinst.size()));
    EXPECT_EQ(joined, sim::ReadFile("D:\\New Folder\\A&B\\copy.log"));
    EXPECT_TRUE(sim::Machine().systemCommands.empty());  // joined in the process, no interpreter started
}

TEST_F(RuntimeLog, CopyTargetsOutsideFolderCreation)
{
    Write(0);
    const std::string expected = sim::ReadFile(kLog);
    // "C:\Logs" is what a LOGFILE value cut before "DEBUG" leaves: a file at the root.
    for (const char* path : {"C:\\Logs", "\\\\srv\\share\\logs\\run.log"}) {
        SCOPED_TRACE(path);
        strcpy(g_State.LogFilePath, path);
        Write(0);
        EXPECT_EQ(path[0] == 'C' ? expected : "", sim::ReadFile(path));
    }
    EXPECT_FALSE(sim::FileExists("\\\\srv\\share\\logs"));
    sim::MakeFolder("\\\\srv\\share\\logs");
    Write(0);
    EXPECT_EQ(expected, sim::ReadFile("\\\\srv\\share\\logs\\run.log"));
}

// A folder made beforehand by this owner.
std::function<void()> OwnedBy(const std::string& folder, const std::string& owner)
{
    return [=] {
        sim::MakeFolder(folder);
        sim::Machine().owners[folder] = owner;
    };
}

TEST_F(RuntimeLog, PreparedFoldersAndLinksNeverLeadTheLogElsewhere)
{
    const std::string kUser = "S-1-5-21-1-2-3-1001";
    const struct {
        const char* label;
        std::function<void()> prepare;
        bool written;
    } rows[] = {
        {"nothing there", [] {}, true},
        {"TouchPad a link", [] { sim::MakeLink("C:\\TouchPad", "C:\\Other"); }, false},
        {"log a link", [] { sim::MakeLink("C:\\TouchPad\\log", "C:\\Other"); }, false},
        {"TouchPad a file", [] { sim::WriteFile("C:\\TouchPad", "x"); }, false},
        // Folders others may change are made protected, then used.
        {"TouchPad a user's", OwnedBy("C:\\TouchPad", kUser), true},
        {"log a user's", OwnedBy("C:\\TouchPad\\log", kUser), true},
        {"made earlier with default security", [] { sim::MakeFolder("C:\\TouchPad\\log"); }, true},
        {"TouchPad SYSTEM's", OwnedBy("C:\\TouchPad", "SY"), true},
        // Under Wine every folder belongs to the one user the program runs as.
        {"TouchPad the run's own account's", [&] { OwnedBy("C:\\TouchPad", sim::Machine().processUser)(); }, true},
        {"Setup.log a link", [] { sim::MakeLink(kLog, "C:\\Other\\Setup.log"); }, true},
        {"Setup.log a hard link", [] { sim::MakeHardLink(kLog, "C:\\Other\\Setup.log"); }, true},
        {"a temporary left behind", [] { sim::WriteFile("C:\\TouchPad\\log\\~etup.log", "old"); }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        SetUp();
        sim::WriteFile("C:\\Other\\Setup.log", "victim");
        row.prepare();
        strcpy(g_State.LogFilePath, "C:\\Out\\copy.log");
        ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
        Write(0);
        CloseStepTrace("done");
        // The trace says which folder was refused, and why.
        EXPECT_EQ(!row.written, sim::ReadFile(StepTracePath()).find("C:\\TouchPad") != std::string::npos &&
                                    sim::ReadFile(StepTracePath()).find(" not used: ") != std::string::npos);
        EXPECT_EQ("victim", sim::ReadFile("C:\\Other\\Setup.log"));
        EXPECT_FALSE(sim::FileExists("C:\\Other\\log") || sim::FileExists("C:\\Other\\~etup.log"));
        EXPECT_EQ(row.written, sim::ReadFile(kLog).compare(0, 2, "\xFF\xFE") == 0);
        if (row.written) {
            EXPECT_EQ(PF_FILE_ATTRIBUTE_ARCHIVE, PfGetFileAttributes(kLog));  // a file of its own
            EXPECT_FALSE(sim::UserMayChange("C:\\TouchPad") || sim::UserMayChange("C:\\TouchPad\\log"));
        }
        EXPECT_EQ(row.written, sim::FileExists("C:\\Out\\copy.log"));  // this run's log, or nothing
        EXPECT_FALSE(sim::FileExists("C:\\TouchPad\\log\\~etup.log"));
    }
}

// The administrator's folders: a link among them is not used, a folder
// users may write in is, through its held handle.
TEST_F(RuntimeLog, LogFileAndReportNeverFollowALinkedParentFolder)
{
    const struct {
        const char* label;
        const char* commandLine;
        const char* target;
        std::function<void()> prepare;
        bool written;
    } rows[] = {
        {"LOGFILE below a linked folder", "/s", "C:\\Temp\\copy.log", [] { sim::MakeLink("C:\\Temp", "C:\\Other"); },
         false},
        {"LOGFILE two folders below a link", "/s", "C:\\Temp\\a\\copy.log",
         [] { sim::MakeLink("C:\\Temp", "C:\\Other"); }, false},
        {"/f2 below a linked folder", "/s /f2", "C:\\Temp\\copy.log", [] { sim::MakeLink("C:\\Temp", "C:\\Other"); },
         false},
        {"LOGFILE in a folder users may write in", "/s", "C:\\Temp\\copy.log", [] { sim::MakeFolder("C:\\Temp"); },
         true},
        {"/f2 in a folder users may write in", "/s /f2", "C:\\Temp\\copy.log", [] { sim::MakeFolder("C:\\Temp"); },
         true},
        // A mount point at the final name leads to a file that does not exist yet.
        {"LOGFILE a user's link to a new file", "/s", "C:\\Temp\\copy.log",
         [] { sim::MakeLink("C:\\Temp\\copy.log", "C:\\Other\\new.log"); }, true},
        {"/f2 a user's link to a new file", "/s /f2", "C:\\Temp\\copy.log",
         [] { sim::MakeLink("C:\\Temp\\copy.log", "C:\\Other\\new.log"); }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        SetUp();
        sim::WriteFile("C:\\Other\\copy.log", "victim");
        row.prepare();
        strcpy(g_State.LogFilePath, row.target);
        ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
        Write(0, row.commandLine);
        CloseStepTrace("done");
        EXPECT_EQ("victim", sim::ReadFile("C:\\Other\\copy.log"));
        EXPECT_FALSE(sim::FileExists("C:\\Other\\new.log") || sim::FileExists("C:\\Other\\a"));
        if (row.written)
            EXPECT_EQ(PF_FILE_ATTRIBUTE_ARCHIVE, PfGetFileAttributes(row.target));  // a file of its own
        else
            EXPECT_NE(std::string::npos,
                      sim::ReadFile(StepTracePath()).find("Folder C:\\Temp not used: it is a link"));
        EXPECT_TRUE(sim::Machine().openHandles.empty());
    }
}

TEST_F(RuntimeLog, FoldersTheRunMakesAdmitUsersAtMostToRead)
{
    strcpy(g_State.LogFilePath, "D:\\Logs\\copy.log");
    Write(0);
    const std::map<std::string, std::string> expected = {{"c:\\touchpad", PROTECTED_FOLDER_SDDL},
                                                         {"c:\\touchpad\\log", PRIVATE_FOLDER_SDDL},
                                                         {"d:\\logs", PROTECTED_FOLDER_SDDL}};
    EXPECT_EQ(expected, sim::Machine().folderSddl);
    EXPECT_FALSE(sim::UserMay(kLog, PF_FILE_READ_ATTRIBUTES));
}

// A user who opened the log while an earlier version let Users read it
// cannot keep this run's log out, where Windows can replace a file under
// its reader; the folder is then made private, so no new reader comes.
TEST_F(RuntimeLog, AReaderOfTheLogCannotStopTheNextOne)
{
    const uint32_t kAllShare = PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE;
    const struct {
        const char* label;
        uint32_t share;
        bool posixRename;
        bool replaced;
        const char* trace;
    } rows[] = {
        {"sharing delete", kAllShare, true, true, "held open by another process: replaced under it"},
        {"sharing delete, before Windows 10 1709", kAllShare, false, false, "cannot be replaced (error 5)"},
        {"without delete sharing", PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE, true, false,
         "cannot be replaced (error 5)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        SetUp();
        sim::Machine().hasPosixRename = row.posixRename;
        sim::MakeFolder("C:\\TouchPad\\log");
        sim::SetSecurity("C:\\TouchPad", "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)");
        sim::WriteFile(kLog, "earlier");
        PfHandle reader = sim::ForeignOpen(kLog, PF_GENERIC_READ, row.share);
        ASSERT_NE(0u, reader);
        strcpy(g_State.LogFilePath, "C:\\Out\\copy.log");
        ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
        Write(0);
        CloseStepTrace("done");
        EXPECT_EQ(row.replaced, sim::ReadFile(kLog) != "earlier");
        EXPECT_EQ(row.replaced, sim::FileExists("C:\\Out\\copy.log"));
        EXPECT_NE(std::string::npos, sim::ReadFile(StepTracePath()).find(row.trace));
        EXPECT_NE(std::string::npos, sim::ReadFile(StepTracePath()).find("opened by other users: made private"));
        EXPECT_FALSE(sim::UserMay("C:\\TouchPad\\log", PF_FILE_READ_DATA));
        sim::ForeignClose(reader);
    }
}

TEST_F(RuntimeLog, LongCommandLineLeavesRoomForEveryLaterLine)
{
    sim::Machine().modulePath = "C:\\" + std::string(90, 'p') + "\\S.exe";
    memset(g_State.InstalledVersion, '9', PATH_CAPACITY - 1);
    memset(g_State.PackageVersion, '8', PATH_CAPACITY - 1);
    g_State.Debug = 1;
    const std::string endLines = "Exit code = 1641\r\n2026-12-7 9:30:5\r\n\r\n====";
    for (uint32_t codePage : {1252u, 932u}) {
        SCOPED_TRACE(codePage);
        sim::Machine().ansiCodePage = codePage;
        std::string commandLine = "/s " + std::string(5000, codePage == 932 ? '\x88' : 'x');
        char text[TEXT_CAPACITY];
        BuildLogText(0, text, commandLine.c_str(), kStart, 1641, 1641);
        std::string log = text;
        EXPECT_NE(std::string::npos, log.find(endLines));
        EXPECT_NE(std::string::npos, log.find(std::string(PATH_CAPACITY - 1, '8') + "\r\n"));
        size_t commandEnd = log.find("\r\nDate:");
        if (codePage == 932) {
            EXPECT_EQ(0u, (commandEnd - log.find(" /s ") - 4) % 2) << "a double-byte character was split";
        }
    }
}

TEST_F(RuntimeLog, ReportModeWritesTheReportInstead)
{
    strcpy(g_State.LogFilePath, "C:\\R\\report.ini");
    Write(0, "/s /f2C:\\R\\report.ini");
    EXPECT_EQ("[ResponseResult]\r\nResultCode=0\r\n", sim::ReadFile("C:\\R\\report.ini").substr(0, 32));
    EXPECT_FALSE(sim::FileExists(kLog));
    g_State.LogFilePath[0] = 0;
    Write(0, "/f2");
    EXPECT_FALSE(sim::FileExists(kLog));
    Write(0, "/F2");
    EXPECT_TRUE(sim::FileExists(kLog));
}

// Whole runs: the log as the setup sequence leaves it.
class RuntimeLogRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        sim::WriteFile("C:\\Pkg\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::WriteFile("C:\\Pkg\\Vi64\\Driver.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    }
    void Package(uint32_t support, uint32_t dpinstCode)
    {
        sim::WriteFile("C:\\Pkg\\Setup.ini",
                       "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=" + std::to_string(support) + "\r\n");
        sim::Machine().programs["C:\\Pkg\\Vi64\\DPInst.exe"].exitCode = dpinstCode;
    }
};

TEST_F(RuntimeLogRun, SilentDeploymentLeavesTheLog)
{
    Package(0x0C, 1);
    EXPECT_EQ(0, RunSetup(0, "/s"));
    EXPECT_EQ(LogFileBytes(ExpectedText("  Installed version:\r\n  Package version:\r\n", "Exit code = 0\r\n",
                                        "2026-12-7 9:30:5")),
              sim::ReadFile(kLog));
}

TEST_F(RuntimeLogRun, ExitCodeLineShowsTheResultWhateverTheExitCode)
{
    Package(SUPPORT_RUNTIME_LOG, 0x40000001u);
    EXPECT_EQ(0, RunSetup(0, "/s"));
    std::string expected = LogFileBytes("Update ready to be applied at reboot\r\nExit code = 1641\r\n");
    EXPECT_NE(std::string::npos, sim::ReadFile(kLog).find(expected.substr(2)));
}

TEST_F(RuntimeLogRun, InteractiveRunLogsOnlyWithTheLogBit)
{
    Package(SUPPORT_RUNTIME_LOG, 1);
    RunSetup(0, "");
    EXPECT_TRUE(sim::FileExists(kLog));
    sim::Reset();
    SetUp();
    Package(0x3B, 1);
    RunSetup(0, "");
    EXPECT_FALSE(sim::FileExists(kLog));
}

}  // namespace
