// Driver extraction: the six copy commands, what stops them, and what they leave.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/extraction.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "sim/sim.h"

namespace {

// The interpreter drops the outer quotes; xcopy is named by its full path.
const std::string kXcopy = "\"\"C:\\Windows\\System32\\xcopy.exe\" \"";

const char* const kDestinations[] = {"Windows7-x86", "Windows8-x86", "Windows8.1-x86",
                                     "Windows7-x64", "Windows8-x64", "Windows8.1-x64"};

class ExtractionTest : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    void WriteVi32() { sim::WriteFile("C:\\Pkg\\Vi32\\Sub\\drv32.sys", std::string("32\0bits", 7)); }
    void WriteVi64() { sim::WriteFile("C:\\Pkg\\Vi64\\drv64.inf", "64"); }

    const std::vector<std::string>& Commands() { return sim::Machine().systemCommands; }

    // The command xcopy gets for one row of the table.
    static std::string Expected(const std::string& folder, const std::string& target, int row)
    {
        return kXcopy + folder + (row < 3 ? "\\Vi32" : "\\Vi64") + "\" \"" + target + "\\production\\" +
               kDestinations[row] + "\" /S /I /Y\"";
    }

    void ExpectFolders(const std::string& target, bool x86, bool x64)
    {
        for (int row = 0; row < 6; ++row) {
            std::string base = target + "\\production\\" + kDestinations[row];
            SCOPED_TRACE(base);
            if (row < 3)
                EXPECT_EQ(x86 ? std::string("32\0bits", 7) : "", sim::ReadFile(base + "\\Sub\\drv32.sys"));
            else
                EXPECT_EQ(x64 ? "64" : "", sim::ReadFile(base + "\\drv64.inf"));
            EXPECT_EQ(row < 3 ? x86 : x64, sim::FileExists(base));
        }
    }
};

TEST_F(ExtractionTest, RunsTheSixCopiesInTableOrder)
{
    WriteVi32();
    WriteVi64();
    sim::Machine().modulePath = "D:\\Media\\Setup.exe";
    sim::WriteFile("D:\\Media\\Vi32\\a.inf", "a");
    sim::WriteFile("D:\\Media\\Vi64\\b.inf", "b");

    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "E:\\Out").outcome);
    ASSERT_EQ(6u, Commands().size());
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ(Expected("D:\\Media", "E:\\Out", row), Commands()[row]) << row;
    EXPECT_EQ(kXcopy + "D:\\Media\\Vi32\" \"E:\\Out\\production\\Windows7-x86\" /S /I /Y\"", Commands()[0]);
    EXPECT_EQ("b", sim::ReadFile("E:\\Out\\production\\Windows8.1-x64\\b.inf"));
}

TEST_F(ExtractionTest, CopiesThePackageFoldersIntoTheProductionTree)
{
    WriteVi32();
    WriteVi64();
    EXPECT_EQ(OUTCOME_EXTRACTED,
              ExtractDrivers(sim::CurrentTarget(), "D:\\New\\Drivers").outcome);  // created on the way
    ExpectFolders("D:\\New\\Drivers", true, true);
}

TEST_F(ExtractionTest, OnlyTheFirstCopyDecidesTheResult)
{
    // Vi32 without Vi64: three folders, and still success.
    WriteVi32();
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
    EXPECT_EQ(6u, Commands().size());
    ExpectFolders("D:\\Out", true, false);

    // No Vi32: the first copy fails and nothing else runs.
    SetUp();
    WriteVi64();
    EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
    EXPECT_EQ(1u, Commands().size());
    ExpectFolders("D:\\Out", false, false);

    // A failing first copy stops at once, whatever xcopy reports.
    SetUp();
    int calls = 0;
    sim::Machine().systemHandler = [&](const std::string&) { return ++calls == 1 ? 5 : 0; };
    EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
    EXPECT_EQ(1, calls);

    // Later failures, or no command interpreter, go unnoticed.
    SetUp();
    calls = 0;
    sim::Machine().systemHandler = [&](const std::string&) { return ++calls == 1 ? 0 : -1; };
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
    EXPECT_EQ(6, calls);
}

TEST_F(ExtractionTest, TargetIsUsedAsGiven)
{
    WriteVi32();
    WriteVi64();
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out\\").outcome);
    EXPECT_EQ(kXcopy + "C:\\Pkg\\Vi32\" \"D:\\Out\\\\production\\Windows7-x86\" /S /I /Y\"", Commands()[0]);
    ExpectFolders("D:\\Out", true, true);

    // Empty: the tree lands on the root of the current drive.
    SetUp();
    WriteVi32();
    WriteVi64();
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "").outcome);
    EXPECT_EQ(kXcopy + "C:\\Pkg\\Vi32\" \"\\production\\Windows7-x86\" /S /I /Y\"", Commands()[0]);
    ExpectFolders("C:", true, true);
}

