// Finding the touch pad among the pointing devices, and matching it to the INF.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "app/setup_sequence.h"
#include "checks/package_checks.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "driver/device_matching.h"
#include "refusal.h"
#include "sim/sim.h"

namespace {

using Ids = std::vector<std::string>;

const char kNoMatchText[] = "Can't match a correct device!";
const char kInfPath[] = "C:\\Pkg\\x64\\pkg.inf";

// A package INF whose models section holds these lines ("Key = values").
std::string PackageInf(const std::vector<std::string>& modelsLines, bool withManufacturer = true)
{
    std::string inf = "[Version]\r\nSignature=\"$WINDOWS NT$\"\r\nClass=Mouse\r\n"
                      "DriverVer=05/18/2020,10.3.201.104\r\n\r\n";
    if (withManufacturer)
        inf += "[Manufacturer]\r\n%Mfg%=Models,NTx86,NTamd64\r\n\r\n";
    inf += "[Models.NTamd64]\r\n";
    for (const std::string& line : modelsLines)
        inf += line + "\r\n";
    inf += "\r\n[Strings]\r\nMfg=\"Vorn\"\r\nPad=\"Touch Pad\"\r\n";
    return inf;
}

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
        for (int slot = 0; slot < DEVICE_ID_SLOTS && sim::RunTarget().DeviceHardwareIds[slot][0]; ++slot)
            ids.push_back(sim::RunTarget().DeviceHardwareIds[slot]);
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
        {"two on ACPI: the first wins",
         {{"ACPI\\ABC0001", "*ABC0001"}, kTouchPad},
         {"ACPI\\ABC0001", "*ABC0001"},
         "ABC0001"},
        {"long name cut to 8",
         {{"ACPI\\VEN_XYZ&DEV_0017", "ACPI\\XYZ0017"}},
         {"ACPI\\VEN_XYZ&DEV_0017", "ACPI\\XYZ0017"},
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
        EXPECT_NE(0, CollectDeviceHardwareIds(sim::CurrentTarget()));
        EXPECT_EQ(c.chosen, RecordedIds());
        EXPECT_STREQ(c.acpiId, sim::RunTarget().DeviceAcpiId);
        EXPECT_TRUE(sim::Machine().boxes.empty());
        EXPECT_TRUE(sim::Machine().openHandles.empty());
    }
}

TEST_F(DeviceMatchingTest, ReportsTheLastReadOrNoDevice)
{
    EXPECT_EQ(0, CollectDeviceHardwareIds(sim::CurrentTarget())) << "no pointing device";

    sim::Machine().deviceClassFails = true;
    AddDevice(kTouchPad);
    EXPECT_EQ(0, CollectDeviceHardwareIds(sim::CurrentTarget())) << "class cannot be enumerated";
    EXPECT_TRUE(RecordedIds().empty());

    sim::Reset();
    AddUnreadableDevice();
    EXPECT_EQ(0, CollectDeviceHardwareIds(sim::CurrentTarget())) << "the only device cannot be read";

    sim::Reset();
    AddDevice(kUsbMouse);
    AddUnreadableDevice();
    EXPECT_EQ(0, CollectDeviceHardwareIds(sim::CurrentTarget())) << "the last device cannot be read";
    EXPECT_TRUE(RecordedIds().empty());
}

TEST_F(DeviceMatchingTest, PassesOverADeviceWhoseIdsCannotBeRead)
{
    AddUnreadableDevice();
    AddDevice(kTouchPad);
    EXPECT_NE(0, CollectDeviceHardwareIds(sim::CurrentTarget()));
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

    EXPECT_NE(0, CollectDeviceHardwareIds(sim::CurrentTarget()));
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
        EXPECT_NE(0, CollectDeviceHardwareIds(sim::CurrentTarget()));
        EXPECT_EQ(expected[i], RecordedIds());
        EXPECT_STREQ("XYZ0017", sim::RunTarget().DeviceAcpiId);
    }
}

TEST_F(DeviceMatchingTest, KeepsTheFirstTwentyIdsOfALongList)
{
    Ids many;
    for (int i = 0; i < 25; ++i)
        many.push_back("ACPI\\XYZ00" + std::to_string(10 + i));
    AddDevice(many);
    strcpy(sim::RunTarget().PackageDriverFolder, "C:\\Pkg\\x64");  // the field after the table

    EXPECT_NE(0, CollectDeviceHardwareIds(sim::CurrentTarget()));
    EXPECT_EQ(Ids(many.begin(), many.begin() + DEVICE_ID_SLOTS), RecordedIds());
    EXPECT_STREQ("C:\\Pkg\\x64", sim::RunTarget().PackageDriverFolder);
}

TEST_F(DeviceMatchingTest, ASecondSearchLeavesNothingOfTheFirst)
{
    AddDevice({"ACPI\\ABC0001", "*ABC0001", "*PNP0F13"});
    CollectDeviceHardwareIds(sim::CurrentTarget());
    sim::Machine().devices[0].hardwareIds = sim::MultiSz({"ACPI\\XYZ0017"});
    CollectDeviceHardwareIds(sim::CurrentTarget());
    EXPECT_EQ(Ids{"ACPI\\XYZ0017"}, RecordedIds());

    sim::Machine().devices[0].hardwareIds = sim::MultiSz(kUsbMouse);
    CollectDeviceHardwareIds(sim::CurrentTarget());
    EXPECT_TRUE(RecordedIds().empty());
    EXPECT_STREQ("", sim::RunTarget().DeviceAcpiId);
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
        {"bus name hidden in a trail byte", 932,
         "\x83"
         "ACPI\\XYZ0017",
         false, ""},
        {"same bytes in 1252", 1252,
         "\x83"
         "ACPI\\XYZ0017",
         true, "XYZ0017"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        sim::Machine().ansiCodePage = c.codePage;
        AddDevice({c.firstId});
        CollectDeviceHardwareIds(sim::CurrentTarget());
        EXPECT_EQ(c.chosen, !RecordedIds().empty());
        EXPECT_STREQ(c.acpiId, sim::RunTarget().DeviceAcpiId);
    }
}

