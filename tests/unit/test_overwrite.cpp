// Asking before a same- or older-version install, and the version check that
// decides whether DPInst runs.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "app/setup_sequence.h"
#include "core/messages.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "core/trace_file.h"
#include "driver/overwrite.h"
#include "refusal.h"
#include "sim/sim.h"

namespace {

const char kTouchPadKey[] = "Software\\Vorn\\Glidex";
const char kInf[] = "C:\\Pkg\\W864\\Touch.inf";
const std::string kVersionHead = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
const std::string kPackageInf = kVersionHead + "DriverVer=05/18/2020,10.3.201.104\r\n";
const std::string kSame = sim::EnglishText(IDS_SAME_VERSION);
const std::string kOlder = sim::EnglishText(IDS_OLDER_VERSION);
const std::string kWarning = "Failed to get current Veltaro Touch Pad driver version";

// Each box as "caption: text (style)", joined by "|".
std::string Boxes()
{
    std::string all;
    for (const sim::Box& box : sim::Machine().boxes) {
        char style[16];
        snprintf(style, sizeof(style), "%#x", box.style);
        all += (all.empty() ? "" : "|") + box.caption + ": " + box.text + " (" + style + ")";
    }
    return all;
}

const std::string kAskSame = "Setup.exe: " + kSame + " (0x124)";
const std::string kAskOlder = "Setup.exe: " + kOlder + " (0x124)";
const std::string kWarn = "WARNING: " + kWarning + " (0x40)";

// installed == 0: no product key.
void Prepare(const std::string& inf, const char* installed)
{
    sim::Reset();
    sim::RunTarget().OsVersion.dwOSVersionInfoSize = sizeof(PfOsVersionInfo);
    PfGetVersionEx(&sim::RunTarget().OsVersion);
    sim::WriteFile(kInf, inf);
    if (installed)
        sim::SetRegistryString(kTouchPadKey, "ProductVer", installed, sim::View::Only64);
}

TEST(Overwrite, QuestionPolicy)
{
    const std::string noVersion = kVersionHead + "DriverVer=05/18/2020\r\n";
    const struct {
        const char* label;
        std::string inf;
        const char* installed;
        int answer;
        int expected;
        std::string boxes;
    } cases[] = {
        {"nothing installed", kPackageInf, 0, PF_IDYES, 1, ""},
        {"nothing installed, no package version", noVersion, 0, PF_IDYES, 1, ""},
        {"installed older: an upgrade", kPackageInf, "10.3.201.99", PF_IDYES, 1, ""},
        {"same, Yes", kPackageInf, "10.3.201.104", PF_IDYES, 1, kAskSame},
        {"same, No", kPackageInf, "10.3.201.104", PF_IDNO, 0, kAskSame},
        {"same, box failed", kPackageInf, "10.3.201.104", -1, 0, kAskSame},
        {"installed newer, Yes", kPackageInf, "7.0 10.4.0.0", PF_IDYES, 1, kAskOlder},
        {"installed newer, No", kPackageInf, "10.4.0.0", PF_IDNO, 0, kAskOlder},
        {"value without a word", kPackageInf, "  ", PF_IDOK, 0, kWarn},
        {"installed unparsable", kPackageInf, "10.3", PF_IDYES, 0, ""},
        {"no package version", noVersion, "10.3.201.104", PF_IDYES, 0, ""},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.label);
        Prepare(test.inf, test.installed);
        sim::Machine().answers = {test.answer};
        EXPECT_EQ(test.expected, GoesOnOrShows(ShowOverwriteMsg(0, sim::CurrentTarget(), kInf)));
        EXPECT_EQ(test.boxes, Boxes());
    }

    // An installed version that does not parse is named so, never taken for none.
    Prepare(kPackageInf, "abc.def");
    ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
    EXPECT_EQ(0, GoesOnOrShows(ShowOverwriteMsg(0, sim::CurrentTarget(), kInf)));
    CloseStepTrace("end");
    EXPECT_NE(std::string::npos, sim::ReadFile(StepTracePath())
                                     .find("installed \"abc.def\", package \"10.3.201.104\": the installed version "
                                           "is unreadable; the run stops"));
}

TEST(Overwrite, FixedWarningHasNoRightToLeftFlags)
{
    Prepare(kPackageInf, "");
    g_State.RightToLeftUi = 1;
    EXPECT_EQ(0, GoesOnOrShows(ShowOverwriteMsg(0, sim::CurrentTarget(), kInf)));
    EXPECT_EQ(kWarn, Boxes());
}

