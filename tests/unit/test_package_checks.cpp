// Finding the package INF and checking DPInst's processor type.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/setup_sequence.h"
#include "checks/package_checks.h"
#include "core/messages.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "refusal.h"
#include "sim/sim.h"

namespace {

const std::string kMissing = sim::EnglishText(IDS_FILES_MISSING);
const std::string kUnsupported = sim::EnglishText(IDS_UNSUPPORTED_OS);

class PackageChecks : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    // The texts of the boxes shown so far, joined by "|".
    static std::string Boxes()
    {
        std::string texts;
        for (const sim::Box& box : sim::Machine().boxes)
            texts += (texts.empty() ? "" : "|") + box.text;
        return texts;
    }

    static void ExpectInf(const char* path, int expected, const char* inf, const char* folder,
                          const std::string& boxes)
    {
        SCOPED_TRACE(path);
        sim::Machine().boxes.clear();
        sim::RunTarget().PackageDriverFolder[0] = 0;
        char found[PATH_CAPACITY] = "";
        EXPECT_EQ(expected, GoesOnOrShows(CheckDriverFiles(sim::TargetWithPath(path), found)));
        EXPECT_STREQ(inf, found);
        EXPECT_STREQ(folder, sim::RunTarget().PackageDriverFolder);
        EXPECT_EQ(boxes, Boxes());
    }
};

TEST_F(PackageChecks, InfSearchInDpinstFolder)
{
    sim::WriteFile("C:\\Pkg\\Touch.inf", "");
    sim::WriteFile("C:\\Pkg\\W864\\b.inf", "");
    sim::WriteFile("C:\\Pkg\\W864\\a.inf", "");
    sim::MakeFolder("C:\\Pkg\\W732");
    ExpectInf(".\\DPInst.exe", 1, "C:\\Pkg\\Touch.inf", "C:\\Pkg", "");
    ExpectInf("\\W864\\DPInst.exe", 1, "C:\\Pkg\\W864\\a.inf", "C:\\Pkg\\W864", "");  // first reported
    ExpectInf("\\W732\\DPInst.exe", 0, "", "", kMissing + " [2]");
    ExpectInf("\\Vi64\\DPInst.exe", 0, "", "", kMissing + " [3]");
    // "*.inf" also matches the 8.3 names of these (A~1.INF, DRIVER~1.INF): only a long ".inf" counts.
    sim::WriteFile("C:\\Pkg\\Old\\A.inf_old", "");
    sim::WriteFile("C:\\Pkg\\Old\\B.INF", "");
    sim::WriteFile("C:\\Pkg\\Bak\\Driver.inf_old", "");
    ExpectInf("\\Old\\DPInst.exe", 1, "C:\\Pkg\\Old\\B.INF", "C:\\Pkg\\Old", "");
    ExpectInf("\\Bak\\DPInst.exe", 0, "", "", kMissing + " [2]");
    EXPECT_TRUE(sim::Machine().openHandles.empty());
    EXPECT_EQ("Setup.exe", sim::Machine().boxes[0].caption);
    EXPECT_EQ(PF_MB_ICONINFORMATION, sim::Machine().boxes[0].style);
}

TEST_F(PackageChecks, PathsThatDoNotFitAreRefused)
{
    // A join that does not fit leaves the shell's buffer empty, which would
    // search the current folder; an INF there must not be taken.
    sim::WriteFile("C:\\Stray.inf", "");
    ExpectInf(("\\" + std::string(250, 'd') + "\\DPInst.exe").c_str(), 0, "", "", kMissing + " [CE]");
    // The folder fits ("C:\Pkg\fff..." has 245 characters), the INF's full name does not.
    std::string folder = "\\" + std::string(238, 'f');
    sim::WriteFile("C:\\Pkg" + folder + "\\" + std::string(20, 'n') + ".inf", "");
    ExpectInf((folder + "\\DPInst.exe").c_str(), 0, "", "", kMissing + " [CE]");
}