TEST_F(ExtractionTest, ALinkAmongTheTargetsFoldersReceivesNothing)
{
    for (const char* target : {"C:\\Linked\\Out", "C:\\Linked"}) {
        SCOPED_TRACE(target);
        SetUp();
        WriteVi32();
        sim::MakeFolder("C:\\Victim");
        sim::MakeLink("C:\\Linked", "C:\\Victim");
        EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), target).outcome);
        EXPECT_TRUE(Commands().empty());
        EXPECT_FALSE(sim::FileExists("C:\\Victim\\Out") || sim::FileExists("C:\\Victim\\production"));
    }
    // A folder any user may write in is still the administrator's choice.
    SetUp();
    WriteVi32();
    sim::MakeFolder("C:\\Shared");
    ASSERT_TRUE(sim::UserMayChange("C:\\Shared"));
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "C:\\Shared\\Out").outcome);
    ExpectFolders("C:\\Shared\\Out", true, false);
    EXPECT_TRUE(sim::Machine().openHandles.empty());
}

TEST_F(ExtractionTest, RefusesTargetsThatCouldChangeTheCommand)
{
    const char* targets[] = {
        "C:\\Out\" & echo pwned > C:\\pwned.txt & \"",  // breaks out of the quotes
        "C:\\Out\"",
        "C:\\Out\ncalc",  // a line end cuts the command short
        "C:\\Out\r",
        "C:\\Out /W",  // read by xcopy as "wait for a key"
        "C:/Out",
        "C:\\Out\\%CMDCMDLINE:~0,1%",  // expands even inside quotes
        "C:\\Out!X!",
    };
    for (const char* target : targets) {
        SCOPED_TRACE(testing::PrintToString(std::string(target)));
        SetUp();
        WriteVi32();
        WriteVi64();
        EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), target).outcome);
        EXPECT_TRUE(Commands().empty());
        EXPECT_TRUE(sim::Machine().calls.empty());
        EXPECT_FALSE(sim::FileExists("C:\\pwned.txt"));
    }
}

TEST_F(ExtractionTest, RunsNothingThatTheSearchOrderWouldHaveToFind)
{
    // The interpreter and xcopy come by full path from the system folders,
    // never from COMSPEC, SYSTEMROOT or the search path, which whoever starts
    // the program sets; the interpreter skips the registry's AutoRun.
    const struct {
        const char* label;
        const char* windows;  // the Windows folder, with system32 in it
        const char* failing;  // a call for a system folder that fails, or null
    } table[] = {
        {"COMSPEC and SYSTEMROOT name the package", "C:\\Windows", nullptr},
        {"Windows in D:\\WINNT", "D:\\WINNT", nullptr},
        {"the Windows folder cannot be read", "C:\\Windows", "PfGetSystemWindowsDirectory"},
        {"the system folder cannot be read", "C:\\Windows", "PfGetSystemDirectory"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.label);
        SetUp();
        WriteVi32();
        sim::MachineState& machine = sim::Machine();
        machine.environment["COMSPEC"] = "C:\\Pkg\\cmd.exe";
        machine.environment["SYSTEMROOT"] = "C:\\Pkg";
        sim::WriteFile("C:\\Pkg\\cmd.exe", "MZ");
        sim::WriteFile("C:\\Pkg\\System32\\xcopy.exe", "MZ");
        machine.interpreterAutoRun = "C:\\Users\\Public\\autorun.cmd";
        machine.windowsDirectory = row.windows;
        machine.systemDirectory = std::string(row.windows) + "\\system32";
        sim::WriteFile(machine.systemDirectory + "\\cmd.exe", "");
        if (row.failing)
            sim::FailCall(row.failing, 1, 5, true);
        EXPECT_EQ(row.failing ? OUTCOME_EXTRACTION_FAILED : OUTCOME_EXTRACTED,
                  ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
        EXPECT_TRUE(machine.processes.empty());
        ASSERT_EQ(row.failing ? 0u : 6u, Commands().size());
        if (!row.failing)
            EXPECT_EQ("\"\"" + std::string(row.windows) +
                          "\\System32\\xcopy.exe\" \"C:\\Pkg\\Vi32\" "
                          "\"D:\\Out\\production\\Windows7-x86\" /S /I /Y\"",
                      Commands()[0]);
    }
}

TEST_F(ExtractionTest, RefusesAProgramFolderTheInterpreterWouldExpand)
{
    sim::Machine().modulePath = "C:\\100% driver\\Setup.exe";
    EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), "C:\\Out").outcome);
    EXPECT_TRUE(Commands().empty());
}

