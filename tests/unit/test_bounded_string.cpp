// The bounded routines: exact results at the edge of the buffer and one past it.
#include <gtest/gtest.h>

#include <string.h>

#include "util/bounded_string.h"

namespace {

TEST(BoundedString, CopyFillsToTheEdgeAndCutsOnePast)
{
    char buffer[6];
    EXPECT_EQ(BOUNDED_OK, BoundedCopy(buffer, sizeof(buffer), "12345"));
    EXPECT_STREQ("12345", buffer);
    EXPECT_EQ(BOUNDED_INSUFFICIENT_BUFFER, BoundedCopy(buffer, sizeof(buffer), "123456"));
    EXPECT_STREQ("12345", buffer);
    EXPECT_EQ(BOUNDED_OK, BoundedCopy(buffer, sizeof(buffer), ""));
    EXPECT_STREQ("", buffer);
}

TEST(BoundedString, RefusedCapacitiesWriteNothing)
{
    char buffer[4] = "abc";
    EXPECT_EQ(BOUNDED_INVALID_ARGUMENT, BoundedCopy(buffer, 0, "x"));
    EXPECT_EQ(BOUNDED_INVALID_ARGUMENT, BoundedCopy(buffer, 2147483648u, "x"));
    EXPECT_EQ(BOUNDED_INVALID_ARGUMENT, BoundedAppend(buffer, 0, "x"));
    EXPECT_EQ(BOUNDED_INVALID_ARGUMENT, BoundedFormat(buffer, 0, "%d", 1));
    EXPECT_EQ(BOUNDED_INVALID_ARGUMENT, BoundedCopyN(buffer, 0, "x", 1));
    EXPECT_STREQ("abc", buffer);
}

TEST(BoundedString, AppendRefusesAnUnterminatedDestination)
{
    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(BOUNDED_INVALID_ARGUMENT, BoundedAppend(buffer, sizeof(buffer), "x"));
    EXPECT_EQ(0, memcmp(buffer, "abcd", 4));
}

TEST(BoundedString, AppendFillsToTheEdgeAndCutsOnePast)
{
    char buffer[6] = "ab";
    EXPECT_EQ(BOUNDED_OK, BoundedAppend(buffer, sizeof(buffer), "cde"));
    EXPECT_STREQ("abcde", buffer);
    EXPECT_EQ(BOUNDED_INSUFFICIENT_BUFFER, BoundedAppend(buffer, sizeof(buffer), "f"));
    EXPECT_STREQ("abcde", buffer);
    char full[3] = "ab";
    EXPECT_EQ(BOUNDED_INSUFFICIENT_BUFFER, BoundedAppend(full, sizeof(full), "c"));
    EXPECT_STREQ("ab", full);
}

TEST(BoundedString, FormatCutsAndTerminates)
{
    char buffer[8];
    EXPECT_EQ(BOUNDED_OK, BoundedFormat(buffer, sizeof(buffer), " [%X]", 0x57u));
    EXPECT_STREQ(" [57]", buffer);
    EXPECT_EQ(BOUNDED_OK, BoundedFormat(buffer, sizeof(buffer), "%s", "1234567"));
    EXPECT_EQ(BOUNDED_INSUFFICIENT_BUFFER, BoundedFormat(buffer, sizeof(buffer), "%s", "12345678"));
    EXPECT_STREQ("1234567", buffer);
}

TEST(BoundedString, CopyNTakesAtMostNCharacters)
{
    char buffer[8];
    EXPECT_EQ(BOUNDED_OK, BoundedCopyN(buffer, sizeof(buffer), "ACPI\\XYZ0017", 4));
    EXPECT_STREQ("ACPI", buffer);
    EXPECT_EQ(BOUNDED_OK, BoundedCopyN(buffer, sizeof(buffer), "ab", 5));
    EXPECT_STREQ("ab", buffer);
    EXPECT_EQ(BOUNDED_INSUFFICIENT_BUFFER, BoundedCopyN(buffer, 4, "abcdef", 5));
    EXPECT_STREQ("abc", buffer);
}

TEST(BoundedString, WideCopyCountsCodeUnits)
{
    const uint16_t source[] = {'C', ':', '\\', 0x00E9, 0};
    uint16_t buffer[4];
    EXPECT_EQ(BOUNDED_INSUFFICIENT_BUFFER, BoundedCopyWide(buffer, 4, source));
    EXPECT_EQ(0, buffer[3]);
    uint16_t room[5];
    EXPECT_EQ(BOUNDED_OK, BoundedCopyWide(room, 5, source));
    EXPECT_EQ(0x00E9, room[3]);
}

}  // namespace
