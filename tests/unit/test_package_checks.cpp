// Finding the package INF and checking DPInst's processor type.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "app/result_codes.h"
#include "app/setup_sequence.h"
#include "app/setup_state.h"
#include "checks/package_checks.h"
#include "sim/sim.h"

namespace {

const char kFilesMissing[] =
    "The setup program has detected that some of the driver files are missing. Click OK to exit setup.";
const char kUnsupported[] = "This software does not work on your operating system. \nClick OK to exit setup.";

class PackageChecks : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    // Runs CheckDriverFiles and expects a single "files missing" box with code.
    void ExpectFilesMissing(const char* path, const std::string& code)
    {
        char inf[PATH_CAPACITY] = "";
        EXPECT_EQ(0, CheckDriverFiles(0, path, inf));
        EXPECT_STREQ("", inf);
        EXPECT_STREQ("", g_State.PackageDriverFolder);
        ASSERT_EQ(1u, sim::Machine().boxes.size());
        EXPECT_EQ(std::string(kFilesMissing) + code, sim::Machine().boxes[0].text);
        EXPECT_EQ("Setup.exe", sim::Machine().boxes[0].caption);
        EXPECT_EQ(PF_MB_ICONINFORMATION, sim::Machine().boxes[0].style);
    }
};

TEST_F(PackageChecks, DefaultPathFindsTheInfBesideTheProgram)
{
    sim::WriteFile("C:\\Pkg\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
    sim::WriteFile("C:\\Pkg\\Touch.inf", "[Version]\r\n");
    char inf[PATH_CAPACITY] = "";
    EXPECT_EQ(1, CheckDriverFiles(0, ".\\DPInst.exe", inf));
    EXPECT_STREQ("C:\\Pkg\\Touch.inf", inf);
    EXPECT_STREQ("C:\\Pkg", g_State.PackageDriverFolder);
    EXPECT_TRUE(sim::Machine().boxes.empty());
}

TEST_F(PackageChecks, PathIntoSubFolderSearchesThereAndFirstInfWins)
{
    sim::WriteFile("C:\\Pkg\\Root.inf", "");  // beside the program: not DPInst's folder
    sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", "");
    sim::WriteFile("C:\\Pkg\\W864\\b.inf", "");
    sim::WriteFile("C:\\Pkg\\W864\\a.inf", "");
    sim::WriteFile("C:\\Pkg\\W864\\c.INF", "");
    char inf[PATH_CAPACITY] = "";
    EXPECT_EQ(1, CheckDriverFiles(0, "\\W864\\DPInst.exe", inf));
    EXPECT_STREQ("C:\\Pkg\\W864\\a.inf", inf);
    EXPECT_STREQ("C:\\Pkg\\W864", g_State.PackageDriverFolder);
}

TEST_F(PackageChecks, MissingInfOrFolderShowsTheSearchError)
{
    sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", "");
    {
        SCOPED_TRACE("folder present, no INF");
        ExpectFilesMissing("\\W864\\DPInst.exe", " [2]");
    }
    sim::Machine().boxes.clear();
    {
        SCOPED_TRACE("folder missing");
        ExpectFilesMissing("\\W732\\DPInst.exe", " [3]");
    }
}

TEST_F(PackageChecks, TooLongPathIsRefusedNotSearchedElsewhere)
{
    // A join that does not fit would leave an empty folder, i.e. the current
    // folder: the INF there must not be taken.
    sim::WriteFile("C:\\Stray.inf", "");
    std::string deep = "\\" + std::string(250, 'd') + "\\DPInst.exe";
    ExpectFilesMissing(deep.c_str(), " [CE]");

    // The folder fits but the INF's full name does not.
    sim::Machine().boxes.clear();
    std::string folder = "\\" + std::string(238, 'f');  // "C:\Pkg\fff..." is 245 characters
    sim::MakeFolder("C:\\Pkg" + folder);
    sim::WriteFile("C:\\Pkg" + folder + "\\" + std::string(20, 'n') + ".inf", "");
    ExpectFilesMissing((folder + "\\DPInst.exe").c_str(), " [CE]");
}

struct ImageCase {
    const char* label;
    bool windows64;
    std::string bytes;
    int expected;
    const char* box;  // expected box text, or 0 for none
};

std::string Put16(std::string image, size_t at, uint16_t value)
{
    if (image.size() < at + 2)
        image.resize(at + 2, '\0');
    image[at] = (char)(value & 0xFF);
    image[at + 1] = (char)(value >> 8);
    return image;
}

std::string Put32(std::string image, size_t at, uint32_t value)
{
    image = Put16(image, at, (uint16_t)(value & 0xFFFF));
    return Put16(image, at + 2, (uint16_t)(value >> 16));
}

// Bytes from a fixed seed, so that a failure can be replayed.
std::string RandomBytes(size_t count)
{
    std::string bytes;
    uint32_t state = 12345;
    for (size_t i = 0; i < count; ++i) {
        state = state * 1103515245u + 12345u;
        bytes += (char)(state >> 16);
    }
    bytes[0] = 'X';
    return bytes;
}

TEST_F(PackageChecks, ImageMachineAgainstWindowsWidth)
{
    const std::string x64 = sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64);
    const std::string x86 = sim::PeImage(PF_IMAGE_FILE_MACHINE_I386);
    const std::string cutAfterSignature = x64.substr(0, 0x44);
    const std::string cutInFileHeader = x64.substr(0, 0x50);
    // Declares an optional header of 0xF0 bytes.
    const std::string withOptional = Put16(sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64), 0x54, 0xF0);
    const std::string optionalCut = withOptional.substr(0, 0x58 + 0x80);
    const ImageCase cases[] = {
        {"x64 on 64-bit", true, x64, 1, 0},
        {"x86 on 32-bit", false, x86, 1, 0},
        {"x64 with its optional header", true, withOptional, 1, 0},
        {"x86 on 64-bit", true, x86, 0, kUnsupported},
        {"x64 on 32-bit", false, x64, 0, kUnsupported},
        {"Itanium on 64-bit", true, sim::PeImage(0x200), 0, kUnsupported},
        {"zero length", true, "", 0, 0},
        {"random bytes", true, RandomBytes(3000), 0, 0},
        {"only MZ", true, "MZ", 0, 0},
        {"DOS header cut", true, x64.substr(0, 0x3E), 0, 0},
        {"e_lfanew past the end", true, Put32(x64, 0x3C, 0x7FFFFFF0u), 0, 0},
        {"e_lfanew wraps", true, Put32(x64, 0x3C, 0xFFFFFFFFu), 0, 0},
        {"cut after PE signature", true, cutAfterSignature, 0, 0},
        {"cut inside the file header", true, cutInFileHeader, 0, 0},
        {"optional header cut", true, optionalCut, 0, 0},
    };
    for (const ImageCase& test : cases) {
        SCOPED_TRACE(test.label);
        sim::Reset();
        sim::Machine().is64Bit = test.windows64;
        sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", test.bytes);
        EXPECT_EQ(test.expected, CheckExeAndPlatform(0, "\\W864\\DPInst.exe"));
        if (test.box) {
            ASSERT_EQ(1u, sim::Machine().boxes.size());
            EXPECT_EQ(test.box, sim::Machine().boxes[0].text);
            EXPECT_EQ(PF_MB_ICONINFORMATION, sim::Machine().boxes[0].style);
        } else {
            EXPECT_TRUE(sim::Machine().boxes.empty());
        }
        // Every handle obtained is closed and a mapped view is unmapped.
        EXPECT_TRUE(sim::Machine().openHandles.empty());
        int maps = 0, unmaps = 0;
        for (const std::string& call : sim::Machine().calls) {
            maps += call == "MapViewOfFile";
            unmaps += call == "UnmapViewOfFile";
        }
        EXPECT_EQ(maps, unmaps);
        EXPECT_EQ(test.bytes.empty() ? 0 : 1, maps);
    }
}

