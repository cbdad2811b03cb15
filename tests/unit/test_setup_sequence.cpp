// Whole runs through RunSetup on the simulated machine.
#include <gtest/gtest.h>

#include "app/setup_sequence.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "core/step_trace.h"

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>

#include "sim/sim.h"

namespace {

const char kTrace[] = "C:\\Windows\\Temp\\Setup_20261207_093005_1234.log";

// Every file under a host folder, by relative path, with its bytes; traces left out.
void Snapshot(const std::string& host, const std::string& relative, std::string* files)
{
    DIR* dir = opendir(host.c_str());
    if (!dir)
        return;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == ".." || (relative == "/Windows/Temp" && name.compare(0, 6, "Setup_") == 0))
            continue;
        struct stat info;
        std::string path = host + "/" + name;
        stat(path.c_str(), &info);
        if (S_ISDIR(info.st_mode)) {
            Snapshot(path, relative + "/" + name, files);
        } else {
            std::ifstream in(path, std::ios::binary);
            std::stringstream bytes;
            bytes << in.rdbuf();
            *files += "file " + relative + "/" + name + ": " + bytes.str() + "\n";
        }
    }
    closedir(dir);
}

// What a run leaves behind, boxes and the trace aside, as text to compare.
std::string Record(int exitCode)
{
    const sim::MachineState& machine = sim::Machine();
    std::string record = "exit code " + std::to_string(exitCode) + "\n";
    for (const std::string& process : machine.processes)
        record += "process " + process + "\n";
    for (const std::string& command : machine.systemCommands)
        record += "command " + command + "\n";
    for (uint32_t flags : machine.exitWindowsFlags)
        record += "restart " + std::to_string(flags) + "\n";
    for (const sim::ShellExecution& execution : machine.shellExecutions)
        record += "installer " + execution.file + execution.parameters + "\n";
    Snapshot(sim::HostPath("C:"), "", &record);
    return record;
}

class SetupSequence : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=8\r\n");
        sim::WriteFile("C:\\Pkg\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::WriteFile("C:\\Pkg\\Vi64\\Driver.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    }
    sim::Program& Dpinst() { return sim::Machine().programs["C:\\Pkg\\Vi64\\DPInst.exe"]; }
};

TEST_F(SetupSequence, SecondInstanceShowsNothingAndExitsZero)
{
    sim::Machine().mutexHeldElsewhere = true;
    Dpinst().exitCode = 1;
    EXPECT_EQ(0, RunSetup(0, "/s"));
    EXPECT_TRUE(sim::Machine().boxes.empty());
    EXPECT_TRUE(sim::Machine().processes.empty());
}

TEST_F(SetupSequence, UnsupportedWindowsExitsZeroAfterItsMessage)
{
    sim::Machine().major = 5;
    sim::Machine().minor = 0;
    EXPECT_EQ(0, RunSetup(0, "/s"));
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_EQ("Setup.exe", sim::Machine().boxes[0].caption);
    EXPECT_TRUE(sim::Machine().processes.empty());
}

TEST_F(SetupSequence, UsageScreenEndsTheRunWithSuccess)
{
    EXPECT_EQ(0, RunSetup(0, "/?"));
    ASSERT_EQ(1u, sim::Machine().boxes.size());
    EXPECT_EQ("Help", sim::Machine().boxes[0].caption);
    EXPECT_TRUE(sim::Machine().processes.empty());
}

TEST_F(SetupSequence, SilentDeploymentRunsDpinstWithSilentOptions)
{
    Dpinst().exitCode = 1;
    EXPECT_EQ(0, RunSetup(0, "/s"));
    ASSERT_EQ(1u, sim::Machine().processes.size());
    EXPECT_EQ("\"C:\\Pkg\\Vi64\\DPInst.exe\" /f /sw /se", sim::Machine().processes[0]);
    EXPECT_TRUE(sim::Machine().boxes.empty());
}

