// The custom request file on the system drive.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/setup_sequence.h"
#include "config/custom_request.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "sim/sim.h"
#include "util/bounded_string.h"

namespace {

const char kRequestFile[] = "C:\\VornCustomSetting\\VornCoustomSet.ini";

class CustomRequest : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    void Request(const char* section, const std::string& settings)
    {
        BoundedCopy(g_State.CustomRequestSection, PATH_CAPACITY, section);
        sim::WriteFile("C:\\Pkg\\Setup.ini", settings);
    }
};

TEST_F(CustomRequest, TextIsWrittenExactlyWithoutLineEnd)
{
    Request("OEM1", "[oem1]\r\nCustomRequestCnt=1\r\nCustomRequest=  \"Mode=2; Tap=off\"  \r\n");
    WriteCustomRequestFile(sim::CurrentTarget());
    EXPECT_EQ("Mode=2; Tap=off", sim::ReadFile(kRequestFile));
}

TEST_F(CustomRequest, CountSizesTheTextBuffer)
{
    const std::string text(300, 'r');
    const struct {
        const char* count;
        size_t written;
    } table[] = {{"1", 259}, {"2", 300}, {"4096", 300}};
    for (const auto& row : table) {
        SCOPED_TRACE(row.count);
        sim::Reset();
        Request("OEM1",
                std::string("[OEM1]\r\nCustomRequestCnt=") + row.count + "\r\nCustomRequest=" + text + "\r\n");
        WriteCustomRequestFile(sim::CurrentTarget());
        EXPECT_EQ(text.substr(0, row.written), sim::ReadFile(kRequestFile));
    }
}

TEST_F(CustomRequest, NothingIsWrittenWithoutAUsableCount)
{
    const char* counts[] = {
        "CustomRequestCnt=0\r\n",    "CustomRequestCnt=-1\r\n",         "",
        "CustomRequestCnt=4097\r\n", "CustomRequestCnt=2147483647\r\n", "CustomRequestCnt=16519105\r\n"};
    for (const char* count : counts) {
        SCOPED_TRACE(count);
        sim::Reset();
        Request("OEM1", std::string("[OEM1]\r\n") + count + "CustomRequest=text\r\n");
        WriteCustomRequestFile(sim::CurrentTarget());
        EXPECT_FALSE(sim::FileExists(kRequestFile));
    }
}

TEST_F(CustomRequest, NoRequestNamedOrNoSectionWritesNothing)
{
    Request("", "[OEM1]\r\nCustomRequestCnt=1\r\nCustomRequest=text\r\n");
    WriteCustomRequestFile(sim::CurrentTarget());
    EXPECT_FALSE(sim::FileExists(kRequestFile));
    Request("OEM2", "[OEM1]\r\nCustomRequestCnt=1\r\nCustomRequest=text\r\n");
    WriteCustomRequestFile(sim::CurrentTarget());
    EXPECT_FALSE(sim::FileExists(kRequestFile));
}

TEST_F(CustomRequest, MissingTextGivesAnEmptyFileThatReplacesTheOldOne)
{
    sim::WriteFile(kRequestFile, "an older and much longer request");
    Request("OEM1", "[OEM1]\r\nCustomRequestCnt=1\r\n");
    WriteCustomRequestFile(sim::CurrentTarget());
    ASSERT_TRUE(sim::FileExists(kRequestFile));
    EXPECT_EQ("", sim::ReadFile(kRequestFile));
}

TEST_F(CustomRequest, FileFollowsTheDriveOfTheWindowsFolder)
{
    sim::Machine().windowsDirectory = "D:\\Windows";
    sim::Machine().environment["SYSTEMDRIVE"] = "E:";  // the caller's, not Windows'
    Request("OEM1", "[OEM1]\r\nCustomRequestCnt=1\r\nCustomRequest=on D\r\n");
    WriteCustomRequestFile(sim::CurrentTarget());
    EXPECT_EQ("on D", sim::ReadFile("D:\\VornCustomSetting\\VornCoustomSet.ini"));
    DeleteCustomRequestFile();
    EXPECT_FALSE(sim::FileExists("D:\\VornCustomSetting\\VornCoustomSet.ini"));
    EXPECT_TRUE(sim::FileExists("D:\\VornCustomSetting"));
    EXPECT_FALSE(sim::FileExists("E:\\VornCustomSetting"));
}