TEST_F(PackageChecks, DpinstThatCannotBeOpenedShowsTheOpenError)
{
    sim::MakeFolder("C:\\Pkg\\W864");
    EXPECT_EQ(0, CheckExeAndPlatform(0, "\\W864\\DPInst.exe"));
    EXPECT_EQ(0, CheckExeAndPlatform(0, "\\Gone\\DPInst.exe"));
    ASSERT_EQ(2u, sim::Machine().boxes.size());
    EXPECT_EQ(std::string(kFilesMissing) + " [2]", sim::Machine().boxes[0].text);
    EXPECT_EQ(std::string(kFilesMissing) + " [3]", sim::Machine().boxes[1].text);
    EXPECT_TRUE(sim::Machine().openHandles.empty());
}

// The checks inside a whole run: each failure ends it with 1633 before DPInst.
class PackageChecksInRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\W864\\DPInst.exe\r\nSupport=8\r\n");
    }
};

TEST_F(PackageChecksInRun, MissingInfEndsTheRunBeforeDpinstIsOpened)
{
    sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
    EXPECT_EQ(ERROR_INSTALL_PLATFORM_UNSUPPORTED, RunSetup(0, ""));
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_EQ(std::string(kFilesMissing) + " [2]", sim::Machine().boxes[0].text);
    for (const std::string& call : sim::Machine().calls)
        EXPECT_NE("MapViewOfFile", call);
    EXPECT_TRUE(sim::Machine().processes.empty());
}

TEST_F(PackageChecksInRun, WrongWidthAndEmptyDpinstEndTheRun)
{
    sim::WriteFile("C:\\Pkg\\W864\\Touch.inf", "");
    sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_I386));
    EXPECT_EQ(ERROR_INSTALL_PLATFORM_UNSUPPORTED, RunSetup(0, ""));
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_EQ(kUnsupported, sim::Machine().boxes[0].text);

    sim::Machine().boxes.clear();
    sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", "");
    EXPECT_EQ(ERROR_INSTALL_PLATFORM_UNSUPPORTED, RunSetup(0, "/s"));
    EXPECT_TRUE(sim::Machine().boxes.empty());
    EXPECT_TRUE(sim::Machine().processes.empty());
}

}  // namespace
