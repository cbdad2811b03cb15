// Finding the touch pad among the pointing devices, and matching it to the INF.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "app/setup_sequence.h"
#include "app/setup_state.h"
#include "driver/device_matching.h"
#include "sim/sim.h"

namespace {

using Ids = std::vector<std::string>;

const char kNoMatchText[] = "Can't match a correct device!";

class DeviceMatchingTest : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    // A device whose property holds exactly these bytes.
    static void AddRawDevice(const std::string& bytes, const std::string& path = "ACPI\\DEV\\0")
    {
        sim::Device device;
        device.instancePath = path;
        device.hardwareIds = bytes;
        sim::Machine().devices.push_back(device);
    }
    static void AddDevice(const Ids& ids) { AddRawDevice(sim::MultiSz(ids)); }
    static void AddUnreadableDevice()
    {
        AddRawDevice("");
        sim::Machine().devices.back().hasHardwareIds = false;
    }

    static Ids RecordedIds()
    {
        Ids ids;
        for (int slot = 0; slot < DEVICE_ID_SLOTS && g_State.DeviceHardwareIds[slot][0]; ++slot)
            ids.push_back(g_State.DeviceHardwareIds[slot]);
        return ids;
    }

    // The capacities offered to the hardware-ID reads, in order.
    static std::vector<std::string> PropertyReads()
    {
        std::vector<std::string> reads;
        for (const std::string& call : sim::Machine().calls)
            if (call.rfind("SetupDiGetDeviceRegistryPropertyA ", 0) == 0)
                reads.push_back(call.substr(strlen("SetupDiGetDeviceRegistryPropertyA ")));
        return reads;
    }
};

const Ids kTouchPad = {"ACPI\\XYZ0017", "*XYZ0017"};
const Ids kUsbMouse = {"HID\\VID_046D&PID_C077&REV_7200", "HID\\VID_046D&PID_C077", "HID_DEVICE_SYSTEM_MOUSE"};

struct ChoiceCase {
    const char* label;
    std::vector<Ids> devices;
    Ids chosen;
    const char* acpiId;
};

TEST_F(DeviceMatchingTest, ChoosesTheFirstDeviceOnTheAcpiBus)
{
    const ChoiceCase cases[] = {
        {"touch pad alone", {kTouchPad}, kTouchPad, "XYZ0017"},
        {"USB mouse first is passed over", {kUsbMouse, kTouchPad}, kTouchPad, "XYZ0017"},
        {"two on ACPI: the first wins", {{"ACPI\\ABC0001", "*ABC0001"}, kTouchPad}, {"ACPI\\ABC0001", "*ABC0001"},
         "ABC0001"},
        {"long name cut to 8", {{"ACPI\\VEN_XYZ&DEV_0017", "ACPI\\XYZ0017"}}, {"ACPI\\VEN_XYZ&DEV_0017", "ACPI\\XYZ0017"},
         "VEN_XYZ&"},
        {"bus name inside the ID", {{"HID\\ACPI\\XYZ0003"}}, {"HID\\ACPI\\XYZ0003"}, "XYZ0003"},
        {"ACPI only in a later ID", {{"HID\\VID_1", "ACPI\\XYZ0017"}}, {}, ""},
        {"bus name is case-sensitive", {{"acpi\\xyz0017"}}, {}, ""},
        {"no device on ACPI", {kUsbMouse, kUsbMouse}, {}, ""},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        for (const Ids& ids : c.devices)
            AddDevice(ids);
        EXPECT_NE(0, CollectDeviceHardwareIds());
        EXPECT_EQ(c.chosen, RecordedIds());
        EXPECT_STREQ(c.acpiId, g_State.DeviceAcpiId);
        EXPECT_TRUE(sim::Machine().boxes.empty());
        EXPECT_TRUE(sim::Machine().openHandles.empty());
    }
}

TEST_F(DeviceMatchingTest, StopsAtTheChosenDevice)
{
    AddDevice(kTouchPad);
    AddDevice(kUsbMouse);
    CollectDeviceHardwareIds();
    EXPECT_EQ(std::vector<std::string>{"0 260"}, PropertyReads());
}

TEST_F(DeviceMatchingTest, ReportsTheLastReadOrNoDevice)
{
    EXPECT_EQ(0, CollectDeviceHardwareIds()) << "no pointing device";

    sim::Machine().deviceClassFails = true;
    AddDevice(kTouchPad);
    EXPECT_EQ(0, CollectDeviceHardwareIds()) << "class cannot be enumerated";
    EXPECT_TRUE(RecordedIds().empty());

    sim::Reset();
    AddUnreadableDevice();
    EXPECT_EQ(0, CollectDeviceHardwareIds()) << "the only device cannot be read";

    sim::Reset();
    AddDevice(kUsbMouse);
    AddUnreadableDevice();
    EXPECT_EQ(0, CollectDeviceHardwareIds()) << "the last device cannot be read";
    EXPECT_TRUE(RecordedIds().empty());
}

TEST_F(DeviceMatchingTest, PassesOverADeviceWhoseIdsCannotBeRead)
{
    AddUnreadableDevice();
    AddDevice(kTouchPad);
    EXPECT_NE(0, CollectDeviceHardwareIds());
    EXPECT_EQ(kTouchPad, RecordedIds());
    // The unreadable device reports the size it was given: no growth for it.
    EXPECT_EQ((std::vector<std::string>{"0 260", "1 260"}), PropertyReads());
}

