// The package checker on the simulated Windows: what the Wine matrix cannot
// show, that it leaves the machine as it found it, leaves Setup.exe's own view
// of its folder and width alone, and survives hostile settings text under the
// sanitizers.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "app/setup_sequence.h"
#include "checker/findings.h"
#include "checker/package_checker.h"
#include "checker/report.h"
#include "sim/sim.h"
#include "util/bounded_string.h"

namespace {

const char kInf[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\nDriverVer=06/21/2026,10.3.201.104\r\n"
                    "[Manufacturer]\r\nMaker=Models,NTamd64,NTx86\r\n"
                    "[Models.NTamd64]\r\nPad=Inst,ACPI\\XYZ0017\r\n[Models.NTx86]\r\nPad=Inst,ACPI\\XYZ0017\r\n"
                    "[Inst]\r\nAddReg=Inst.Reg\r\n"
                    "[Inst.Reg]\r\nHKLM,Software\\Vorn\\Glidex,ProductVer,,\"7.0 10.3.201.104\"\r\n";

std::set<std::string> FilesOnDriveC()
{
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(sim::HostPath("C:\\")))
        files.insert(entry.path().string());
    return files;
}

CheckerOptions g_options;

int Check(const char* folder)
{
    g_options = CheckerOptions();
    BoundedCopy(g_options.folder, PATH_CAPACITY, folder);
    return CheckPackage(0, &g_options);
}

TEST(PackageChecker, JudgesEveryRowWithoutTouchingTheMachine)
{
    sim::Reset();
    sim::Machine().is64Bit = false;  // the checker's own machine: not the rows it judges
    sim::WriteFile(
        "C:\\Other\\Setup.ini",
        "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=8\r\n[W832]\r\nPath=\\Vi32\\DPInst.exe\r\nSupport=8\r\n");
    sim::WriteFile("C:\\Other\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
    sim::WriteFile("C:\\Other\\Vi32\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_I386));
    sim::WriteFile("C:\\Other\\Vi64\\Touch.inf", kInf);
    sim::WriteFile("C:\\Other\\Vi32\\Touch.inf", kInf);
    std::set<std::string> before = FilesOnDriveC();

    EXPECT_EQ(0, Check("C:\\Other"));
    EXPECT_TRUE(sim::Machine().boxes.empty());
    EXPECT_TRUE(sim::Machine().processes.empty());
    EXPECT_TRUE(sim::Machine().shellExecutions.empty());
    EXPECT_TRUE(sim::Machine().systemCommands.empty());
    EXPECT_EQ(before, FilesOnDriveC());

    // Setup.exe afterwards reads its own folder (no package there) on its own
    // 32-bit Windows, and shows its box again.
    RunSetup(0, "/s");
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_NE(std::string::npos, sim::Machine().boxes[0].text.find("missing"));
}

// Whether the INF records the installed version where Setup.exe reads it.
TEST(PackageChecker, VersionRecordOfTheInf)
{
    const std::string head =
        "[Version]\r\nSignature=\"$Windows NT$\"\r\nDriverVer=06/21/2026,10.3.201.104\r\n"
        "[Manufacturer]\r\nMaker=Models,NTamd64\r\n[Models.NTamd64]\r\nPad=Inst,ACPI\\XYZ0017\r\n";
    const struct {
        const char* label;
        const char* infName;
        std::string sections;
        int verdict;
        const char* text;
    } kCases[] = {
        {"written with the product word", "Touch.inf",
         "[Inst.NTamd64]\r\nAddReg=A,B\r\n[B]\r\nHKLM,SOFTWARE\\Vorn\\Glidex,ProductVer,0,\"%V%\"\r\n"
         "[Strings]\r\nV=\"7.0 10.3.201.104\"\r\n",
         VERDICT_OK, "read 10.3.201.104"},
        {"not written", "Touch.inf", "[Inst]\r\nAddReg=A\r\n[A]\r\nHKLM,Software\\Vorn\\Glidex,Other,,\"x\"\r\n",
         VERDICT_WARNING, "writes no ProductVer"},
        {"another version", "Touch.inf",
         "[Inst]\r\nAddReg=A\r\n[A]\r\nHKLM,Software\\Vorn\\Glidex,ProductVer,,\"10.3.201.99\"\r\n", VERDICT_WARNING,
         "is not DriverVer's"},
        // The undecorated section is not read where a decorated one exists.
        {"only in the section Windows skips", "Touch.inf",
         "[Inst.NTamd64]\r\nCopyFiles=F\r\n[Inst]\r\nAddReg=A\r\n[A]\r\nHKLM,Software\\Vorn\\Glidex,ProductVer,,\"1 "
         "10.3.201.104\"\r\n",
         VERDICT_WARNING, "writes no ProductVer"},
        {"the pointing stick's INF, the touch pad's key", "GxPS2.inf",
         "[Inst]\r\nAddReg=A\r\n[A]\r\nHKLM,Software\\Vorn\\Glidex,ProductVer,,\"1 10.3.201.104\"\r\n",
         VERDICT_WARNING, "VornPoint"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        sim::WriteFile("C:\\Other\\Setup.ini", "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=8\r\n");
        sim::WriteFile("C:\\Other\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::WriteFile(std::string("C:\\Other\\Vi64\\") + c.infName, head + c.sections);
        Check("C:\\Other");
        const Finding* record = nullptr;
        for (int i = 0; i < FindingCount(); ++i)
            if (GetFinding(i)->row == 0 && std::string(GetFinding(i)->check) == "version-record")
                record = GetFinding(i);
        ASSERT_NE(nullptr, record);
        EXPECT_EQ(c.verdict, record->verdict);
        EXPECT_NE(nullptr, strstr(record->text, c.text)) << record->text;
    }
}

// Each row lists its INF's IDs once, in order, and the device keys of those
// the device match takes for a touch pad: on the ACPI bus, spelt as Windows reports them.
TEST(PackageChecker, TargetingListsTheModelsIdsAndTheirDeviceKeys)
{
    const std::string head = "[Version]\r\nSignature=\"$Windows NT$\"\r\nDriverVer=06/21/2026,10.3.201.104\r\n"
                             "[Manufacturer]\r\nMaker=Models,NTamd64\r\n[Models.NTamd64]\r\n";
    const std::string enumKey = "HKLM\\\\SYSTEM\\\\CurrentControlSet\\\\Enum\\\\ACPI\\\\";
    const struct {
        const char* label;
        std::string models;
        int verdict;
        std::string json;
    } kCases[] = {
        {"touch pads among other devices",
         "Pad=Inst,ACPI\\XYZ0017,*XYZ0017\r\nPad2=Inst,ACPI\\XYZ0017\r\nPad3=Inst,ACPI\\VEN_AB&DEV_01\\3\r\n"
         "Usb=Inst,HID\\VID_1&PID_2\r\n",
         VERDICT_OK,
         "\"hardware_ids\": [\"ACPI\\\\XYZ0017\", \"*XYZ0017\", \"ACPI\\\\VEN_AB&DEV_01\\\\3\", "
         "\"HID\\\\VID_1&PID_2\"], \"device_keys\": [\"" +
             enumKey + "XYZ0017\", \"" + enumKey + "VEN_AB&DEV_01\"]}"},
        {"no ID the device match takes", "Pad=Inst,acpi\\xyz0017,HID\\VID_1\r\n", VERDICT_WARNING,
         "\"hardware_ids\": [\"acpi\\\\xyz0017\", \"HID\\\\VID_1\"], \"device_keys\": []}"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        sim::WriteFile("C:\\Other\\Setup.ini", "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=8\r\n");
        sim::WriteFile("C:\\Other\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::WriteFile("C:\\Other\\Vi64\\Touch.inf", head + c.models);
        Check("C:\\Other");
        const Finding* targeting = nullptr;
        for (int i = 0; i < FindingCount(); ++i)
            if (GetFinding(i)->row == 0 && std::string(GetFinding(i)->check) == "targeting")
                targeting = GetFinding(i);
        ASSERT_NE(nullptr, targeting);
        EXPECT_EQ(c.verdict, targeting->verdict) << targeting->text;
        char* text = nullptr;
        size_t size = 0;
        FILE* out = open_memstream(&text, &size);
        PrintJson(out, &g_options, 0);
        fclose(out);
        std::string json(text, size);
        free(text);
        size_t row = json.find("\"section\": \"W864\"");
        ASSERT_NE(std::string::npos, row);
        EXPECT_EQ(json.find("\"hardware_ids\"", row), json.find(c.json, row)) << json;
        EXPECT_NE(std::string::npos, json.find(c.json, row)) << json;
    }
}

TEST(PackageChecker, HostileSettingsTextEndsInFindings)
{
    const std::string garbage(3000, '\x9C');
    std::string sections;
    for (int i = 0; i < 3000; ++i)
        sections += "[S" + std::to_string(i) + "]\r\nPaht=x\r\nPaht=y\r\n";
    std::string oddUtf16 = "\xFF\xFE";
    for (char c : std::string("[W864]"))
        oddUtf16 += std::string(1, c) + '\0';
    oddUtf16 += '[';
    // Each text must reach the settings reader's own findings, not just the
    // package-level error for a folder without DPInst.
    const struct {
        const char* label;
        std::string text;
        const char* check;
        int verdict;
    } kCases[] = {
        {"one line of 100,000 characters", "[W864]\r\nPath=\\" + std::string(100000, 'a'), "settings-file",
         VERDICT_OK},
        {"3,000 unknown sections with duplicate keys", sections, "unknown-section", VERDICT_WARNING},
        {"UTF-16 of odd length", oddUtf16, "encoding", VERDICT_OK},
        {"a lone bracket and key without a section", "[\r\n=\r\nSupport\r\n", "unread-line", VERDICT_WARNING},
        {"bytes above 0x7F", garbage, "unread-line", VERDICT_WARNING},
        {"no bytes at all", "", "settings-file", VERDICT_WARNING},
        {"a 63-character section name", "[" + std::string(63, 'W') + "]\r\n", "unknown-section", VERDICT_WARNING},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        sim::WriteFile("C:\\Other\\Setup.ini", c.text);
        EXPECT_EQ(2, Check("C:\\Other"));
        int found = 0;
        for (int i = 0; i < FindingCount(); ++i)
            found += GetFinding(i)->row == PACKAGE_GROUP && std::string(GetFinding(i)->check) == c.check &&
                     GetFinding(i)->verdict == c.verdict;
        EXPECT_GT(found, 0) << c.check;
    }
}

// A key name that carries a carriage return, an escape sequence and DEL: in a
// build log, raw, it would print as a line of its own.
TEST(PackageChecker, ControlCharactersInPackageTextCannotForgeReportLines)
{
    sim::Reset();
    sim::WriteFile("C:\\Other\\Setup.ini",
                   "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=8\r\nPaht\rOK      \x1B[2J\tforged\x7F=1\r\n");
    int exitCode = Check("C:\\Other");
    FILE* out = tmpfile();
    ASSERT_NE(nullptr, out);
    PrintReport(out, &g_options, exitCode);
    std::string report(ftell(out), '\0');
    rewind(out);
    ASSERT_EQ(report.size(), fread(&report[0], 1, report.size(), out));
    fclose(out);
    for (char c : report)
        EXPECT_TRUE(c == '\n' || ((unsigned char)c >= 0x20 && c != 0x7F)) << (int)c;
    EXPECT_NE(std::string::npos, report.find("WARNING key Paht\\rOK      \\x1B[2J\\tforged\\x7F in [W864]"));
}

}  // namespace
