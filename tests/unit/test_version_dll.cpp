// The package's version DLL against the version its INF states.
#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <string>

#include "app/setup_sequence.h"
#include "checks/package_checks.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "driver/version_dll.h"
#include "refusal.h"
#include "sim/sim.h"

namespace {

const char kFolder[] = "C:\\Pkg\\x64";
const char kInfPath[] = "C:\\Pkg\\x64\\pkg.inf";
const char kDllPath[] = "C:\\Pkg\\x64\\VrnVer.dll";
const char kUsEnglish[] = "\\StringFileInfo\\040904b0\\ProductVersion";
const char kMismatchText[] = "VrnVer.dll version does not correspond to Driver version";

std::string PackageInf(const std::string& driverVer)
{
    return "[Version]\r\nSignature=\"$WINDOWS NT$\"\r\nClass=Mouse\r\nDriverVer=" + driverVer + "\r\n";
}

// A DLL whose version resource holds these string values (none: no resource).
void PutVersionDll(const std::map<std::string, std::string>& strings)
{
    sim::WriteFile(kDllPath, sim::PeImage(PF_IMAGE_FILE_MACHINE_I386));
    if (!strings.empty())
        sim::Machine().versionStrings[kDllPath] = strings;
}

class VersionDllTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        strcpy(sim::RunTarget().PackageDriverFolder, kFolder);
    }
};

TEST_F(VersionDllTest, ComparesProductVersionWithTheInfInCommaForm)
{
    const struct {
        const char* label;
        std::string driverVer;
        const char* productVersion;
        int expected;
    } cases[] = {
        {"same version", "05/18/2020,10.3.201.104", "10, 3, 201, 104", 1},
        {"dotted DLL text", "05/18/2020,10.3.201.104", "10.3.201.104", 0},
        {"commas without blanks", "05/18/2020,10.3.201.104", "10,3,201,104", 0},
        {"older DLL", "05/18/2020,10.3.201.104", "10, 3, 201, 103", 0},
        {"case matters", "05/18/2020,10.3.201.beta", "10, 3, 201, BETA", 0},
        {"INF without a version", "05/18/2020", "10, 3, 201, 104", 0},
        {"INF without a version, empty DLL text", "05/18/2020", "", 1},
        {"a version too long to convert whole", "05/18/2020," + std::string(250, '.'), "x", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        SetUp();
        sim::WriteFile(kInfPath, PackageInf(c.driverVer));
        PutVersionDll({{kUsEnglish, c.productVersion}});
        EXPECT_EQ(c.expected, GoesOnOrShows(CheckVersionDll(sim::CurrentTarget(), kInfPath)));
        EXPECT_STREQ(kDllPath, sim::RunTarget().PackageDriverFolder);
        if (c.expected == 1) {
            EXPECT_TRUE(sim::Machine().boxes.empty());
        } else {
            ASSERT_EQ(1u, sim::Machine().boxes.size());
            EXPECT_EQ(kMismatchText, sim::Machine().boxes[0].text);
            EXPECT_EQ("ERROR", sim::Machine().boxes[0].caption);
            EXPECT_EQ(0x40u, sim::Machine().boxes[0].style);
        }
    }
}

TEST_F(VersionDllTest, ADllThatStatesNoComparableVersionPasses)
{
    const struct {
        const char* label;
        bool dllPresent;
        std::map<std::string, std::string> strings;
    } cases[] = {
        {"no DLL", false, {}},
        {"DLL without a version resource", true, {}},
        {"only a German string table", true, {{"\\StringFileInfo\\040704b0\\ProductVersion", "9, 9, 9, 9"}}},
        {"US table without ProductVersion", true, {{"\\StringFileInfo\\040904b0\\FileVersion", "9, 9, 9, 9"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        SetUp();
        sim::WriteFile(kInfPath, PackageInf("05/18/2020,10.3.201.104"));
        if (c.dllPresent)
            PutVersionDll(c.strings);
        EXPECT_EQ(1, GoesOnOrShows(CheckVersionDll(sim::CurrentTarget(), kInfPath)));
        EXPECT_TRUE(sim::Machine().boxes.empty());
    }
}

// In a whole run a mismatch ends everything at once with exit code 0.
class VersionDllInSetupTest : public VersionDllTest {
protected:
    // A package whose DPInst would fail (1603, reported through SUPPORT_EXIT_CODE)
    // and whose runtime log is on; 1 when the package check finds its INF.
    static bool PreparePackage(const char* productVersion)
    {
        sim::Reset();
        sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\x64\\DPInst.exe\r\nSupport=12\r\n");
        sim::WriteFile("C:\\Pkg\\x64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::Machine().programs["C:\\Pkg\\x64\\DPInst.exe"].exitCode = 0x80000000u;
        sim::WriteFile(kInfPath, PackageInf("05/18/2020,10.3.201.104"));
        PutVersionDll({{kUsEnglish, productVersion}});
        char infPath[PATH_CAPACITY] = "";
        return GoesOnOrShows(CheckDriverFiles(sim::TargetWithPath("\\x64\\DPInst.exe"), infPath)) && infPath[0];
    }
};

TEST_F(VersionDllInSetupTest, AMismatchEndsTheRunWithZeroAndNothingElse)
{
    if (!PreparePackage("10, 3, 201, 104"))
        GTEST_SKIP() << "the package check does not find the INF yet";
    EXPECT_EQ(ERROR, RunSetup(0, "/s")) << "a matching DLL lets DPInst run";
    EXPECT_EQ(1u, sim::Machine().processes.size());

    PreparePackage("10, 3, 201, 103");
    EXPECT_EQ(0, RunSetup(0, "/s"));
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_EQ(kMismatchText, sim::Machine().boxes[0].text);
    EXPECT_TRUE(sim::Machine().processes.empty());
    EXPECT_FALSE(sim::FileExists("C:\\TouchPad\\log\\Setup.log"));
}

}  // namespace