TEST_F(DeviceMatchingTest, GrowsTheBufferToTheReportedSizeAndKeepsIt)
{
    Ids longIds = {"HID\\" + std::string(200, 'A'), "HID\\" + std::string(150, 'B')};
    Ids longPad = {"ACPI\\XYZ0017", "HID\\" + std::string(200, 'C'), "HID\\" + std::string(200, 'D'), "*XYZ0017"};
    AddDevice(longIds);
    AddDevice(kUsbMouse);
    AddDevice(longPad);
    size_t firstSize = sim::MultiSz(longIds).size();
    size_t padSize = sim::MultiSz(longPad).size();
    ASSERT_GT(padSize, firstSize);

    EXPECT_NE(0, CollectDeviceHardwareIds());
    EXPECT_EQ(longPad, RecordedIds());
    std::string grown = std::to_string(firstSize);
    EXPECT_EQ((std::vector<std::string>{"0 260", "0 " + grown, "1 " + grown, "2 " + grown,
                                        "2 " + std::to_string(padSize)}),
              PropertyReads());
}

// The buffer is reused: whatever an earlier device left behind the returned
// data must never be read as an ID of the next one.
TEST_F(DeviceMatchingTest, EndsTheListWhereTheReturnedDataEnds)
{
    const std::string earlier = sim::MultiSz({"HID\\VID_0001&PID_0002&STALE_ONE", "STALE\\TWO", "STALE\\THREE"});
    const struct {
        const char* label;
        std::string property;
    } cases[] = {
        {"single string, one terminator", std::string("ACPI\\XYZ0017\0", 13)},
        {"list without its closing empty string", std::string("ACPI\\XYZ0017\0*XYZ0017\0", 22)},
        {"no terminator at all", std::string("ACPI\\XYZ0017")},
    };
    const Ids expected[] = {{"ACPI\\XYZ0017"}, {"ACPI\\XYZ0017", "*XYZ0017"}, {"ACPI\\XYZ0017"}};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(cases[i].label);
        sim::Reset();
        AddRawDevice(earlier);
        AddRawDevice(cases[i].property);
        EXPECT_NE(0, CollectDeviceHardwareIds());
        EXPECT_EQ(expected[i], RecordedIds());
        EXPECT_STREQ("XYZ0017", g_State.DeviceAcpiId);
    }
}

TEST_F(DeviceMatchingTest, KeepsTheFirstTwentyIdsOfALongList)
{
    Ids many;
    for (int i = 0; i < 25; ++i)
        many.push_back("ACPI\\XYZ00" + std::to_string(10 + i));
    AddDevice(many);
    strcpy(g_State.PackageDriverFolder, "C:\\Pkg\\x64");  // the field after the table

    EXPECT_NE(0, CollectDeviceHardwareIds());
    EXPECT_EQ(Ids(many.begin(), many.begin() + DEVICE_ID_SLOTS), RecordedIds());
    EXPECT_STREQ("C:\\Pkg\\x64", g_State.PackageDriverFolder);
}

TEST_F(DeviceMatchingTest, ASecondSearchLeavesNothingOfTheFirst)
{
    AddDevice({"ACPI\\ABC0001", "*ABC0001", "*PNP0F13"});
    CollectDeviceHardwareIds();
    sim::Machine().devices[0].hardwareIds = sim::MultiSz({"ACPI\\XYZ0017"});
    CollectDeviceHardwareIds();
    EXPECT_EQ(Ids{"ACPI\\XYZ0017"}, RecordedIds());

    sim::Machine().devices[0].hardwareIds = sim::MultiSz(kUsbMouse);
    CollectDeviceHardwareIds();
    EXPECT_TRUE(RecordedIds().empty());
    EXPECT_STREQ("", g_State.DeviceAcpiId);
}

TEST_F(DeviceMatchingTest, DeviceCodeNeverSplitsADoubleByteCharacter)
{
    const struct {
        const char* label;
        uint32_t codePage;
        const char* firstId;
        bool chosen;
        const char* acpiId;
    } cases[] = {
        {"lead byte at the eighth byte is dropped", 932, "ACPI\\ABCDEFG\x82\xA0XYZ", true, "ABCDEFG"},
        {"a whole character ending at the eighth byte stays", 932, "ACPI\\ABCDEF\x82\xA0XYZ", true,
         "ABCDEF\x82\xA0"},
        {"single-byte code page keeps eight bytes", 1252, "ACPI\\ABCDEFG\x82\xA0XYZ", true, "ABCDEFG\x82"},
        {"short code is kept whole", 932, "ACPI\\\x82\xA0Z", true, "\x82\xA0Z"},
        // 0x83 is a lead byte in 932: "A" is its trail byte, not the start of "ACPI\\".
        {"bus name hidden in a trail byte", 932, "\x83" "ACPI\\XYZ0017", false, ""},
        {"same bytes in 1252", 1252, "\x83" "ACPI\\XYZ0017", true, "XYZ0017"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        sim::Machine().ansiCodePage = c.codePage;
        AddDevice({c.firstId});
        CollectDeviceHardwareIds();
        EXPECT_EQ(c.chosen, !RecordedIds().empty());
        EXPECT_STREQ(c.acpiId, g_State.DeviceAcpiId);
    }
}

}  // namespace
