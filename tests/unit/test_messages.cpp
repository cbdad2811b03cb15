// Localized boxes and the usage screen: texts, captions and styles as shown.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <regex>

#include "core/desktop.h"
#include "core/message_box.h"
#include "core/messages.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "core/trace_file.h"
#include "sim/sim.h"

namespace {

class Messages : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    const sim::Box& OnlyBox()
    {
        EXPECT_EQ(1u, sim::Machine().boxes.size());
        return sim::Machine().boxes.back();
    }
};

void ShowRefusal(OutcomeKind outcome, uint32_t windowsError)
{
    RunOutcome end = EndWith(outcome, windowsError);
    ShowRefusalBox(0, &end);
}

TEST_F(Messages, InfoMessageAppendsTheCodeInHex)
{
    ShowRefusal(OUTCOME_DPINST_NOT_STARTED, 0x57);
    EXPECT_EQ(sim::EnglishText(IDS_LAUNCH_FAILED) + " [57]", OnlyBox().text);
    EXPECT_EQ(sim::EnglishText(IDS_CAPTION), OnlyBox().caption);
    EXPECT_EQ(0x40u, OnlyBox().style);
}

TEST_F(Messages, InfoMessageWithoutCodeShowsTheTextAlone)
{
    ShowRefusal(OUTCOME_UNSUPPORTED_WINDOWS, 0);
    EXPECT_EQ(sim::EnglishText(IDS_UNSUPPORTED_OS), OnlyBox().text);
}

TEST_F(Messages, CodeSuffixIsCutAtTheBufferNotPastIt)
{
    sim::Machine().strings[IDS_LAUNCH_FAILED] = std::string(255, 'x');
    ShowRefusal(OUTCOME_DPINST_NOT_STARTED, 0xFFFFFFFF);
    EXPECT_EQ(std::string(255, 'x') + " [FF", OnlyBox().text);
}

TEST_F(Messages, RightToLeftSystemsGetRightToLeftStyles)
{
    g_State.RightToLeftUi = 1;
    ShowRefusal(OUTCOME_FILES_MISSING, 2);
    EXPECT_EQ(0x180040u, sim::Machine().boxes.back().style);
    sim::Machine().answers = {PF_IDYES};
    EXPECT_EQ(PF_IDYES, AskYesNo(0, IDS_SAME_VERSION, IDS_CAPTION, PF_MB_DEFBUTTON2));
    EXPECT_EQ(0x180124u, sim::Machine().boxes.back().style);
}

TEST_F(Messages, QuestionHasNoAsDefaultAndReturnsTheAnswer)
{
    sim::Machine().answers = {PF_IDNO};
    EXPECT_EQ(PF_IDNO, AskYesNo(0, IDS_OLDER_VERSION, IDS_CAPTION, PF_MB_DEFBUTTON2));
    EXPECT_EQ(0x124u, OnlyBox().style);
    EXPECT_EQ(sim::EnglishText(IDS_OLDER_VERSION), OnlyBox().text);
}

TEST_F(Messages, MissingStringGivesAnEmptyBox)
{
    sim::Machine().strings.clear();
    ShowRefusal(OUTCOME_FILES_MISSING, 0);
    EXPECT_EQ("", OnlyBox().text);
    EXPECT_EQ("", OnlyBox().caption);
}

TEST_F(Messages, UsageScreenLengthsFollowTheSupportBits)
{
    SettingsRecord settings;
    memset(&settings, 0, sizeof(settings));
    char text[USAGE_CAPACITY];
    const struct {
        uint32_t support;
        size_t length;
    } cases[] = {{0, 191}, {3, 1321}, {0xFFFFFFC0u, 191}};
    for (const auto& c : cases) {
        settings.Support = c.support;
        BuildUsageText(&settings, text, USAGE_CAPACITY);
        EXPECT_EQ(c.length, strlen(text)) << "Support " << c.support;
    }
}

TEST_F(Messages, UsageParagraphsAreTiedToTheBitsAsShipped)
{
    SettingsRecord settings;
    memset(&settings, 0, sizeof(settings));
    char text[USAGE_CAPACITY];
    settings.Support = SUPPORT_PUBLIC_PROPERTIES;
    BuildUsageText(&settings, text, USAGE_CAPACITY);
    EXPECT_NE(nullptr, strstr(text, "\tUsage: Setup.exe /extract_all:<path>\n"));
    EXPECT_EQ(nullptr, strstr(text, "'LOGFILE'"));
    settings.Support = SUPPORT_EXTRACT_ALL;
    BuildUsageText(&settings, text, USAGE_CAPACITY);
    EXPECT_EQ(nullptr, strstr(text, "/extract_all\n"));
    EXPECT_NE(nullptr, strstr(text, "\tUsage: Setup.exe /vFORCE=true\n'FRESHINSTALL'\n"));
}

TEST_F(Messages, UsageBoxIsEnglishInformationWithoutRightToLeft)
{
    g_State.RightToLeftUi = 1;
    SettingsRecord settings;
    memset(&settings, 0, sizeof(settings));
    ShowUsage(0, &settings);
    EXPECT_EQ("Help", OnlyBox().caption);
    EXPECT_EQ(0x40u, OnlyBox().style);
    EXPECT_EQ(191u, OnlyBox().text.size());
}