TEST(Overwrite, VersionCheckOutcomesAndLogTexts)
{
    const std::string token = kVersionHead + "DriverVer=05/18/2020,%Ver%\r\n[Strings]\r\nVer=10.3.201.99\r\n";
    const struct {
        const char* label;
        std::string inf;
        const char* installed;
        int expected, comparison;
        const char *installedText, *packageText;  // both held "before" until the check
    } cases[] = {
        {"nothing installed", kPackageInf, 0, 1, NOTHING_INSTALLED, "before", "10.3.201.104"},
        {"installed older", kPackageInf, "10.3.201.99", 1, OLDER_INSTALLED, "10.3.201.99", "10.3.201.104"},
        {"same", kPackageInf, "10.3.201.104", 1, SAME_INSTALLED, "10.3.201.104", "10.3.201.104"},
        {"installed newer", kPackageInf, "7.0 10.4.0.0", 1, NEWER_INSTALLED, "10.4.0.0", "10.3.201.104"},
        {"[Strings] token", token, "10.3.201.99", 1, SAME_INSTALLED, "10.3.201.99", "10.3.201.99"},
        {"value without a word", kPackageInf, "", 0, INSTALLED_UNREADABLE, "before", "before"},
        {"installed unparsable", kPackageInf, "10.3.201", 0, INSTALLED_UNREADABLE, "before", "before"},
        {"no DriverVer", kVersionHead, 0, 0, NOT_COMPARED, "before", "before"},
        {"package unparsable", kVersionHead + "DriverVer=05/18/2020,10.3\r\n", "10.3.201.104", 0, NOT_COMPARED,
         "before", "before"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.label);
        Prepare(test.inf, test.installed);
        strcpy(g_State.InstalledVersion, "before");
        strcpy(g_State.PackageVersion, "before");
        VersionComparison comparison = CheckOverwrite(sim::CurrentTarget(), kInf);
        EXPECT_EQ(test.expected, comparison >= NOTHING_INSTALLED ? 1 : 0);
        EXPECT_EQ(test.comparison, comparison);
        EXPECT_STREQ(test.installedText, g_State.InstalledVersion);
        EXPECT_STREQ(test.packageText, g_State.PackageVersion);
        EXPECT_EQ("", Boxes());
    }
}

// Whole runs on 64-bit Windows 10, the package's DPInst in W864 returning 1.
TEST(OverwriteInRun, PolicyOfWholeRuns)
{
    const struct {
        const char* label;
        const char* arguments;
        const char* installed;
        int answer;
        std::string boxes;
        int exit;
        bool dpinstRuns;
        const char* installedText;  // for the log
    } cases[] = {
        {"same, interactive, No", "", "10.3.201.104", PF_IDNO, kAskSame, 0, false, ""},
        {"installed newer, interactive, Yes", "", "10.4.0.0", PF_IDYES, kAskOlder, 0, true, "10.4.0.0"},
        {"package newer, interactive", "", "10.3.201.99", PF_IDNO, "", 0, true, "10.3.201.99"},
        {"nothing installed, interactive", "", 0, PF_IDNO, "", 0, true, ""},
        {"empty value, interactive", "", "", PF_IDNO, kWarn, 0, false, ""},
        {"same, silent", "/s", "10.3.201.104", PF_IDNO, "", 0, true, "10.3.201.104"},
        {"empty value, silent", "/q", "", PF_IDNO, "", 0, true, ""},
        {"same, silent, FORCE=false", "/s /vFORCE=false", "10.3.201.104", PF_IDNO, "", DEP_SOFT_ERROR, false,
         "10.3.201.104"},
        {"installed newer, Yes, FORCE=false", "/vFORCE=false", "10.4.0.0", PF_IDYES, kAskOlder, DEP_SOFT_ERROR,
         false, "10.4.0.0"},
        {"package newer, silent, FORCE=false", "/s /vFORCE=false", "10.3.201.99", PF_IDNO, "", 0, true,
         "10.3.201.99"},
        {"empty value, silent, FORCE=false: a failed check installs", "/s /vFORCE=false", "", PF_IDNO, "", 0, true,
         ""},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.label);
        Prepare(kPackageInf, test.installed);
        sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\W864\\DPInst.exe\r\nSupport=9\r\n");
        sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::Machine().programs["C:\\Pkg\\W864\\DPInst.exe"].exitCode = 1;
        sim::Machine().answers = {test.answer};
        EXPECT_EQ(test.exit, RunSetup(0, test.arguments));
        EXPECT_EQ(test.boxes, Boxes());
        EXPECT_EQ(test.dpinstRuns, !sim::Machine().processes.empty());
        EXPECT_STREQ(test.installedText, g_State.InstalledVersion);
    }
}

TEST(OverwriteInRun, SilentRunStoppedEarlyReadsVersionsForTheLogByProduct)
{
    // A 32-bit DPInst ends the run before the version check; the INF's name
    // selects the pointing-stick key.
    Prepare(kPackageInf, "1.1.1.1");
    PfDeleteFile(kInf);
    sim::WriteFile("C:\\Pkg\\W864\\GxPS2.inf", kPackageInf);
    sim::SetRegistryString("Software\\Vorn\\VornPoint\\Common\\Current", "ProductVer", "7.0 2.2.2.2",
                           sim::View::Only64);
    sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\W864\\DPInst.exe\r\n");
    sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_I386));
    EXPECT_EQ(0, RunSetup(0, "/s"));
    EXPECT_TRUE(sim::Machine().processes.empty());
    EXPECT_STREQ("10.3.201.104", g_State.PackageVersion);
    EXPECT_STREQ("2.2.2.2", g_State.InstalledVersion);
}

}  // namespace