std::string Put(std::string image, size_t at, uint32_t value, int bytes)
{
    if (image.size() < at + bytes)
        image.resize(at + bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        image[at + i] = (char)(value >> (8 * i));
    return image;
}

// Bytes from a fixed seed, so that a failure can be replayed.
std::string RandomBytes(size_t count)
{
    std::string bytes(count, '\0');
    uint32_t state = 12345;
    for (char& byte : bytes)
        byte = (char)((state = state * 1103515245u + 12345u) >> 16);
    bytes[0] = 'X';
    return bytes;
}

struct ImageCase {
    const char* label;
    bool windows64;
    std::string bytes;
    int expected;
    std::string boxes;
};

TEST_F(PackageChecks, DpinstImageAgainstWindowsWidth)
{
    const std::string x64 = sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64);
    const std::string x86 = sim::PeImage(PF_IMAGE_FILE_MACHINE_I386);
    const std::string withOptional = Put(x64, 0x54, 0xF0, 2);  // declares a 0xF0-byte optional header
    const ImageCase cases[] = {
        {"x64 on 64-bit", true, x64, 1, ""},
        {"x86 on 32-bit", false, x86, 1, ""},
        {"x64 with its optional header", true, withOptional, 1, ""},
        {"x86 on 64-bit", true, x86, 0, kUnsupported},
        {"x64 on 32-bit", false, x64, 0, kUnsupported},
        {"Itanium on 64-bit", true, sim::PeImage(0x200), 0, kUnsupported},
        {"zero length", true, "", 0, ""},
        {"random bytes", true, RandomBytes(3000), 0, ""},
        {"DOS header cut", true, x64.substr(0, 0x3E), 0, ""},
        {"e_lfanew past the end", true, Put(x64, 0x3C, 0x7FFFFFF0u, 4), 0, ""},
        {"e_lfanew wraps", true, Put(x64, 0x3C, 0xFFFFFFFFu, 4), 0, ""},
        // Windows would read zeros past the cut and see machine 0 or x64.
        {"cut after PE signature", true, x64.substr(0, 0x44), 0, ""},
        {"cut inside the file header", true, x64.substr(0, 0x50), 0, ""},
        {"optional header cut", true, withOptional.substr(0, 0xD8), 0, ""},
    };
    for (const ImageCase& test : cases) {
        SCOPED_TRACE(test.label);
        sim::Reset();
        sim::Machine().is64Bit = test.windows64;
        sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", test.bytes);
        EXPECT_EQ(test.expected, GoesOnOrShows(CheckExeAndPlatform(sim::TargetWithPath("\\W864\\DPInst.exe"))));
        EXPECT_EQ(test.boxes, Boxes());
        EXPECT_TRUE(sim::Machine().openHandles.empty());
        int mapped = 0;
        for (const std::string& call : sim::Machine().calls)
            mapped += call == "MapViewOfFile" ? 1 : call == "UnmapViewOfFile" ? -1 : 0;
        EXPECT_EQ(0, mapped);
    }
}

// What the package checker asks beyond Setup.exe's check: can Windows load
// every section the image declares?
TEST_F(PackageChecks, ImageCutShortIsToldToTheChecker)
{
    const std::string x64 = sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64);
    std::string oneSection = Put(Put(x64, 0x46, 1, 2), 0x138 + 16, 0x1000, 4);  // 0x1000 bytes of data
    oneSection = Put(oneSection, 0x138 + 20, 0x200, 4);                         // at 0x200
    const struct {
        const char* label;
        std::string bytes;
        int complete;
    } cases[] = {
        {"headers only", x64, 1},
        {"a section past the end", oneSection, 0},
        {"the same with its data", oneSection + std::string(0x1000, 'd'), 1},
        {"headers larger than the file", Put(x64, 0x58 + 60, 0x400, 4), 0},
        {"section table past the end", Put(x64, 0x46, 20, 2), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", c.bytes);
        int complete = -1;
        EXPECT_EQ(OUTCOME_GO_ON, CheckExeAndPlatform(sim::TargetWithPath("\\W864\\DPInst.exe"), &complete).outcome);
        EXPECT_EQ(c.complete, complete);
    }
}

TEST_F(PackageChecks, DpinstThatCannotBeOpenedShowsTheOpenError)
{
    sim::MakeFolder("C:\\Pkg\\W864");
    EXPECT_EQ(0, GoesOnOrShows(CheckExeAndPlatform(sim::TargetWithPath("\\W864\\DPInst.exe"))));
    EXPECT_EQ(0, GoesOnOrShows(CheckExeAndPlatform(sim::TargetWithPath("\\Gone\\DPInst.exe"))));
    EXPECT_EQ(kMissing + " [2]|" + kMissing + " [3]", Boxes());
    EXPECT_TRUE(sim::Machine().openHandles.empty());
}

TEST_F(PackageChecks, FailedChecksEndTheRunBeforeDpinst)
{
    sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\W864\\DPInst.exe\r\nSupport=8\r\n");
    sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
    EXPECT_EQ(ERROR_INSTALL_PLATFORM_UNSUPPORTED, RunSetup(0, ""));
    EXPECT_EQ(kMissing + " [2]", Boxes());
    EXPECT_EQ(0, std::count(sim::Machine().calls.begin(), sim::Machine().calls.end(), "MapViewOfFile"));

    sim::WriteFile("C:\\Pkg\\W864\\Touch.inf", "");
    sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", "");
    EXPECT_EQ(ERROR_INSTALL_PLATFORM_UNSUPPORTED, RunSetup(0, "/s"));
    sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_I386));
    EXPECT_EQ(ERROR_INSTALL_PLATFORM_UNSUPPORTED, RunSetup(0, ""));
    EXPECT_EQ(kMissing + " [2]|" + kUnsupported, Boxes());
    EXPECT_TRUE(sim::Machine().processes.empty());
}

}  // namespace
