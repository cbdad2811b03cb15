// Driver extraction: the six copies, what stops them, and what they leave.
#include <gtest/gtest.h>

#include <dirent.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "actions/extraction.h"
#include "core/held_folders.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "sim/sim.h"

namespace {

const char* const kDestinations[] = {"Windows7-x86", "Windows8-x86", "Windows8.1-x86",
                                     "Windows7-x64", "Windows8-x64", "Windows8.1-x64"};

std::string ToLower(std::string text)
{
    for (char& c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

size_t CountFiles(const std::string& folder)
{
    size_t count = 0;
    if (DIR* dir = opendir(sim::HostPath(folder).c_str())) {
        while (dirent* entry = readdir(dir))
            count += entry->d_name[0] != '.';
        closedir(dir);
    }
    return count;
}

class ExtractionTest : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    void WriteVi32() { sim::WriteFile("C:\\Pkg\\Vi32\\Sub\\drv32.sys", std::string("32\0bits", 7)); }
    void WriteVi64() { sim::WriteFile("C:\\Pkg\\Vi64\\drv64.inf", "64"); }

    // Nothing is left to a command interpreter or another program.
    static void ExpectNothingStarted()
    {
        EXPECT_TRUE(sim::Machine().systemCommands.empty());
        EXPECT_TRUE(sim::Machine().processes.empty());
        EXPECT_TRUE(sim::Machine().openHandles.empty());
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

TEST_F(ExtractionTest, CopiesInTheProcessWhatXcopyCopied)
{
    sim::Machine().modulePath = "D:\\Media\\Setup.exe";
    sim::WriteFile("D:\\Media\\Vi32\\a.inf", "a");
    sim::WriteFile("D:\\Media\\Vi32\\~.inf", "tilde");  // a name another file's temporary could take
    sim::WriteFile("D:\\Media\\Vi32\\hidden.sys", "h");
    sim::SetAttributes("D:\\Media\\Vi32\\hidden.sys", PF_FILE_ATTRIBUTE_HIDDEN);
    sim::WriteFile("D:\\Media\\Vi32\\Sys\\system.sys", "s");
    sim::SetAttributes("D:\\Media\\Vi32\\Sys\\system.sys", PF_FILE_ATTRIBUTE_SYSTEM);
    sim::MakeFolder("D:\\Media\\Vi32\\Empty\\Deeper");
    sim::WriteFile("D:\\Media\\Vi64\\Deep\\Er\\b.inf", "b");
    const uint64_t kWritten = 130000000000000000ull;  // 2012
    sim::SetLastWriteTime("D:\\Media\\Vi32\\a.inf", kWritten);

    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "E:\\Out").outcome);
    ExpectNothingStarted();
    for (int row = 0; row < 3; ++row) {
        std::string base = std::string("E:\\Out\\production\\") + kDestinations[row];
        SCOPED_TRACE(base);
        EXPECT_EQ("a", sim::ReadFile(base + "\\a.inf"));
        EXPECT_EQ("tilde", sim::ReadFile(base + "\\~.inf"));
        EXPECT_EQ(kWritten, sim::LastWriteTime(base + "\\a.inf"));
        // Hidden and system files are left out, and with them folders left empty.
        EXPECT_FALSE(sim::FileExists(base + "\\hidden.sys") || sim::FileExists(base + "\\Sys") ||
                     sim::FileExists(base + "\\Empty"));
        EXPECT_EQ(PROTECTED_FOLDER_SDDL, sim::Machine().folderSddl[ToLower(base)]);
    }
    EXPECT_EQ("b", sim::ReadFile("E:\\Out\\production\\Windows8.1-x64\\Deep\\Er\\b.inf"));
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
    ExpectFolders("D:\\Out", true, false);

    // No Vi32: the first copy fails, nothing else is copied and no folder made.
    SetUp();
    WriteVi64();
    EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
    EXPECT_FALSE(sim::FileExists("D:\\Out"));

    // A write failing in the first copy stops at once; in a later one it goes unnoticed.
    for (uint32_t nth : {1u, 2u}) {
        SCOPED_TRACE(nth);
        SetUp();
        WriteVi32();
        WriteVi64();
        sim::FailCall("PfWriteFile", nth, 112);
        EXPECT_EQ(nth == 1 ? OUTCOME_EXTRACTION_FAILED : OUTCOME_EXTRACTED,
                  ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
        EXPECT_EQ(nth == 1 ? "" : "64", sim::ReadFile("D:\\Out\\production\\Windows8.1-x64\\drv64.inf"));
        EXPECT_FALSE(sim::FileExists("D:\\Out\\production\\Windows" + std::string(nth == 1 ? "7" : "8") +
                                     "-x86\\Sub\\drv32.sys"));
        ExpectNothingStarted();
    }
}

TEST_F(ExtractionTest, TargetIsUsedAsGiven)
{
    WriteVi32();
    WriteVi64();
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out\\").outcome);
    ExpectFolders("D:\\Out", true, true);

    // Empty: the tree lands on the root of the current drive.
    SetUp();
    WriteVi32();
    WriteVi64();
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "").outcome);
    ExpectFolders("C:", true, true);

    // A program folder the interpreter would have expanded is only a name now.
    SetUp();
    sim::Machine().modulePath = "C:\\100% driver\\Setup.exe";
    sim::WriteFile("C:\\100% driver\\Vi32\\a.inf", "a");
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "C:\\Out").outcome);
    EXPECT_EQ("a", sim::ReadFile("C:\\Out\\production\\Windows7-x86\\a.inf"));
}