TEST_F(ExtractionTest, LongPathsGiveWholeCommandsOrNone)
{
    // The longest folder and target the program can hand over fit whole.
    std::string folder = "C:\\" + std::string(246, 'f');
    std::string target = "D:\\" + std::string(516, 't');
    sim::Machine().modulePath = folder + "\\Setup.exe";  // 259 characters
    sim::Machine().systemHandler = [](const std::string&) { return 0; };
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), target.c_str()).outcome);
    ASSERT_EQ(6u, Commands().size());
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ(Expected(folder, target, row), Commands()[row]) << row;

    // Beyond that nothing runs, rather than a cut command.
    SetUp();
    sim::Machine().modulePath = folder + "\\Setup.exe";
    sim::Machine().systemHandler = [](const std::string&) { return 0; };
    std::string tooLong = "D:\\" + std::string(1100, 't');
    EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), tooLong.c_str()).outcome);
    EXPECT_TRUE(Commands().empty());
}

TEST_F(ExtractionTest, UnreadableProgramPathCopiesNothing)
{
    const std::string paths[] = {"", "C:\\" + std::string(300, 'p') + "\\Setup.exe"};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path.size());
        SetUp();
        sim::Machine().modulePath = path;
        sim::Machine().systemHandler = [](const std::string&) { return 0; };
        EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
        EXPECT_TRUE(Commands().empty());
    }
}

TEST_F(ExtractionTest, SourceThatIsAFileIsNeverHandedToXcopy)
{
    // xcopy would ask "file or directory?" for it and wait for an answer.
    sim::WriteFile("C:\\Pkg\\Vi32", "not a folder");
    WriteVi64();
    EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
    EXPECT_TRUE(Commands().empty());

    SetUp();
    WriteVi32();
    sim::WriteFile("C:\\Pkg\\Vi64", "not a folder");
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
    EXPECT_EQ(3u, Commands().size());
    ExpectFolders("D:\\Out", true, false);

    // An empty folder is still a folder.
    SetUp();
    sim::MakeFolder("C:\\Pkg\\Vi32");
    sim::Machine().systemHandler = [](const std::string&) { return 0; };
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
    EXPECT_EQ(6u, Commands().size());
}

TEST_F(ExtractionTest, ExtractAllTakesTheRestOfTheCommandLine)
{
    struct {
        const char* commandLine;
        OutcomeKind result;
        const char* target;  // null: nothing run
    } cases[] = {
        {"/extract_all:D:\\Out", OUTCOME_EXTRACTED, "D:\\Out"},
        {"/extract_all:\"D:\\My Out\"", OUTCOME_EXTRACTED, "D:\\My Out"},
        {"/extract_all:\"D:\\My Out", OUTCOME_EXTRACTED, "D:\\My Out"},
        {"/extract_all:", OUTCOME_EXTRACTED, ""},
        {"/extract_all:\"", OUTCOME_EXTRACTED, ""},
        {"/OEM1 /extract_all:D:\\Out", OUTCOME_EXTRACTED, "D:\\Out"},
        {"/extract_all:D:\\Out /OEM1", OUTCOME_EXTRACTION_FAILED, nullptr},  // a later switch is part of it
        {"/extract_all:\"D:\\a\" & calc & \"", OUTCOME_EXTRACTION_FAILED, nullptr},
        {"/Extract_all:D:\\Out", OUTCOME_GO_ON, nullptr},
        {"/extract_a", OUTCOME_GO_ON, nullptr},
        {"/s", OUTCOME_GO_ON, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        SetUp();
        sim::Machine().systemHandler = [](const std::string&) { return 0; };
        EXPECT_EQ(c.result, ParseExtractAll(sim::CurrentTarget(), c.commandLine).outcome);
        if (!c.target) {
            EXPECT_TRUE(Commands().empty());
            continue;
        }
        ASSERT_EQ(6u, Commands().size());
        EXPECT_EQ(Expected("C:\\Pkg", c.target, 0), Commands()[0]);
    }

    SetUp();  // a failed copy comes back as 3
    EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ParseExtractAll(sim::CurrentTarget(), "/extract_all:D:\\Out").outcome);
}

}  // namespace
