// Reading the installed driver's version and comparing it with the package's.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "core/result_codes.h"
#include "core/setup_state.h"
#include "driver/installed_version.h"
#include "sim/sim.h"

namespace {

const char kTouchPadKey[] = "Software\\Vorn\\Glidex";
const char kPointingStickKey[] = "Software\\Vorn\\VornPoint\\Common\\Current";

class InstalledVersion : public ::testing::Test {
protected:
    void SetUp() override { Prepare(); }

    // A fresh machine, with the Windows version read as the setup sequence does.
    static void Prepare()
    {
        sim::Reset();
        sim::RunTarget().OsVersion.dwOSVersionInfoSize = sizeof(PfOsVersionInfo);
        PfGetVersionEx(&sim::RunTarget().OsVersion);
    }
};

TEST_F(InstalledVersion, ComparisonTable)
{
    const struct {
        const char* installed;
        const char* package;
        VersionComparison expected;
    } cases[] = {
        {"10.3.201.104", "10.3.201.104", SAME_INSTALLED},
        {"10.3.201.99", "10.3.201.104", OLDER_INSTALLED},
        {"10.4.0.0", "10.3.999.999", NEWER_INSTALLED},
        {"010.3.201.104", "10.3.201.104", SAME_INSTALLED},
        {"10.3.201.104 beta", "10.3.201.104", SAME_INSTALLED},
        {" +10. 3.\t201.104", "10.3.201.104", SAME_INSTALLED},  // scanf: blanks and sign before each number
        {"-1.0.0.0", "0.0.0.0", OLDER_INSTALLED},               // signed
        {"2147483647.0.0.0", "-2147483648.0.0.0", NEWER_INSTALLED},
        {"10.3.201", "10.3.201.104", INSTALLED_UNREADABLE},
        {"10.3.201.104", "10.3.201", NOT_COMPARED},
        {"10.3.201", "bad", INSTALLED_UNREADABLE},  // the installed text is parsed first
        {"", "10.3.201.104", INSTALLED_UNREADABLE},
        {"10 .3.201.104", "10.3.201.104", INSTALLED_UNREADABLE},  // the dot must follow the number
        {"10.3.201.+", "10.3.201.104", INSTALLED_UNREADABLE},
        {"2147483648.0.0.0", "10.3.201.104", INSTALLED_UNREADABLE},  // beyond 32 bits: refused, not wrapped
        {"10.3.201.104", "99999999999999999999.0.0.0", NOT_COMPARED},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(std::string(test.installed) + " vs " + test.package);
        EXPECT_EQ(test.expected, loc_CopmareDrvVersion(test.installed, test.package));
    }
}

TEST_F(InstalledVersion, VersionWordFromProductVer)
{
    const std::string longWord(259, '7');
    const struct {
        const char* label;
        std::string stored;  // the value's raw bytes
        int expected;
        std::string word;
    } cases[] = {
        {"one word", std::string("10.3.201.104\0", 13), 1, "10.3.201.104"},
        {"two words", std::string("7.0 10.3.201.104\0", 17), 1, "10.3.201.104"},
        {"three words", std::string(" 7.0\t10.3.201.104 extra\0", 24), 1, "10.3.201.104"},
        {"empty", std::string("\0", 1), -2, "untouched"},
        {"no bytes", "", -2, "untouched"},
        {"whitespace", std::string(" \t \0", 4), -2, "untouched"},
        {"no terminator", "10.3.201.104", 1, "10.3.201.104"},
        {"259 characters", longWord + '\0', 1, longWord},
        {"260 bytes, no terminator", std::string(260, '8'), 0, "untouched"},
        {"too long", std::string(300, '9') + '\0', 0, "untouched"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.label);
        Prepare();
        sim::Machine().registry.push_back({kTouchPadKey, "ProductVer", test.stored, sim::View::Both});
        char word[PATH_CAPACITY] = "untouched";
        EXPECT_EQ(test.expected, loc_QueryGpDrvVersion(&sim::RunTarget().OsVersion, word));
        EXPECT_EQ(test.word, word);
        EXPECT_TRUE(sim::Machine().openHandles.empty());
    }
}

TEST_F(InstalledVersion, UnreadableValueMeansNothingInstalled)
{
    char word[PATH_CAPACITY] = "untouched";
    EXPECT_EQ(0, loc_QueryGpDrvVersion(&sim::RunTarget().OsVersion, word));  // no key
    sim::SetRegistryString(kTouchPadKey, "OtherValue", "1.2.3.4");
    EXPECT_EQ(0, loc_QueryGpDrvVersion(&sim::RunTarget().OsVersion, word));  // no value
    EXPECT_STREQ("untouched", word);
    // The unterminated 260 bytes are refused as too long, and nothing is left in the buffer.
    sim::Machine().registry.push_back({kTouchPadKey, "Full", std::string(260, 'y'), sim::View::Both});
    EXPECT_EQ((int32_t)PF_ERROR_MORE_DATA,
              REG_ReadSz(&sim::RunTarget().OsVersion, PF_HKEY_LOCAL_MACHINE, kTouchPadKey, "Full", word));
    EXPECT_STREQ("", word);
}

TEST_F(InstalledVersion, InfFileNameChoosesTheProductKey)
{
    sim::SetRegistryString(kTouchPadKey, "ProductVer", "1.1.1.1");
    sim::SetRegistryString(kPointingStickKey, "ProductVer", "2.2.2.2");
    const char* cases[][2] = {
        {"C:\\Pkg\\W864\\GxPS2.inf", "2.2.2.2"},
        {"C:\\Pkg\\W864\\gxps2.inf", "1.1.1.1"},  // case-sensitive
        {"C:\\GxPS2.inf\\Touch.inf", "1.1.1.1"},  // only the file-name part counts
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test[0]);
        char word[PATH_CAPACITY] = "";
        EXPECT_EQ(1, QueryInstalledVersion(&sim::RunTarget().OsVersion, test[0], word));
        EXPECT_STREQ(test[1], word);
    }
}

TEST_F(InstalledVersion, ReadsTheNativeViewFromXpOn)
{
    const struct {
        uint32_t platform, major, minor;
        const char* expected;
    } cases[] = {
        {PF_VER_PLATFORM_WIN32_NT, 5, 0, "3.2.3.2"},  // 2000: no view flag
        {PF_VER_PLATFORM_WIN32_NT, 5, 1, "6.4.6.4"},  {PF_VER_PLATFORM_WIN32_NT, 6, 0, "6.4.6.4"},
        {PF_VER_PLATFORM_WIN32_NT, 10, 0, "6.4.6.4"}, {1, 10, 0, "3.2.3.2"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(testing::Message() << test.platform << " " << test.major << "." << test.minor);
        sim::Reset();
        sim::Machine().platformId = test.platform;
        sim::Machine().major = test.major;
        sim::Machine().minor = test.minor;
        sim::RunTarget().OsVersion.dwOSVersionInfoSize = sizeof(PfOsVersionInfo);
        PfGetVersionEx(&sim::RunTarget().OsVersion);
        sim::SetRegistryString(kPointingStickKey, "ProductVer", "6.4.6.4", sim::View::Only64);
        sim::SetRegistryString(kPointingStickKey, "ProductVer", "3.2.3.2", sim::View::Only32);
        char word[PATH_CAPACITY] = "";
        EXPECT_EQ(1, loc_QuerySpDrvVersion(&sim::RunTarget().OsVersion, word));
        EXPECT_STREQ(test.expected, word);
    }
}

}  // namespace
