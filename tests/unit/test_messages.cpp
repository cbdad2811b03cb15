// Localized boxes and the usage screen: texts, captions and styles as shown.
#include <gtest/gtest.h>

#include <string.h>

#include "core/messages.h"
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

TEST_F(Messages, InfoMessageAppendsTheCodeInHex)
{
    ShowInfoMessage(0, IDS_LAUNCH_FAILED, IDS_CAPTION, 0x57);
    EXPECT_EQ(sim::EnglishText(IDS_LAUNCH_FAILED) + " [57]", OnlyBox().text);
    EXPECT_EQ(sim::EnglishText(IDS_CAPTION), OnlyBox().caption);
    EXPECT_EQ(0x40u, OnlyBox().style);
}

TEST_F(Messages, InfoMessageWithoutCodeShowsTheTextAlone)
{
    ShowInfoMessage(0, IDS_UNSUPPORTED_OS, IDS_CAPTION, 0);
    EXPECT_EQ(sim::EnglishText(IDS_UNSUPPORTED_OS), OnlyBox().text);
}

TEST_F(Messages, CodeSuffixIsCutAtTheBufferNotPastIt)
{
    sim::Machine().strings[IDS_LAUNCH_FAILED] = std::string(255, 'x');
    ShowInfoMessage(0, IDS_LAUNCH_FAILED, IDS_CAPTION, 0xFFFFFFFF);
    EXPECT_EQ(std::string(255, 'x') + " [FF", OnlyBox().text);
}

TEST_F(Messages, RightToLeftSystemsGetRightToLeftStyles)
{
    g_State.RightToLeftUi = 1;
    ShowInfoMessage(0, IDS_FILES_MISSING, IDS_CAPTION, 2);
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
    ShowInfoMessage(0, IDS_FILES_MISSING, IDS_CAPTION, 0);
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

}  // namespace
