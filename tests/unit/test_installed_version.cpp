// Reading the installed driver's version and comparing it with the package's.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "app/result_codes.h"
#include "app/setup_state.h"
#include "driver/installed_version.h"
#include "sim/sim.h"

namespace {

const char kTouchPadKey[] = "Software\\Vorn\\Glidex";
const char kPointingStickKey[] = "Software\\Vorn\\VornPoint\\Common\\Current";

class InstalledVersion : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        ReadWindowsVersion();
    }

    // What the setup sequence does before any registry read.
    void ReadWindowsVersion()
    {
        g_State.OsVersion.dwOSVersionInfoSize = sizeof(PfOsVersionInfo);
        PfGetVersionEx(&g_State.OsVersion);
    }
};

struct CompareCase {
    const char* installed;
    const char* package;
    int expected;
};

TEST_F(InstalledVersion, ComparisonTable)
{
    const CompareCase cases[] = {
        {"10.3.201.104", "10.3.201.104", SAME_INSTALLED},
        {"10.3.201.99", "10.3.201.104", OLDER_INSTALLED},
        {"10.4.0.0", "10.3.999.999", NEWER_INSTALLED},
        {"9.9.9.9", "10.0.0.0", OLDER_INSTALLED},
        {"10.3.201.104", "10.3.201.103", NEWER_INSTALLED},
        {"010.3.201.104", "10.3.201.104", SAME_INSTALLED},
        {"10.3.201.104 beta", "10.3.201.104", SAME_INSTALLED},
        {" +10. 3.\t201.104", "10.3.201.104", SAME_INSTALLED},  // scanf rules: space and sign per number
        {"-1.0.0.0", "0.0.0.0", OLDER_INSTALLED},                // signed comparison
        {"2147483647.0.0.0", "-2147483648.0.0.0", NEWER_INSTALLED},
        {"10.3.201", "10.3.201.104", -1},
        {"10.3.201.104", "10.3.201", -2},
        {"10.3.201", "bad", -1},  // installed text is parsed first
        {"", "10.3.201.104", -1},
        {"10 .3.201.104", "10.3.201.104", -1},  // the dot must follow the number
        {"10..3.201.104", "10.3.201.104", -1},
        {"10.3.201.+", "10.3.201.104", -1},
        {"v10.3.201.104", "10.3.201.104", -1},
        {"2147483648.0.0.0", "10.3.201.104", -1},  // outside 32 bits: refused, not wrapped
        {"10.3.201.104", "99999999999999999999.0.0.0", -2},
    };
    for (const CompareCase& test : cases) {
        SCOPED_TRACE(std::string(test.installed) + " vs " + test.package);
        EXPECT_EQ(test.expected, loc_CopmareDrvVersion(test.installed, test.package));
    }
}

struct WordCase {
    const char* label;
    std::string stored;  // raw bytes of the value; empty std::string means no value
    int expected;
    const char* word;  // expected buffer content
};

TEST_F(InstalledVersion, VersionWordFromProductVer)
{
    const std::string longWord(259, '7');
    const WordCase cases[] = {
        {"one word", std::string("10.3.201.104\0", 13), 1, "10.3.201.104"},
        {"two words", std::string("7.0 10.3.201.104\0", 17), 1, "10.3.201.104"},
        {"three words", std::string("7.0\t10.3.201.104 extra\0", 23), 1, "10.3.201.104"},
        {"surrounding blanks", std::string("  10.3.201.104  \0", 17), 1, "10.3.201.104"},
        {"empty", std::string("\0", 1), -2, "untouched"},
        {"no bytes at all", "", -2, "untouched"},
        {"only whitespace", std::string(" \t \0", 4), -2, "untouched"},
        {"no terminator", "10.3.201.104", 1, "10.3.201.104"},
        {"259 characters", longWord + '\0', 1, longWord.c_str()},
        {"260 bytes without terminator", std::string(260, '8'), 0, "untouched"},
        {"longer than the buffer", std::string(300, '9') + '\0', 0, "untouched"},
    };
    for (const WordCase& test : cases) {
        SCOPED_TRACE(test.label);
        sim::Reset();
        ReadWindowsVersion();
        sim::Machine().registry.push_back({kTouchPadKey, "ProductVer", test.stored, sim::View::Both});
        char word[PATH_CAPACITY];
        strcpy(word, "untouched");
        EXPECT_EQ(test.expected, loc_QueryGpDrvVersion(word));
        EXPECT_STREQ(test.word, word);
    }
}

TEST_F(InstalledVersion, MissingKeyOrValueMeansNothingInstalled)
{
    char word[PATH_CAPACITY] = "untouched";
    EXPECT_EQ(0, loc_QueryGpDrvVersion(word));
    sim::SetRegistryString(kTouchPadKey, "OtherValue", "1.2.3.4");
    EXPECT_EQ(0, loc_QueryGpDrvVersion(word));
    EXPECT_STREQ("untouched", word);
    EXPECT_TRUE(sim::Machine().openHandles.empty());
}

