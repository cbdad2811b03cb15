// Whole runs through RunSetup on the simulated machine.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/setup_sequence.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "core/step_trace.h"

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
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

// ---- every failing Windows call, in the typical runs ----------------------

namespace {

const char kEarlierDpinstLog[] = "[earlier DPInst run]\r\n\x1A kept\r\n";

struct TypicalRun {
    const char* label;
    const char* arguments;
    uint32_t dpinstCode;
    std::vector<int> answers;
    int exitCode;  // without a failing call
};

const TypicalRun kTypicalRuns[] = {
    {"silent install", "/s", 1, {}, SUCCESS},
    {"interactive install, Yes", "", 1, {PF_IDYES}, SUCCESS},
    {"silent debug with LOGFILE and /f2",
     "/s /vDEBUG=true LOGFILE=C:\\Logs\\d.log /f2 C:\\Logs\\r.txt",
     1,
     {},
     SUCCESS},
    {"extract_all", "/extract_all:C:\\Out", 1, {}, SUCCESS},
    {"EXTRACTDRIVERS", "/vEXTRACTDRIVERS=C:\\Out", 1, {}, SUCCESS},
    {"custom request", "/s /OEM1", 1, {}, SUCCESS},
    {"forced restart", "/s /vFORCERESTART=true", 0x40000001u, {}, REBOOT_REQUIRED},
};

// A package with every feature, the same version installed, the touch pad
// present, the tray application there and an earlier DPInst log.
void SetUpFullMachine(const TypicalRun& run)
{
    sim::Reset();
    const std::string inf = "[Version]\r\nSignature=\"$Windows NT$\"\r\nDriverVer=11/20/2026,10.3.201.104\r\n"
                            "[Manufacturer]\r\n%V%=Vorn,NTamd64\r\n[Vorn.NTamd64]\r\n"
                            "%P%=Inst,ACPI\\VRN0001,*VRN0001\r\n[Strings]\r\nV=\"Vorn\"\r\nP=\"Pad\"\r\n";
    sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=0x3F\r\n"
                                         "[OEM1]\r\nCustomRequestCnt=1\r\nCustomRequest=tuned for OEM1\r\n");
    for (const char* width : {"Vi64", "Vi32"}) {
        std::string folder = std::string("C:\\Pkg\\") + width;
        sim::WriteFile(folder + "\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::WriteFile(folder + "\\GlidexTP.inf", inf);
    }
    sim::WriteFile("C:\\Pkg\\Vi64\\VrnVer.dll", "MZ");
    sim::WriteFile("C:\\Apps\\Glidex\\Glidex.exe", "MZ");
    sim::WriteFile("C:\\Windows\\DpInst.log", kEarlierDpinstLog);
    sim::MachineState& machine = sim::Machine();
    machine.versionStrings["C:\\Pkg\\Vi64\\VrnVer.dll"] = {
        {"\\StringFileInfo\\040904b0\\ProductVersion", "10, 3, 201, 104"}};
    machine.devices.push_back({"ACPI\\VRN0001\\4&1&0", sim::MultiSz({"ACPI\\VRN0001", "*VRN0001"}), true});
    sim::SetRegistryString("Software\\Vorn\\Glidex", "ProductVer", "10.3.201.104");
    sim::SetRegistryString("SOFTWARE\\Vorn\\Glidex", "HomeDirectory", "C:\\Apps\\Glidex");
    sim::Program& dpinst = machine.programs["C:\\Pkg\\Vi64\\DPInst.exe"];
    dpinst.exitCode = run.dpinstCode;
    dpinst.appends = {{"C:\\Windows\\DpInst.log", "[this run]\r\n"}};
    machine.answers = run.answers;
}

// Every program the run started, as started.
std::set<std::string> Commands()
{
    const sim::MachineState& machine = sim::Machine();
    std::set<std::string> commands(machine.processes.begin(), machine.processes.end());
    commands.insert(machine.systemCommands.begin(), machine.systemCommands.end());
    for (const sim::ShellExecution& shell : machine.shellExecutions)
        commands.insert(shell.folder + "|" + shell.file + "|" + shell.parameters);
    for (const std::string& call : machine.calls)
        if (call.compare(0, 23, "CreateProcessWithTokenW") == 0)
            commands.insert(call);
    return commands;
}

// A use that only serves the runtime log, the report, the LOGFILE copy,
// DPInst's log, the request file or the step trace: failing it must not
// change the result.
bool ServesOnlyRecords(const sim::CallUse& use)
{
    static const char* const kRecords[] = {"TouchPad",          "DpInst",  "C:\\Logs",
                                           "VornCustomSetting", "copy /b", "\\Temp\\"};
    for (const char* record : kRecords)
        if (use.subject.find(record) != std::string::npos)
            return true;
    return false;
}

}  // namespace

