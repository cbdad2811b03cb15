// The simulated C runtime's multibyte compare and search follow the code page.
#include <gtest/gtest.h>

#include "sim/sim.h"

namespace {

TEST(SimMultibyte, CaseInsensitiveCompareOfSwitches)
{
    sim::Reset();
    EXPECT_EQ(0, PfMbsICmp("/S", "/s"));
    EXPECT_EQ(0, PfMbsICmp("/Extract_ALL", "/extract_all"));
    EXPECT_NE(0, PfMbsICmp("/s ", "/s"));
    EXPECT_NE(0, PfMbsICmp("/sq", "/s"));
    EXPECT_EQ(0, PfMbsNICmp("/VFORCE", "/v", 2));
    EXPECT_NE(0, PfMbsNICmp("/f2", "/v", 2));
}

TEST(SimMultibyte, DoubleByteTrailBytesAreNotFoldedOrMatched)
{
    sim::Reset();
    sim::Machine().ansiCodePage = 932;
    // 0x83 0x5C is one Japanese character whose trail byte looks like a backslash.
    const char text[] = "\x83\x5C"
                        "ACPI";
    EXPECT_EQ(nullptr, PfMbsStr(text, "\\ACPI"));
    EXPECT_EQ(text + 2, PfMbsStr(text, "ACPI"));
    // 0x82 0x60 and 0x82 0x61: a trail byte in the letter range is not a letter.
    EXPECT_NE(0, PfMbsICmp("\x82\x41", "\x82\x61"));
    sim::Machine().ansiCodePage = 1252;
    EXPECT_EQ(text + 1, PfMbsStr(text, "\\ACPI"));
}

}  // namespace