// Links among the target's folders, at production, at a platform folder or
// below it receive nothing; an earlier extraction's file that became a link
// or a hard link is replaced, never written through.
TEST_F(ExtractionTest, ALinkAmongTheTargetsFoldersReceivesNothing)
{
    const struct {
        const char* label;
        std::function<void()> plant;
        OutcomeKind outcome;
    } rows[] = {
        {"C:\\Linked is a link", [] { sim::MakeLink("C:\\Linked", "C:\\Victim"); }, OUTCOME_EXTRACTION_FAILED},
        {"a junction at production",
         [] {
             sim::MakeFolder("C:\\Linked");
             sim::ForeignLink("C:\\Linked\\production", "C:\\Victim");
         },
         OUTCOME_EXTRACTION_FAILED},
        {"a junction at the first platform folder",
         [] {
             sim::MakeFolder("C:\\Linked\\production");
             sim::ForeignLink("C:\\Linked\\production\\Windows7-x86", "C:\\Victim");
         },
         OUTCOME_EXTRACTION_FAILED},
        {"a junction at a later platform folder",
         [] {
             sim::MakeFolder("C:\\Linked\\production");
             sim::ForeignLink("C:\\Linked\\production\\Windows8-x86", "C:\\Victim");
         },
         OUTCOME_EXTRACTED},
        {"a junction below a platform folder",
         [] {
             sim::MakeFolder("C:\\Linked\\production\\Windows8.1-x86");
             sim::ForeignLink("C:\\Linked\\production\\Windows8.1-x86\\Sub", "C:\\Victim");
         },
         OUTCOME_EXTRACTED},
        {"a hard link at an earlier extraction's file",
         [] {
             sim::MakeFolder("C:\\Linked\\production\\Windows7-x86\\Sub");
             sim::SetSecurity("C:\\Linked", "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FA;;;AU)");
             sim::ForeignHardLink("C:\\Linked\\production\\Windows7-x86\\Sub\\drv32.sys", "C:\\Victim\\drv32.sys");
         },
         OUTCOME_EXTRACTED},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        SetUp();
        WriteVi32();
        sim::WriteFile("C:\\Victim\\drv32.sys", "victim");
        row.plant();
        bool linkedTarget = strstr(row.label, "is a link") != nullptr;
        if (!linkedTarget)
            ASSERT_TRUE(sim::FileExists(strstr(row.label, "hard")
                                            ? "C:\\Linked\\production\\Windows7-x86\\Sub\\drv32.sys"
                                            : "C:\\Linked\\production"));
        EXPECT_EQ(row.outcome,
                  ExtractDrivers(sim::CurrentTarget(), linkedTarget ? "C:\\Linked\\Out" : "C:\\Linked").outcome);
        EXPECT_EQ("victim", sim::ReadFile("C:\\Victim\\drv32.sys"));
        EXPECT_FALSE(sim::FileExists("C:\\Victim\\Out") || sim::FileExists("C:\\Victim\\production") ||
                     sim::FileExists("C:\\Victim\\Sub") || sim::FileExists("C:\\Victim\\drv32.sys\\x"));
        EXPECT_EQ(1u, CountFiles("C:\\Victim"));
        ExpectNothingStarted();
    }
    // A folder any user may write in is still the administrator's choice;
    // what the run makes in it only administrators may change.
    SetUp();
    WriteVi32();
    sim::MakeFolder("C:\\Shared");
    ASSERT_TRUE(sim::UserMayChange("C:\\Shared"));
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "C:\\Shared\\Out").outcome);
    ExpectFolders("C:\\Shared\\Out", true, false);
    EXPECT_TRUE(sim::UserMayChange("C:\\Shared"));
    EXPECT_FALSE(sim::UserMayChange("C:\\Shared\\Out\\production\\Windows7-x86"));
    ExpectNothingStarted();
    // An earlier production others may change is protected in place.
    SetUp();
    WriteVi32();
    sim::MakeFolder("C:\\Out\\production");
    ASSERT_TRUE(sim::UserMayChange("C:\\Out\\production"));
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "C:\\Out").outcome);
    EXPECT_FALSE(sim::UserMayChange("C:\\Out\\production"));
}