TEST_F(Messages, EnterAnswersWithTheDefaultButton)
{
    const struct {
        uint32_t style;
        int answer;
    } cases[] = {
        {PF_MB_OK, PF_IDOK},
        {0x180040, PF_IDOK},
        {PF_MB_YESNO | PF_MB_ICONQUESTION, PF_IDYES},
        {0x180124, PF_IDNO},
        {PF_MB_OKCANCEL | PF_MB_DEFBUTTON2, PF_IDCANCEL},
        {PF_MB_YESNOCANCEL | PF_MB_DEFBUTTON3, PF_IDCANCEL},
        {PF_MB_YESNO | PF_MB_DEFBUTTON3, PF_IDYES},  // past the last button: the first
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.answer, DefaultBoxAnswer(c.style)) << std::hex << c.style;
}

TEST_F(Messages, HiddenDesktopShowsNothingAndAnswersTheDefault)
{
    sim::Machine().desktopVisible = false;
    sim::DecideDesktop();
    sim::Machine().answers = {PF_IDYES};
    EXPECT_EQ(PF_IDNO, AskYesNo(0, IDS_SAME_VERSION, IDS_CAPTION, PF_MB_DEFBUTTON2));
    ShowRefusal(OUTCOME_DPINST_NOT_STARTED, 2);
    EXPECT_TRUE(sim::Machine().boxes.empty());

    sim::Machine().desktopVisible = true;
    sim::DecideDesktop();
    sim::Machine().answers = {PF_IDYES};
    EXPECT_EQ(PF_IDYES, ShowBox("shown again", "caption", PF_MB_YESNO));
    EXPECT_EQ(1u, sim::Machine().boxes.size());
}

TEST_F(Messages, SessionZeroIsHiddenFromWindowsVistaOn)
{
    const struct {
        const char* label;
        uint32_t session;  // on a window station with WSF_VISIBLE
        uint32_t major;
        uint32_t sessionError;  // ProcessIdToSessionId fails with it
        int hidden;
    } rows[] = {
        {"Windows 10, session 1", 1, 10, 0, DESKTOP_VISIBLE},
        {"Vista, session 0", 0, 6, 0, DESKTOP_SESSION_ZERO},
        {"XP, session 0 is the console", 0, 5, 0, DESKTOP_VISIBLE},
        {"session unreadable: the window station decides", 1, 10, 5, DESKTOP_VISIBLE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        sim::Reset();
        sim::Machine().sessionId = row.session;
        sim::Machine().major = row.major;
        if (row.sessionError)
            sim::FailCall("PfProcessIdToSessionId", 1, row.sessionError, true);
        EXPECT_EQ(row.hidden, sim::DecideDesktop());
        sim::Machine().answers = {PF_IDYES};
        EXPECT_EQ(row.hidden ? PF_IDNO : PF_IDYES, ShowBox("ask", "caption", PF_MB_YESNO | PF_MB_DEFBUTTON2));
        EXPECT_EQ(row.hidden ? 0u : 1u, sim::Machine().boxes.size());
    }
}

// The step trace: where it goes, how it reads, and that it changes nothing.
class StepTrace : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    static std::string Trace() { return sim::ReadFile(StepTracePath()); }
};

TEST_F(StepTrace, NewFileNamedAfterProgramTimeAndProcessInUtf8Lines)
{
    sim::Machine().modulePath = "C:\\Pkg\\Setup-2.EXE";
    sim::Machine().ansiCodePage = 1256;
    sim::Machine().localTime.wMilliseconds = 7;
    TraceLine("before the trace is open: nowhere");
    PfSetLastError(0x57);  // a caller may be about to report it
    ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
    EXPECT_TRUE(std::regex_match(
        StepTracePath(), std::regex("C:\\\\Windows\\\\Temp\\\\Setup-2_20261207_093005_1234_[0-9a-f]{8}\\.log")))
        << StepTracePath();
    TraceLine("Box: \"%s\"", "line one \nline\ttwo \xC7\x01");
    CloseStepTrace("exit code %d", 1633);
    EXPECT_EQ(0x57u, PfGetLastError());
    EXPECT_EQ("\xEF\xBB\xBF"
              "2026-12-07 09:30:05.007  Box: \"line one \\nline\\ttwo \xD8\xA7\\x01\"\r\n"
              "2026-12-07 09:30:05.007  exit code 1633\r\n",
              Trace());
}

TEST_F(StepTrace, ALinkPlantedAtTheNameIsNeverFollowed)
{
    // A user who guessed the name puts a link there just before the create
    // (the walk opens C:\, Windows and Temp first): the trace takes another name.
    sim::Machine().races = {{"PfNtCreateFile", 4, [](const std::string& subject) {
                                 EXPECT_TRUE(sim::ForeignLink(subject, "C:\\Windows\\system32\\evil.dll"));
                             }}};
    ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
    CloseStepTrace("done");
    EXPECT_FALSE(sim::FileExists("C:\\Windows\\system32\\evil.dll"));
    EXPECT_EQ("\xEF\xBB\xBF", Trace().substr(0, 3));
    EXPECT_EQ(PF_FILE_ATTRIBUTE_ARCHIVE, PfGetFileAttributes(StepTracePath()));
}