TEST_F(InstalledVersion, RegReadSzAlwaysLeavesTerminatedText)
{
    char buffer[PATH_CAPACITY];
    memset(buffer, 'x', sizeof(buffer));
    sim::Machine().registry.push_back({kTouchPadKey, "Bin", "abc", sim::View::Both});
    EXPECT_EQ(0, REG_ReadSz(PF_HKEY_LOCAL_MACHINE, kTouchPadKey, "Bin", buffer));
    EXPECT_STREQ("abc", buffer);

    memset(buffer, 'x', sizeof(buffer));
    sim::Machine().registry.push_back({kTouchPadKey, "Full", std::string(260, 'y'), sim::View::Both});
    EXPECT_EQ((int32_t)PF_ERROR_MORE_DATA, REG_ReadSz(PF_HKEY_LOCAL_MACHINE, kTouchPadKey, "Full", buffer));
    EXPECT_STREQ("", buffer);

    EXPECT_EQ((int32_t)PF_ERROR_FILE_NOT_FOUND,
              REG_ReadSz(PF_HKEY_LOCAL_MACHINE, "Software\\Absent", "Full", buffer));
    EXPECT_TRUE(sim::Machine().openHandles.empty());
}

struct ProductCase {
    const char* infPath;
    const char* expected;
};

TEST_F(InstalledVersion, InfFileNameChoosesTheProductKey)
{
    sim::SetRegistryString(kTouchPadKey, "ProductVer", "1.1.1.1");
    sim::SetRegistryString(kPointingStickKey, "ProductVer", "2.2.2.2");
    const ProductCase cases[] = {
        {"C:\\Pkg\\W864\\GxPS2.inf", "2.2.2.2"},
        {"C:\\Pkg\\W864\\gxps2.inf", "1.1.1.1"},  // case-sensitive
        {"C:\\Pkg\\W864\\GXPS2.INF", "1.1.1.1"},
        {"C:\\Pkg\\W864\\Touch.inf", "1.1.1.1"},
        {"C:\\GxPS2.inf\\Touch.inf", "1.1.1.1"},  // only the file-name part counts
        {"C:\\Pkg\\W864\\GxPS2.inf.bak", "1.1.1.1"},
    };
    for (const ProductCase& test : cases) {
        SCOPED_TRACE(test.infPath);
        char word[PATH_CAPACITY] = "";
        EXPECT_EQ(1, QueryInstalledVersion(test.infPath, word));
        EXPECT_STREQ(test.expected, word);
    }
}

struct ViewCase {
    const char* label;
    uint32_t platform, major, minor;
    bool readsNativeView;
};

TEST_F(InstalledVersion, ReadsTheNativeViewFromXpOn)
{
    const ViewCase cases[] = {
        {"2000", PF_VER_PLATFORM_WIN32_NT, 5, 0, false},
        {"XP", PF_VER_PLATFORM_WIN32_NT, 5, 1, true},
        {"XP x64", PF_VER_PLATFORM_WIN32_NT, 5, 2, true},
        {"Vista", PF_VER_PLATFORM_WIN32_NT, 6, 0, true},
        {"8.1", PF_VER_PLATFORM_WIN32_NT, 6, 3, true},
        {"10", PF_VER_PLATFORM_WIN32_NT, 10, 0, true},
        {"not NT", 1, 10, 0, false},
    };
    for (const ViewCase& test : cases) {
        SCOPED_TRACE(test.label);
        sim::Reset();
        sim::Machine().platformId = test.platform;
        sim::Machine().major = test.major;
        sim::Machine().minor = test.minor;
        ReadWindowsVersion();
        sim::SetRegistryString(kTouchPadKey, "ProductVer", "6.4.6.4", sim::View::Only64);
        sim::SetRegistryString(kTouchPadKey, "ProductVer", "3.2.3.2", sim::View::Only32);
        char word[PATH_CAPACITY] = "";
        EXPECT_EQ(1, loc_QueryGpDrvVersion(word));
        EXPECT_STREQ(test.readsNativeView ? "6.4.6.4" : "3.2.3.2", word);
    }
}

TEST_F(InstalledVersion, ValueOnlyInThe32BitViewIsNotSeenOn64BitWindows)
{
    sim::SetRegistryString(kPointingStickKey, "ProductVer", "3.2.3.2", sim::View::Only32);
    char word[PATH_CAPACITY] = "untouched";
    EXPECT_EQ(0, loc_QuerySpDrvVersion(word));
    EXPECT_STREQ("untouched", word);

    sim::Machine().is64Bit = false;  // 32-bit Windows has one view
    EXPECT_EQ(1, loc_QuerySpDrvVersion(word));
    EXPECT_STREQ("3.2.3.2", word);
}

}  // namespace