TEST_F(SetupSequence, ExitCodeIsTheResultOnlyWithTheExitCodeBit)
{
    Dpinst().exitCode = 0x40000002u;
    EXPECT_EQ(REBOOT_REQUIRED, RunSetup(0, "/s"));
    sim::Reset();
    SetUp();
    sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=0x37\r\n");
    Dpinst().exitCode = 0x80000000u;
    EXPECT_EQ(0, RunSetup(0, "/s"));
}

// Every box a run can reach, answered by a person pressing Enter on a visible
// desktop and answered by nobody on a hidden one: the same run either way.
TEST_F(SetupSequence, HiddenDesktopRunsEndAsEnterWouldWithoutABox)
{
    const std::string inf =
        "[Version]\r\nSignature=\"$Windows NT$\"\r\nDriverVer=05/18/2020,10.3.201.104\r\n"
        "[Manufacturer]\r\n%Mfg%=Models,NTamd64\r\n[Models.NTamd64]\r\n%Pad%=Pad,ACPI\\XYZ0017\r\n"
        "[Strings]\r\nMfg=\"Vorn\"\r\nPad=\"Touch Pad\"\r\n";
    auto installed = [](const char* version) {
        sim::SetRegistryString("Software\\Vorn\\Glidex", "ProductVer", version, sim::View::Only64);
    };
    const struct {
        const char* label;
        const char* arguments;
        std::function<void()> arrange;
        int exitCode;
        const char* caption;
    } cases[] = {
        {"unsupported Windows", "/s", []() { sim::Machine().major = 5, sim::Machine().minor = 0; }, 0, "Setup.exe"},
        {"files missing", "/s", []() { unlink(sim::HostPath("C:\\Pkg\\Vi64\\Driver.inf").c_str()); },
         ERROR_INSTALL_PLATFORM_UNSUPPORTED, "Setup.exe"},
        {"DPInst for the wrong processor", "/s",
         []() { sim::WriteFile("C:\\Pkg\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_I386)); },
         ERROR_INSTALL_PLATFORM_UNSUPPORTED, "Setup.exe"},
        {"no matching device", "/s",
         []() {
             sim::Machine().devices.push_back({"ACPI\\ABC0001\\0", sim::MultiSz({"ACPI\\ABC0001"}), true});
         },
         ERROR_INSTALL_PLATFORM_UNSUPPORTED, "Error"},
        {"version DLL mismatch", "/s",
         []() {
             sim::WriteFile("C:\\Pkg\\Vi64\\VrnVer.dll", "MZ");
             sim::Machine().versionStrings["C:\\Pkg\\Vi64\\VrnVer.dll"] = {
                 {"\\StringFileInfo\\040904b0\\ProductVersion", "10, 3, 201, 103"}};
         },
         0, "ERROR"},
        {"DPInst cannot start", "/s", [&]() { Dpinst().startFails = true; }, ERROR, "Setup.exe"},
        {"restart privilege missing", "/s /vFORCERESTART=true",
         [&]() {
             sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=0x2D\r\n");
             sim::Machine().privilegeNotAssigned = true;
             Dpinst().exitCode = 0x40000001u;
         },
         REBOOT_REQUIRED, "Error"},
        {"same version question", "", [&]() { installed("10.3.201.104"); }, 0, "Setup.exe"},
        {"older version question", "", [&]() { installed("7.0 10.4.0.0"); }, 0, "Setup.exe"},
        {"installed version unreadable", "", [&]() { installed("  "); }, 0, "WARNING"},
        {"usage screen", "/?", []() {}, 0, "Help"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::string runs[2];
        std::string traces[2];
        for (int hidden = 0; hidden < 2; ++hidden) {
            sim::Reset();
            SetUp();
            sim::WriteFile("C:\\Pkg\\Vi64\\Driver.inf", inf);
            c.arrange();
            sim::Machine().desktopVisible = hidden == 0;
            runs[hidden] = Record(RunSetup(0, c.arguments));
            traces[hidden] = sim::ReadFile(kTrace);
            EXPECT_EQ(hidden ? 0u : 1u, sim::Machine().boxes.size());
        }
        EXPECT_EQ(0u, runs[0].find("exit code " + std::to_string(c.exitCode) + "\n"));
        EXPECT_EQ(runs[0], runs[1]);
        std::string caption = std::string("caption \"") + c.caption + "\"";
        EXPECT_NE(std::string::npos, traces[0].find("Box shown: " + caption)) << traces[0];
        EXPECT_NE(std::string::npos, traces[1].find("Box not shown (no visible desktop): " + caption)) << traces[1];
        std::string last = "exit code " + std::to_string(c.exitCode) + "\r\n";
        EXPECT_EQ(last, traces[1].substr(traces[1].size() - last.size()));
    }
}

TEST_F(SetupSequence, TraceFaultsLeaveTheRunUnchanged)
{
    const struct {
        const char* label;
        std::function<void()> fault;
        bool traced;
    } cases[] = {
        {"no fault", [] {}, true},
        {"temp folder missing", [] { sim::Machine().tempPath = "C:\\NoSuch\\"; }, false},
        {"no temp folder at all", [] { sim::Machine().tempPath = ""; }, false},
        {"trace writes fail",
         [] {
             sim::Machine().writeFails = [](const std::string& path) {
                 return path.find("\\Temp\\") != std::string::npos;
             };
         },
         true},
    };
    std::string expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        SetUp();
        sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=0x3F\r\n");
        Dpinst().exitCode = 0x40000001u;
        c.fault();
        PfSetLastError(0);
        std::string run = Record(RunSetup(0, "/s /vFORCERESTART=true /f2 C:\\report.txt"));
        if (&c == &cases[0])
            expected = run;
        EXPECT_EQ(0u, run.find("exit code 1641\n"));
        EXPECT_EQ(expected, run);
        // A trace whose first write failed is left empty, not torn.
        EXPECT_EQ(c.traced, sim::FileExists(kTrace));
        std::string trace = sim::ReadFile(kTrace);
        EXPECT_EQ(&c == &cases[0], !trace.empty());
        EXPECT_TRUE(trace.empty() || trace.find("exit code 1641\r\n") == trace.size() - 16) << trace;
    }
}

std::string SourceText(const char* relative)
{
    std::ifstream in(std::string(SETUP_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The administrators' exit-code table lists exactly the results the program
// can return: every code of result_codes.h but the internal one.
TEST(DeployingGuide, ExitCodeTableMatchesTheResultCodes)
{
    std::string header = SourceText("src/core/result_codes.h");
    std::smatch found;
    ASSERT_TRUE(std::regex_search(header, found, std::regex("enum SetupResult \\{([^}]*)\\}")));
    std::string body = found[1];
    std::map<std::string, std::string> program;
    std::regex code("(\\w+) = (\\d+),[^\\n]*");
    for (std::sregex_iterator it(body.begin(), body.end(), code), end; it != end; ++it)
        if ((*it)[0].str().find("never an exit code") == std::string::npos)
            program[(*it)[2]] = (*it)[1];

    std::string guide = SourceText("docs/deploying.md");
    std::map<std::string, std::string> table;
    std::regex row("\\n\\| (\\d+) \\| `(\\w+)` \\|");
    for (std::sregex_iterator it(guide.begin(), guide.end(), row), end; it != end; ++it)
        table[(*it)[1]] = (*it)[2];

    EXPECT_EQ(7u, program.size());
    EXPECT_EQ(program, table);
    EXPECT_EQ("REBOOT_REQUIRED", program[std::to_string(REBOOT_REQUIRED)]);
}

TEST_F(SetupSequence, LongArgumentTextIsCutTo259)
{
    std::string arguments = "/x" + std::string(400, 'a');
    Dpinst().exitCode = 1;
    RunSetup(0, arguments.c_str());
    EXPECT_EQ(259u, strlen(g_State.CommandLine));
}

}  // namespace