TEST_F(ExtractionTest, RefusesTargetsThatCouldChangeTheCommand)
{
    // Refused as when a command interpreter ran the copies.
    const char* targets[] = {
        "C:\\Out\" & echo pwned > C:\\pwned.txt & \"",
        "C:\\Out\"",
        "C:\\Out\ncalc",
        "C:\\Out\r",
        "C:/Out",
        "C:\\Out\\%CMDCMDLINE:~0,1%",
        "C:\\Out!X!",
    };
    for (const char* target : targets) {
        SCOPED_TRACE(testing::PrintToString(std::string(target)));
        SetUp();
        WriteVi32();
        WriteVi64();
        EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), target).outcome);
        ExpectNothingStarted();
        EXPECT_FALSE(sim::FileExists("C:\\pwned.txt") || sim::FileExists("C:\\Out"));
    }
}

TEST_F(ExtractionTest, LongAndUnreadablePaths)
{
    // A target as long as the parsers hand over, in many folders.
    std::string target = "D:";
    while (target.size() < 500)
        target += "\\" + std::string(40, 't');
    WriteVi32();
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), target.c_str()).outcome);
    EXPECT_EQ(std::string("32\0bits", 7), sim::ReadFile(target + "\\production\\Windows7-x86\\Sub\\drv32.sys"));

    const std::string paths[] = {"", "C:\\" + std::string(300, 'p') + "\\Setup.exe"};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path.size());
        SetUp();
        WriteVi32();
        sim::Machine().modulePath = path;
        EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
        EXPECT_FALSE(sim::FileExists("D:\\Out"));
    }
}

TEST_F(ExtractionTest, SourceThatIsAFileOrEmptyCopiesNothing)
{
    sim::WriteFile("C:\\Pkg\\Vi32", "not a folder");
    WriteVi64();
    EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
    EXPECT_FALSE(sim::FileExists("D:\\Out"));

    SetUp();
    WriteVi32();
    sim::WriteFile("C:\\Pkg\\Vi64", "not a folder");
    EXPECT_EQ(OUTCOME_EXTRACTED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
    ExpectFolders("D:\\Out", true, false);

    // No file to copy is a failed copy for xcopy ("0 File(s) copied", exit 1).
    SetUp();
    sim::MakeFolder("C:\\Pkg\\Vi32\\Empty");
    WriteVi64();
    EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ExtractDrivers(sim::CurrentTarget(), "D:\\Out").outcome);
    EXPECT_FALSE(sim::FileExists("D:\\Out\\production"));
}

TEST_F(ExtractionTest, ExtractAllTakesTheRestOfTheCommandLine)
{
    struct {
        const char* commandLine;
        OutcomeKind result;
        const char* target;  // null: nothing copied
    } cases[] = {
        {"/extract_all:D:\\Out", OUTCOME_EXTRACTED, "D:\\Out"},
        {"/extract_all:\"D:\\My Out\"", OUTCOME_EXTRACTED, "D:\\My Out"},
        {"/extract_all:\"D:\\My Out", OUTCOME_EXTRACTED, "D:\\My Out"},
        {"/extract_all:", OUTCOME_EXTRACTED, "C:"},
        {"/extract_all:\"", OUTCOME_EXTRACTED, "C:"},
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
        WriteVi32();
        EXPECT_EQ(c.result, ParseExtractAll(sim::CurrentTarget(), c.commandLine).outcome);
        if (c.target)
            EXPECT_EQ(std::string("32\0bits", 7),
                      sim::ReadFile(std::string(c.target) + "\\production\\Windows7-x86\\Sub\\drv32.sys"));
        EXPECT_FALSE(sim::FileExists("D:\\Out\\ \\OEM1") || sim::FileExists("D:\\a"));
    }

    SetUp();  // a failed copy comes back as 3
    EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, ParseExtractAll(sim::CurrentTarget(), "/extract_all:D:\\Out").outcome);
}

}  // namespace