struct MatchCase {
    const char* label;
    Ids device;  // empty: no device on the ACPI bus
    std::vector<std::string> modelsLines;
    bool fits;
};

TEST_F(DeviceMatchingTest, MatchesAnyIdAsACaseSensitiveSubstringOfTheModelsText)
{
    const MatchCase cases[] = {
        {"first ID listed", kTouchPad, {"%Pad% = Inst, ACPI\\XYZ0017"}, true},
        {"lower-case INF ID", kTouchPad, {"%Pad% = Inst, acpi\\xyz0017"}, false},
        {"device ID inside a longer INF ID", kTouchPad, {"%Pad% = Inst, ACPI\\XYZ00170"}, true},
        {"only the second ID listed", kTouchPad, {"%Pad% = Inst, *XYZ0017"}, true},
        {"across the seam of two lines", kTouchPad, {"%Pad% = Inst, ACPI\\XYZ", "%Pad% = 0017Inst, HID\\X"}, true},
        {"other hardware only", kTouchPad, {"%Pad% = Inst, ACPI\\ABC0001"}, false},
        {"no device on ACPI", {}, {"%Pad% = Inst, ACPI\\XYZ0017"}, false},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        sim::WriteFile(kInfPath, PackageInf(c.modelsLines));
        AddDevice(c.device.empty() ? kUsbMouse : c.device);
        ASSERT_NE(0, CollectDeviceHardwareIds(sim::CurrentTarget()));
        EXPECT_EQ(c.fits ? 1 : 0, GoesOnOrShows(MatchPackageToDevice(sim::CurrentTarget(), kInfPath)));
        if (c.fits) {
            EXPECT_TRUE(sim::Machine().boxes.empty());
        } else {
            ASSERT_EQ(1u, sim::Machine().boxes.size());
            EXPECT_EQ(kNoMatchText, sim::Machine().boxes[0].text);
            EXPECT_EQ("Error", sim::Machine().boxes[0].caption);
            EXPECT_EQ(0x30u, sim::Machine().boxes[0].style);
        }
    }
}

TEST_F(DeviceMatchingTest, AnInfWithoutModelsIsNoMatchAndAnUnreadableInfIsSilent)
{
    AddDevice(kTouchPad);
    CollectDeviceHardwareIds(sim::CurrentTarget());
    sim::WriteFile(kInfPath, PackageInf({"%Pad% = Inst, ACPI\\XYZ0017"}, false));
    EXPECT_EQ(0, GoesOnOrShows(MatchPackageToDevice(sim::CurrentTarget(), kInfPath)));
    EXPECT_EQ(1u, sim::Machine().boxes.size()) << "no [Manufacturer]: the message";

    sim::Machine().boxes.clear();
    EXPECT_EQ(0, GoesOnOrShows(MatchPackageToDevice(sim::CurrentTarget(), "C:\\Pkg\\x64\\missing.inf")));
    EXPECT_TRUE(sim::Machine().boxes.empty()) << "INF cannot be opened: no message";
}

// The whole run: the device step between the package check and the DPInst check.
class DeviceStepInSetupTest : public DeviceMatchingTest {
protected:
    void SetUp() override
    {
        DeviceMatchingTest::SetUp();
        sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\x64\\DPInst.exe\r\nSupport=8\r\n");
        sim::WriteFile("C:\\Pkg\\x64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::WriteFile(kInfPath, PackageInf({"%Pad% = Inst, ACPI\\XYZ0017"}));
        sim::Machine().programs["C:\\Pkg\\x64\\DPInst.exe"].exitCode = 1;
    }

    // The refusal needs the INF path that the package check finds.
    static bool PackageCheckFindsTheInf()
    {
        char infPath[PATH_CAPACITY] = "";
        return GoesOnOrShows(CheckDriverFiles(sim::TargetWithPath("\\x64\\DPInst.exe"), infPath)) && infPath[0];
    }

    static bool DpinstRan()
    {
        for (const std::string& command : sim::Machine().processes)
            if (command.find("DPInst.exe") != std::string::npos)
                return true;
        return false;
    }
};

TEST_F(DeviceStepInSetupTest, NoPointingDeviceGoesOnWithoutAMessage)
{
    EXPECT_EQ(SUCCESS, RunSetup(0, "/s"));
    EXPECT_TRUE(sim::Machine().boxes.empty());
    EXPECT_TRUE(DpinstRan());
}

TEST_F(DeviceStepInSetupTest, DevicesOffTheAcpiBusRefuseThePackage)
{
    if (!PackageCheckFindsTheInf())
        GTEST_SKIP() << "the package check does not find the INF yet";
    AddDevice(kUsbMouse);
    EXPECT_EQ(ERROR_INSTALL_PLATFORM_UNSUPPORTED, RunSetup(0, "/s"));
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_EQ(kNoMatchText, sim::Machine().boxes[0].text);
    EXPECT_FALSE(DpinstRan());
}

TEST_F(DeviceStepInSetupTest, AMatchingTouchPadLetsTheInstallRun)
{
    if (!PackageCheckFindsTheInf())
        GTEST_SKIP() << "the package check does not find the INF yet";
    AddDevice(kUsbMouse);
    AddDevice(kTouchPad);
    EXPECT_EQ(SUCCESS, RunSetup(0, "/s"));
    EXPECT_TRUE(sim::Machine().boxes.empty());
    EXPECT_TRUE(DpinstRan());
}

}  // namespace