TEST(FaultTable, EveryFailingCallInTheTypicalRunsEndsDefinedAndLosesNothing)
{
    static const std::set<int> kDefinedResults = {SUCCESS,        DEP_SOFT_ERROR, DEP_HARD_ERROR,
                                                  ERROR,          UNKNOWN_OPTION, ERROR_INSTALL_PLATFORM_UNSUPPORTED,
                                                  REBOOT_REQUIRED};
    int pairs = 0, faultedRuns = 0;
    for (const TypicalRun& run : kTypicalRuns) {
        SCOPED_TRACE(run.label);
        SetUpFullMachine(run);
        sim::Machine().recordUses = true;
        int cleanExit = RunSetup(0, run.arguments);
        ASSERT_EQ(run.exitCode, cleanExit);
        const std::vector<sim::CallUse> uses = sim::Machine().uses;
        std::set<std::string> cleanCommands = Commands();
        // The tray application's own fallback when its installed path cannot be read.
        cleanCommands.insert("CreateProcessWithTokenW 1 C:\\Program Files\\Glidex2K\\Glidex.exe | (none) | 32 | "
                             "C:\\Program Files\\Glidex2K");
        ASSERT_TRUE(sim::Machine().openHandles.empty());

        // Each use fails once, as access denied and as a buffer too small;
        // then each call fails from its first use on. A use's subject tells
        // what it serves.
        std::vector<std::pair<sim::Fault, std::string>> faults;
        std::map<std::string, uint32_t> seen;
        for (const sim::CallUse& use : uses) {
            uint32_t nth = ++seen[use.call];
            for (uint32_t error : {5u, 122u})
                faults.push_back({{use.call, nth, error, false}, use.subject});
        }
        for (const auto& call : seen)
            faults.push_back({{call.first, 1, 5, true}, ""});

        for (const auto& fault : faults) {
            const sim::Fault& injected = fault.first;
            SCOPED_TRACE(testing::Message()
                         << injected.call << " use " << injected.nth << (injected.fromThenOn ? " on" : "")
                         << ", error " << injected.error << ": " << fault.second);
            SetUpFullMachine(run);
            sim::Machine().faults = {injected};
            int exitCode = RunSetup(0, run.arguments);
            ++faultedRuns;

            EXPECT_TRUE(sim::Machine().openHandles.empty());
            EXPECT_TRUE(kDefinedResults.count(exitCode)) << exitCode;
            if (!injected.fromThenOn && ServesOnlyRecords({injected.call, fault.second}))
                EXPECT_EQ(cleanExit, exitCode);
            // The backup (left when the log could not be put back) followed by the log.
            std::string history = (sim::FileExists("C:\\Windows\\DpInst_org.log")
                                       ? sim::ReadFile("C:\\Windows\\DpInst_org.log")
                                       : "") +
                                  sim::ReadFile("C:\\Windows\\DpInst.log");
            bool dpinstRan = !sim::Machine().processes.empty();
            EXPECT_EQ(kEarlierDpinstLog + std::string(dpinstRan ? "[this run]\r\n" : ""), history);
            for (const std::string& command : Commands())
                EXPECT_TRUE(cleanCommands.count(command)) << command;
        }
        pairs += (int)seen.size();
    }
    printf("fault table: %d (run, call) pairs, %d runs with a failing call\n", pairs, faultedRuns);
}