TEST_F(CustomRequest, UnknownSystemDriveWritesAndDeletesNothing)
{
    // Without a drive, the folder's name would be taken from the current folder.
    const struct {
        const char* label;
        const char* windows;
        bool readFails;
    } rows[] = {
        {"the Windows folder cannot be read", "C:\\Windows", true},
        {"the Windows folder is on no drive", "\\\\server\\Windows", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        SetUp();
        sim::Machine().windowsDirectory = row.windows;
        if (row.readFails)
            sim::FailCall("PfGetSystemWindowsDirectory", 1, 5, true);
        sim::WriteFile(kRequestFile, "keep");
        Request("OEM1", "[OEM1]\r\nCustomRequestCnt=1\r\nCustomRequest=text\r\n");
        DeleteCustomRequestFile();
        WriteCustomRequestFile(sim::CurrentTarget());
        EXPECT_EQ("keep", sim::ReadFile(kRequestFile));
        EXPECT_FALSE(sim::FileExists("\\\\server\\VornCustomSetting"));
        EXPECT_TRUE(sim::Machine().openHandles.empty());
    }
}

TEST_F(CustomRequest, DeleteLeavesTheFolderAndToleratesAMissingFile)
{
    sim::WriteFile(kRequestFile, "old");
    DeleteCustomRequestFile();
    EXPECT_FALSE(sim::FileExists(kRequestFile));
    EXPECT_TRUE(sim::FileExists("C:\\VornCustomSetting"));
    DeleteCustomRequestFile();
    EXPECT_TRUE(sim::Machine().boxes.empty());
}

TEST_F(CustomRequest, LinksAndForeignFoldersNeverLeadTheDeleteOrTheWriteElsewhere)
{
    const std::string kFolder = "C:\\VornCustomSetting";
    const uint32_t kAnyShare = PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE;
    PfHandle early = 0;
    // Whatever was at the folder's name is moved aside and a new folder made,
    // so that no handle opened before the run reaches what the driver reads.
    const struct {
        const char* label;
        std::function<void()> prepare;
        bool written;
        bool plantedStays;
    } rows[] = {
        {"a plain folder", [] { sim::WriteFile(kRequestFile, "old"); }, true, false},
        {"a protected folder of the administrators'",
         [&] {
             sim::WriteFile(kRequestFile, "old");
             sim::SetSecurity(kFolder, "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)");
         },
         true, false},
        {"the folder a link", [] { sim::MakeLink("C:\\VornCustomSetting", "C:\\Other"); }, true, false},
        {"a file at the folder's name", [] { sim::WriteFile("C:\\VornCustomSetting", "planted"); }, true, false},
        {"the folder a user's",
         [] {
             sim::WriteFile(kRequestFile, "old");
             sim::Machine().owners["C:\\VornCustomSetting"] = sim::kUserSid;
         },
         true, false},
        {"the user's file held open",
         [&] {
             sim::WriteFile(kRequestFile, "old");
             early = sim::ForeignOpen(kRequestFile, PF_GENERIC_READ, PF_FILE_SHARE_READ);
         },
         true, false},
        {"the folder held by its user with DELETE",
         [&] {
             sim::WriteFile(kRequestFile, "old");
             sim::Machine().owners["C:\\VornCustomSetting"] = sim::kUserSid;
             early = sim::ForeignOpen(kFolder, PF_DELETE | PF_FILE_READ_ATTRIBUTES, kAnyShare);
         },
         true, false},
        {"a WRITE_DAC handle opened before",
         [&] {
             sim::WriteFile(kRequestFile, "old");
             sim::Machine().owners["C:\\VornCustomSetting"] = sim::kUserSid;
             early = sim::ForeignOpen(kFolder, PF_WRITE_DAC | PF_READ_CONTROL, kAnyShare);
         },
         true, false},
        // Not to be moved: the request is not written, the planted file goes
        // where Windows lets it.
        {"the folder held without delete sharing",
         [&] {
             sim::WriteFile(kRequestFile, "old");
             sim::Machine().owners["C:\\VornCustomSetting"] = sim::kUserSid;
             early = sim::ForeignOpen(kFolder, PF_GENERIC_READ, PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE);
         },
         false, false},
        {"the folder and the file held without delete sharing",
         [&] {
             sim::WriteFile(kRequestFile, "old");
             sim::Machine().owners["C:\\VornCustomSetting"] = sim::kUserSid;
             early = sim::ForeignOpen(kFolder, PF_GENERIC_READ, PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE);
             sim::ForeignOpen(kRequestFile, PF_GENERIC_READ, PF_FILE_SHARE_READ);
         },
         false, true},
        {"the file a link", [] { sim::MakeLink(kRequestFile, "C:\\Other\\VornCoustomSet.ini"); }, true, false},
        {"the file a hard link", [] { sim::MakeHardLink(kRequestFile, "C:\\Other\\VornCoustomSet.ini"); }, true,
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        sim::Reset();
        early = 0;
        sim::WriteFile("C:\\Other\\VornCoustomSet.ini", "victim");
        row.prepare();
        Request("OEM1", "[OEM1]\r\nCustomRequestCnt=1\r\nCustomRequest=Mode=2\r\n");
        DeleteCustomRequestFile();
        EXPECT_EQ(row.plantedStays, sim::FileExists(kRequestFile));
        WriteCustomRequestFile(sim::CurrentTarget());
        // A handle from before changes nothing the driver reads.
        if (early)
            sim::ForeignSetSecurity(early, "D:(A;OICI;FA;;;WD)");
        EXPECT_EQ("victim", sim::ReadFile("C:\\Other\\VornCoustomSet.ini"));
        EXPECT_EQ(row.written, sim::FileExists(kRequestFile) && sim::ReadFile(kRequestFile) == "Mode=2");
        if (row.written) {
            EXPECT_EQ(PF_FILE_ATTRIBUTE_ARCHIVE, PfGetFileAttributes(kRequestFile));  // a file of its own
            EXPECT_FALSE(sim::UserMayChange(kFolder));
            EXPECT_FALSE(sim::UserMay(kRequestFile, PF_GENERIC_READ));  // nobody but administrators opens it
        }
        EXPECT_TRUE(sim::Machine().openHandles.empty());
    }
}

// Whole runs: the file is replaced on the installation path only.
class CustomRequestInRuns : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=10\r\n"
                                             "[OEM1]\r\nCustomRequestCnt=1\r\nCustomRequest=requested\r\n");
        sim::WriteFile("C:\\Pkg\\Vi32\\Driver.inf", "[Version]\r\n");
        sim::WriteFile("C:\\Pkg\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::WriteFile("C:\\Pkg\\Vi64\\Driver.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
        sim::Machine().programs["C:\\Pkg\\Vi64\\DPInst.exe"].exitCode = 1;
        sim::WriteFile(kRequestFile, "from an earlier run");
    }
};