TEST_F(StepTrace, GoesWhereGetTempPath2PointsWhereItExists)
{
    sim::MakeFolder("C:\\Windows\\SystemTemp");
    sim::Machine().hasGetTempPath2 = true;
    ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
    CloseStepTrace("done");
    EXPECT_EQ(0, strncmp(StepTracePath(), "C:\\Windows\\SystemTemp\\Setup_", 28)) << StepTracePath();
    // A temporary folder that is a link is not used: no trace, nothing else changes.
    SetUp();
    sim::MakeLink("C:\\Windows\\Temp2", "C:\\Elsewhere");
    sim::Machine().tempPath = "C:\\Windows\\Temp2\\";
    EXPECT_EQ(0, OpenStepTrace(0, &sim::Machine().localTime));
    EXPECT_FALSE(sim::FileExists("C:\\Elsewhere"));
    EXPECT_TRUE(sim::Machine().openHandles.empty());
}

TEST_F(StepTrace, OlderTracesBeyondTheLimitGoAndNothingElse)
{
    // 25 traces of earlier runs: with the run's own, 20 stay. Near-miss names,
    // a folder and a link named like the oldest traces are neither counted nor touched.
    auto older = [](int day, const char* hex) {
        char name[96];
        snprintf(name, sizeof(name), "C:\\Windows\\Temp\\Setup_202611%02d_120000_77_%s.log", day, hex);
        return std::string(name);
    };
    for (int day = 1; day <= 25; ++day)
        sim::WriteFile(older(day, "0000abcd"), "trace");
    const std::vector<std::string> untouched = {
        older(1, "0000abcg"),
        older(1, "0000abc"),
        older(1, "0000abcd") + ".txt",
        "C:\\Windows\\Temp\\Setup_2026110_120000_77_0000abcd.log",
        "C:\\Windows\\Temp\\Setup_20261101_120000__0000abcd.log",
        "C:\\Windows\\Temp\\Setup-2_20261101_120000_77_0000abcd.log",
        older(1, "0000abcf") + "\\inner.txt",  // a folder
    };
    for (const std::string& path : untouched)
        sim::WriteFile(path, "keep");
    sim::WriteFile("C:\\Keep\\target.log", "target");
    sim::MakeLink(older(1, "0000abce"), "C:\\Keep\\target.log");
    ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
    EXPECT_EQ(6, PruneStepTraces(0));
    CloseStepTrace("done");
    for (int day = 1; day <= 25; ++day)
        EXPECT_EQ(day > 6, sim::FileExists(older(day, "0000abcd"))) << day;
    for (const std::string& path : untouched)
        EXPECT_EQ("keep", sim::ReadFile(path)) << path;
    EXPECT_EQ(PF_FILE_ATTRIBUTE_REPARSE_POINT,
              PfGetFileAttributes(older(1, "0000abce").c_str()) & PF_FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ("target", sim::ReadFile("C:\\Keep\\target.log"));
    EXPECT_NE(std::string::npos, Trace().find("Step traces: 6 older ones removed, the newest 20 kept\r\n"));
    EXPECT_TRUE(sim::Machine().openHandles.empty());
    // Where a link to a file shows only in the handle's final path (Wine), it is still passed over.
    SetUp();
    sim::Machine().fileLinksHidden = true;
    for (int day = 1; day <= 20; ++day)
        sim::WriteFile(older(day, "0000abcd"), "trace");
    sim::WriteFile("C:\\Keep\\target.log", "target");
    sim::MakeLink(older(1, "0000abce"), "C:\\Keep\\target.log");
    ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
    EXPECT_EQ(1, PruneStepTraces(0));
    CloseStepTrace("done");
    EXPECT_FALSE(sim::FileExists(older(1, "0000abcd")));
    EXPECT_EQ("target", sim::ReadFile("C:\\Keep\\target.log"));
    // At the limit nothing goes.
    SetUp();
    for (int day = 1; day <= 19; ++day)
        sim::WriteFile(older(day, "0000abcd"), "trace");
    ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
    EXPECT_EQ(0, PruneStepTraces(0));
    CloseStepTrace("done");
    EXPECT_TRUE(sim::FileExists(older(1, "0000abcd")));
}

TEST_F(StepTrace, TraceStaysWithinOneMebibyteAndKeepsItsLastLine)
{
    ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
    std::string big(3000, 'x');
    for (int i = 0; i < 400; ++i)
        TraceLine("%d %s", i, big.c_str());
    CloseStepTrace("Result 0 (SUCCESS), exit code 0");
    std::string trace = Trace();
    EXPECT_LE(trace.size(), STEP_TRACE_LIMIT);
    EXPECT_GT(trace.size(), STEP_TRACE_LIMIT - 40000);
    EXPECT_NE(std::string::npos, trace.find("Trace limit reached"));
    EXPECT_EQ("exit code 0\r\n", trace.substr(trace.size() - 13));
}

}  // namespace