TEST_F(CustomRequestInRuns, PlainInstallationDeletesTheOldFile)
{
    EXPECT_EQ(SUCCESS, RunSetup(0, "/s"));
    EXPECT_FALSE(sim::FileExists(kRequestFile));
}

TEST_F(CustomRequestInRuns, NamedRequestReplacesTheOldFile)
{
    EXPECT_EQ(SUCCESS, RunSetup(0, "/s /OEM1"));
    EXPECT_EQ("requested", sim::ReadFile(kRequestFile));
}

TEST_F(CustomRequestInRuns, ExtractionKeepsTheFile)
{
    EXPECT_EQ(SUCCESS, RunSetup(0, "/OEM1 /extract_all:C:\\Out"));
    EXPECT_TRUE(sim::FileExists("C:\\Out\\production"));
    EXPECT_EQ("from an earlier run", sim::ReadFile(kRequestFile));
}

TEST_F(CustomRequestInRuns, RunEndingAtTheVersionQuestionKeepsTheFile)
{
    // An installed version that cannot be read ends an interactive run at the question.
    sim::SetRegistryString("Software\\Vorn\\Glidex", "ProductVer", " ", sim::View::Only64);
    EXPECT_EQ(0, RunSetup(0, ""));
    EXPECT_TRUE(sim::Machine().processes.empty());
    EXPECT_EQ("from an earlier run", sim::ReadFile(kRequestFile));
}

TEST_F(CustomRequestInRuns, RunEndingAtTheUsageScreenKeepsTheFile)
{
    EXPECT_EQ(SUCCESS, RunSetup(0, "/?"));
    EXPECT_EQ("from an earlier run", sim::ReadFile(kRequestFile));
}

}  // namespace
