// Whole runs through RunSetup on the simulated machine.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
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
#include <unistd.h>

#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "sim/sim.h"

namespace {

// The run's trace, found as the rig finds it: by program, start time and
// process id before its random part. "" when there is none.
std::string TraceFile()
{
    const std::string prefix = "Setup_20261207_093005_1234_";
    DIR* dir = opendir(sim::HostPath("C:\\Windows\\Temp").c_str());
    std::string found;
    while (dirent* entry = dir ? readdir(dir) : 0)
        if (std::string(entry->d_name).compare(0, prefix.size(), prefix) == 0)
            found = std::string("C:\\Windows\\Temp\\") + entry->d_name;
    if (dir)
        closedir(dir);
    return found;
}

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
    // A copy of this program runs elevated: its mutex belongs to Administrators
    // or SYSTEM, or its owner cannot be read (as under Wine). A standard user's
    // mutex of that name stops nothing, nor does a symbolic-link object named
    // Setup that leads to SYSTEM's mutex elsewhere, nor an object whose name
    // cannot be read.
    const struct {
        const char* label;
        const char* owner;
        const char* linkTarget;
        uint32_t session;
        const char* type;
        bool queryFails;
        bool stops;
    } cases[] = {
        {"Administrators", "BA", "", 1, "Mutant", false, true},
        {"SYSTEM", "SY", "", 1, "Mutant", false, true},
        {"owner unreadable", "", "", 1, "Mutant", false, true},
        {"a user's mutex", "S-1-5-21-1-2-3-1001", "", 1, "Mutant", false, false},
        {"session 0", "SY", "", 0, "Mutant", false, true},
        {"link to a global mutex", "SY", "\\BaseNamedObjects\\Global\\Other", 1, "Mutant", false, false},
        {"link to another session's Setup", "SY", "\\Sessions\\2\\BaseNamedObjects\\Setup", 1, "Mutant", false,
         false},
        {"link to session 1's Setup from session 0", "SY", "\\Sessions\\1\\BaseNamedObjects\\Setup", 0, "Mutant",
         false, false},
        {"link to the global Setup from session 1", "SY", "\\BaseNamedObjects\\Setup", 1, "Mutant", false, false},
        {"not a mutex", "SY", "", 1, "Event", false, false},
        {"query fails", "SY", "", 1, "Mutant", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        SetUp();
        sim::Machine().mutexHeldElsewhere = c.linkTarget[0] == 0;
        sim::Machine().mutexOwner = c.owner;
        sim::Machine().mutexLinkTarget = c.linkTarget;
        sim::Machine().mutexObjectType = c.type;
        sim::Machine().sessionId = c.session;
        if (c.queryFails)
            sim::FailCall("PfQueryObjectTypeAndName", 1, 5);
        Dpinst().exitCode = 1;
        EXPECT_EQ(0, RunSetup(0, "/s"));
        EXPECT_TRUE(sim::Machine().boxes.empty());
        EXPECT_EQ(c.stops ? 0u : 1u, sim::Machine().processes.size());
    }
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
    // Held from its check to the end of its run, so the file checked is the file run.
    bool held = false, written = true;
    Dpinst().whileRunning = [&]() {
        held = sim::IsOpen("C:\\Pkg\\Vi64\\DPInst.exe");
        // Not even another administrator's program may write it meanwhile.
        PfHandle writer = PfNtCreateFile(0, "C:\\Pkg\\Vi64\\DPInst.exe", PF_FILE_WRITE_DATA | PF_SYNCHRONIZE,
                                         PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE,
                                         PF_FILE_OPEN, PF_FILE_NON_DIRECTORY_FILE, 0);
        written = writer != 0;
        if (writer)
            PfCloseHandle(writer);
    };
    EXPECT_EQ(0, RunSetup(0, "/s"));
    ASSERT_EQ(1u, sim::Machine().processes.size());
    EXPECT_EQ("\"C:\\Pkg\\Vi64\\DPInst.exe\" /f /sw /se", sim::Machine().processes[0]);
    EXPECT_TRUE(sim::Machine().boxes.empty());
    EXPECT_TRUE(held);
    EXPECT_FALSE(written);
    EXPECT_TRUE(sim::Machine().openHandles.empty());
}

// A package other users may change runs from a copy only administrators may
// change, made fresh in the temporary folder and gone after the run; a link
// in the package is not copied.
TEST_F(SetupSequence, APackageUsersMayChangeRunsFromAProtectedCopy)
{
    sim::SetSecurity("C:\\Pkg", "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;AU)");
    sim::MakeFolder("C:\\Elsewhere");
    sim::MakeLink("C:\\Pkg\\Vi64\\Linked", "C:\\Elsewhere");
    Dpinst().exitCode = 1;
    std::string copy;
    bool protectedCopy = false, linkCopied = true;
    Dpinst().whileRunning = [&]() {
        const std::string& command = sim::Machine().processes.back();
        copy = command.substr(1, command.find("\\Vi64\\DPInst.exe") - 1);
        protectedCopy = sim::FileExists(copy + "\\Setup.ini") && !sim::UserMayChange(copy) &&
                        !sim::UserMay(copy + "\\Vi64\\DPInst.exe", PF_FILE_READ_DATA);
        linkCopied = sim::FileExists(copy + "\\Vi64\\Linked");
    };
    EXPECT_EQ(0, RunSetup(0, "/s"));
    ASSERT_EQ(1u, sim::Machine().processes.size());
    EXPECT_EQ(0u, copy.find("C:\\Windows\\Temp\\SetupPackage_")) << copy;
    EXPECT_TRUE(protectedCopy);
    EXPECT_FALSE(linkCopied);
    EXPECT_FALSE(sim::FileExists(copy));
    EXPECT_NE(std::string::npos, sim::ReadFile(TraceFile()).find("Package: copied to " + copy));

    // A protected package with a link in it is copied too, without the link:
    // nothing of the run may follow it.
    sim::Reset();
    SetUp();
    sim::MakeFolder("C:\\Elsewhere");
    sim::MakeLink("C:\\Pkg\\Vi64\\Linked", "C:\\Elsewhere");
    EXPECT_EQ(0, RunSetup(0, "/s"));
    ASSERT_EQ(1u, sim::Machine().processes.size());
    EXPECT_NE(std::string::npos, sim::Machine().processes[0].find("\\SetupPackage_"));

    // So is a package in which only one file, not a folder, is open to
    // others. A package folder that cannot be held is never used in place: it
    // is read through a handle opened by name, or, when even that fails, the
    // run ends as files missing.
    const struct {
        const char* label;
        std::function<void()> arrange;
        int exitCode;  // -1: files missing, as when the copy cannot be made
    } unheld[] = {
        {"only one file open to others",
         [] { sim::SetSecurity("C:\\Pkg\\Vi64\\Driver.inf", "D:P(A;;FA;;;BA)(A;;FA;;;BU)"); }, 0},
        {"a user's handle with delete access and full sharing",
         [] {
             sim::SetSecurity("C:\\Pkg", "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;AU)");
             ASSERT_TRUE(sim::ForeignOpen("C:\\Pkg", PF_DELETE | PF_FILE_READ_ATTRIBUTES,
                                          PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE));
         },
         0},
        {"a path through a link",
         [] {
             sim::MakeLink("C:\\Via", "C:\\Pkg");
             sim::Machine().modulePath = "C:\\Via\\Setup.exe";
         },
         0},
        {"a user's handle that shares nothing", [] { ASSERT_TRUE(sim::ForeignOpen("C:\\Pkg", PF_GENERIC_READ, 0)); },
         -1},
    };
    for (const auto& row : unheld) {
        SCOPED_TRACE(row.label);
        sim::Reset();
        SetUp();
        row.arrange();
        EXPECT_EQ(0, RunSetup(0, "/s"));
        if (row.exitCode == 0) {
            ASSERT_EQ(1u, sim::Machine().processes.size());
            EXPECT_NE(std::string::npos, sim::Machine().processes[0].find("\\SetupPackage_"));
        } else {
            EXPECT_TRUE(sim::Machine().processes.empty());
            EXPECT_NE(std::string::npos,
                      sim::ReadFile(TraceFile()).find("can be neither held nor opened (error 32)"));
        }
    }
}

// Every file below a folder, by its path relative to it.
void ListFiles(const std::string& host, const std::string& relative, std::set<std::string>* files)
{
    DIR* dir = opendir(host.c_str());
    while (dirent* entry = dir ? readdir(dir) : 0) {
        std::string name = entry->d_name;
        struct stat info;
        if (name == "." || name == ".." || lstat((host + "/" + name).c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode))
            ListFiles(host + "/" + name, relative + name + "\\", files);
        else
            files->insert(relative + name);
    }
    if (dir)
        closedir(dir);
}

// The copy holds only what the chosen row can use on this Windows, each file
// as it was when it was opened and within the copy's bounds; a protected
// package is judged only where the run reads and starts.
TEST_F(SetupSequence, TheCopyHoldsOnlyWhatTheRunUses)
{
    const std::string driver(100 * 1024, 'd');
    const std::set<std::string> kVi64 = {"Setup.ini", "Vi64\\DPInst.exe", "Vi64\\Driver.inf", "Vi64\\Driver.sys"};
    std::set<std::string> withInstaller = kVi64;
    withInstaller.insert("DotNetFx\\dotNetFx40_Client_x86_x64.exe");
    std::set<std::string> whole = withInstaller;
    whole.insert({"DotNetFx\\readme.txt", "Vi32\\DPInst.exe", "XP32\\DPInst.exe"});
    const char* const kUsersMay = "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;AU)";
    // Before every read of Driver.sys: it grows, or loses its end.
    auto onRead = [](std::function<void(const std::string&)> change) {
        for (uint32_t nth = 1; nth < 64; ++nth)
            sim::Machine().races.push_back({"PfReadFile", nth, [change](const std::string& subject) {
                                                if (subject.find("Driver.sys") != std::string::npos)
                                                    change(sim::HostPath("C:\\Pkg\\Vi64\\Driver.sys"));
                                            }});
    };
    const struct {
        const char* label;
        std::function<void()> arrange;
        const char* arguments;
        std::set<std::string> copied;  // empty: used in place
        const char* traced;            // with no DPInst: the run ends as files missing
    } rows[] = {
        {"64-bit Windows 10", [] {}, "/s", kVi64, "(Setup.ini and Vi64)"},
        {"Windows 7 with prerequisites",
         [] {
             sim::Machine().major = 6;
             sim::Machine().minor = 1;
         },
         "/s", withInstaller, "(Setup.ini and Vi64, DotNetFx\\dotNetFx40_Client_x86_x64.exe)"},
        {"a growing file, copied to its size at open",
         [&] { onRead([](const std::string& host) { std::ofstream(host, std::ios::app) << "appended"; }); }, "/s",
         kVi64, "(Setup.ini and Vi64)"},
        {"a protected package with a changeable folder and a link it does not use",
         [&] {
             sim::SetSecurity("C:\\Pkg", "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)");
             sim::SetSecurity("C:\\Pkg\\XP32", kUsersMay);
             sim::MakeLink("C:\\Pkg\\Vi32\\Linked", "C:\\Windows");
         },
         "/s",
         {},
         "uses of it (Vi64); used in place"},
        {"an extraction", [] {}, "/extract_all:C:\\Out", {}, "(Setup.ini and Vi64, Vi32)"},
        {"a Path through \".\"",
         [] { sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=.\\Vi64\\DPInst.exe\r\nSupport=8\r\n"); }, "/s",
         kVi64, "(Setup.ini and Vi64)"},
        {"a Path through \"..\": the whole package, as the checks then judge it",
         [] {
             sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\XP32\\..\\Vi64\\DPInst.exe\r\nSupport=8\r\n");
         },
         "/s", whole, "(Setup.ini and the whole folder)"},
        {"a sparse file",
         [] { sim::SetAttributes("C:\\Pkg\\Vi64\\Driver.sys", PF_FILE_ATTRIBUTE_SPARSE_FILE); },
         "/s",
         {},
         "Driver.sys (102400 bytes) is a sparse file"},
        {"a file over the cap",
         [] { ASSERT_EQ(0, truncate(sim::HostPath("C:\\Pkg\\Vi64\\Driver.sys").c_str(), (512ll << 20) + 1)); },
         "/s",
         {},
         "is larger than a file of the copy may be (512 MiB a file, 2048 MiB in all)"},
        {"a file that loses its end while copied",
         [&] { onRead([](const std::string& host) { ASSERT_EQ(0, truncate(host.c_str(), 10)); }); },
         "/s",
         {},
         "ended before the size it had when it was opened"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        sim::Reset();
        SetUp();
        sim::SetSecurity("C:\\Pkg", kUsersMay);
        sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=0x1B\r\n"
                                             "[W764]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=0x1B\r\n");
        sim::WriteFile("C:\\Pkg\\Vi64\\Driver.sys", driver);
        sim::WriteFile("C:\\Pkg\\Vi32\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_I386));
        sim::WriteFile("C:\\Pkg\\XP32\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_I386));
        sim::WriteFile("C:\\Pkg\\DotNetFx\\dotNetFx40_Client_x86_x64.exe", "MZ installer");
        sim::WriteFile("C:\\Pkg\\DotNetFx\\readme.txt", "read me");
        row.arrange();
        std::set<std::string> copied;
        std::string folder, copiedDriver;
        Dpinst().whileRunning = [&]() {
            const std::string& command = sim::Machine().processes.back();
            // The copy's folder, whatever the Path joined to it.
            size_t copy = command.find("SetupPackage_");
            folder =
                command.substr(1, copy == std::string::npos ? command.find("\\Vi64\\DPInst.exe") - 1 : copy + 28);
            ListFiles(sim::HostPath(folder), "", &copied);
            copiedDriver = sim::ReadFile(folder + "\\Vi64\\Driver.sys");
        };
        int exitCode = RunSetup(0, row.arguments);
        std::string trace = sim::ReadFile(TraceFile());
        EXPECT_NE(std::string::npos, trace.find(row.traced)) << trace;
        if (strcmp(row.arguments, "/s") != 0) {
            EXPECT_EQ(0, exitCode);  // extracted
            EXPECT_TRUE(sim::FileExists("C:\\Out\\production\\Windows7-x86\\DPInst.exe"));
            EXPECT_TRUE(sim::FileExists("C:\\Out\\production\\Windows8.1-x64\\Driver.sys"));
        } else if (!row.copied.empty()) {
            EXPECT_EQ(0u, folder.find("C:\\Windows\\Temp\\SetupPackage_")) << folder;
            EXPECT_EQ(row.copied, copied);
            EXPECT_EQ(driver, copiedDriver);
        } else if (strstr(row.traced, "in place")) {
            EXPECT_EQ("C:\\Pkg", folder);
        } else {
            EXPECT_TRUE(sim::Machine().processes.empty());
            EXPECT_NE(std::string::npos, trace.find("no protected copy could be made")) << trace;
        }
        EXPECT_TRUE(sim::Machine().openHandles.empty());
    }
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
    // A visible desktop, a hidden window station, and session 0 with a visible
    // one: nobody sits there since Vista; on older Windows it is the console.
    const std::string answered = ", boxes are answered with their default button\r\n";
    const std::string kDesktopLines[] = {"Desktop visible: yes\r\n", "Desktop visible: no" + answered,
                                         "Desktop visible: no (session 0)" + answered};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::string runs[3];
        for (int way = 0; way < 3; ++way) {
            SCOPED_TRACE(way);
            sim::Reset();
            SetUp();
            sim::WriteFile("C:\\Pkg\\Vi64\\Driver.inf", inf);
            c.arrange();
            sim::Machine().desktopVisible = way != 1;
            sim::Machine().sessionId = way == 2 ? 0 : 1;
            bool hidden = way == 1 || (way == 2 && sim::Machine().major >= 6);
            runs[way] = Record(RunSetup(0, c.arguments));
            std::string trace = sim::ReadFile(TraceFile());
            EXPECT_EQ(hidden ? 0u : 1u, sim::Machine().boxes.size());
            EXPECT_EQ(runs[0], runs[way]);
            EXPECT_NE(std::string::npos, trace.find(kDesktopLines[hidden ? way : 0])) << trace;
            std::string caption = std::string("caption \"") + c.caption + "\"";
            EXPECT_NE(std::string::npos,
                      trace.find((hidden ? "Box not shown (no visible desktop): " : "Box shown: ") + caption))
                << trace;
            std::string last = "exit code " + std::to_string(c.exitCode) + "\r\n";
            EXPECT_EQ(last, trace.substr(trace.size() - last.size()));
        }
        EXPECT_EQ(0u, runs[0].find("exit code " + std::to_string(c.exitCode) + "\n"));
    }
}

// Each outcome's exit code in both profiles: the classic codes (Support 0x08)
// and, with EXITCODES=msi anywhere on the command line, the Windows Installer
// codes deployment tools read.
TEST_F(SetupSequence, OutcomesGiveTheirExitCodeInBothProfiles)
{
    const std::string inf = "[Version]\r\nSignature=\"$Windows NT$\"\r\nDriverVer=05/18/2020,10.3.201.104\r\n"
                            "[Manufacturer]\r\nVorn=Models,NTamd64\r\n[Models.NTamd64]\r\nPad=Pad,ACPI\\XYZ0017\r\n";
    auto settings = [](const char* support) {
        sim::WriteFile("C:\\Pkg\\Setup.ini",
                       std::string("[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=") + support + "\r\n");
    };
    auto installed = [](const char* version) {
        sim::SetRegistryString("Software\\Vorn\\Glidex", "ProductVer", version, sim::View::Only64);
    };
    auto dpinstReturns = [&](uint32_t code) { return [&, code]() { Dpinst().exitCode = code; }; };
    const struct {
        const char* label;
        const char* arguments;
        std::function<void()> arrange;
        int classic, msi;
    } cases[] = {
        {"installed", "/s", dpinstReturns(1), 0, 0},
        {"nothing to install", "/s", dpinstReturns(0), 0, 0},
        {"three packages installed", "/s", dpinstReturns(3), 3, 0},
        {"staged only", "/s", dpinstReturns(0x100), DEP_HARD_ERROR, 0},
        {"restart needed", "/s", dpinstReturns(0x40000001u), REBOOT_REQUIRED, 3010},
        {"restart needed, three packages", "/s", dpinstReturns(0x40000003u), 0x40000003, 3010},
        {"restart started", "/s /vFORCERESTART=true",
         [&]() {
             settings("9");
             Dpinst().exitCode = 0x40000001u;
         },
         REBOOT_REQUIRED, REBOOT_REQUIRED},
        {"a package failed", "/s", dpinstReturns(0x80010000u), ERROR, ERROR},
        {"failed and staged", "/s", dpinstReturns(0x80000100u), DEP_HARD_ERROR, ERROR},
        {"a failed count without the flag", "/s", dpinstReturns(0x00010001u), 0x00010001, ERROR},
        {"DPInst could not be started", "/s", [&]() { Dpinst().startFails = true; }, ERROR, ERROR},
        {"second instance", "/s", []() { sim::Machine().mutexHeldElsewhere = true; }, 0, 1618},
        {"unsupported Windows", "/s", []() { sim::Machine().major = 5, sim::Machine().minor = 0; }, 0, 1633},
        {"files missing", "/s", []() { unlink(sim::HostPath("C:\\Pkg\\Vi64\\Driver.inf").c_str()); },
         ERROR_INSTALL_PLATFORM_UNSUPPORTED, ERROR},
        {"wrong DPInst width", "/s",
         []() { sim::WriteFile("C:\\Pkg\\Vi64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_I386)); },
         ERROR_INSTALL_PLATFORM_UNSUPPORTED, ERROR},
        {"no matching device", "/s",
         []() {
             sim::Machine().devices.push_back({"ACPI\\ABC0001\\0", sim::MultiSz({"ACPI\\ABC0001"}), true});
         },
         ERROR_INSTALL_PLATFORM_UNSUPPORTED, 1633},
        {"version-DLL mismatch", "/s",
         []() {
             sim::WriteFile("C:\\Pkg\\Vi64\\VrnVer.dll", "MZ");
             sim::Machine().versionStrings["C:\\Pkg\\Vi64\\VrnVer.dll"] = {
                 {"\\StringFileInfo\\040904b0\\ProductVersion", "10, 3, 201, 103"}};
         },
         0, ERROR},
        {"installed version unreadable", "", [&]() { installed("  "); }, 0, ERROR},
        {"the user said No", "",
         [&]() {
             installed("10.3.201.104");
             sim::Machine().answers = {PF_IDNO};
         },
         0, 1602},
        {"hidden run: the default No", "",
         [&]() {
             installed("7.0 10.4.0.0");
             sim::Machine().desktopVisible = false;
         },
         0, 1602},
        {"same version, FORCE false", "/s /vFORCE=false",
         [&]() {
             settings("9");
             installed("10.3.201.104");
         },
         DEP_SOFT_ERROR, 0},
        {"newer version, FORCE false", "/s /vFORCE=false",
         [&]() {
             settings("9");
             installed("10.4.0.0");
         },
         DEP_SOFT_ERROR, 1638},
        {"prerequisite installer missing", "/s",
         [&]() {
             settings("0x18");
             sim::Machine().major = 6, sim::Machine().minor = 1;
             sim::WriteFile("C:\\Pkg\\Setup.ini", "[W764]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=0x18\r\n");
             sim::Machine().devices.push_back({"ACPI\\XYZ0017\\0", sim::MultiSz({"ACPI\\XYZ0017"}), true});
         },
         DEP_SOFT_ERROR, ERROR},
        {"extraction failed", "/extract_all:C:\\Out", [&]() { settings("0x0A"); }, DEP_SOFT_ERROR, ERROR},
        {"bad command line", "/s /vFORCE=maybe", [&]() { settings("9"); }, UNKNOWN_OPTION, 1639},
        {"usage shown", "/?", []() {}, 0, 0},
        {"interactive install", "", dpinstReturns(1), 0, 0},
    };
    // Runs in which DPInst ran and the msi profile sees a success leave the
    // detection record, in the native view only; every other run none.
    const std::set<std::string> recorded = {
        "installed",       "nothing to install", "three packages installed",
        "staged only",     "restart needed",     "restart needed, three packages",
        "restart started", "interactive install"};
    const std::string setupKey = "Software\\Vorn\\Glidex\\Setup";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        for (int msi = 0; msi < 2; ++msi) {
            sim::Reset();
            SetUp();
            sim::WriteFile("C:\\Pkg\\Vi64\\Driver.inf", inf);
            c.arrange();
            std::string arguments = std::string(c.arguments) + (msi ? " /vEXITCODES=MSI" : "");
            int exitCode = RunSetup(0, arguments.c_str());
            EXPECT_EQ(msi ? c.msi : c.classic, exitCode) << arguments;
            const sim::RegistryValue* version = sim::FindRegistryValue(setupKey, "DriverVersion", true);
            EXPECT_EQ(recorded.count(c.label) != 0, version != 0) << arguments;
            EXPECT_FALSE(sim::FindRegistryValue(setupKey, "DriverVersion", false));
            if (version) {
                EXPECT_EQ(std::string("10.3.201.104", 13), version->data);
                EXPECT_EQ(std::string("W864", 5), sim::FindRegistryValue(setupKey, "Platform", true)->data);
                EXPECT_EQ(std::string("2026-12-07 09:30:05", 20),
                          sim::FindRegistryValue(setupKey, "InstallTime", true)->data);
            }
            std::string trace = sim::ReadFile(TraceFile());
            std::string last = std::string("profile ") + (msi ? "msi" : "classic") + ": exit code " +
                               std::to_string(exitCode) + "\r\n";
            EXPECT_EQ(last, trace.substr(trace.size() - std::min(trace.size(), last.size())));
        }
    }
}

// The runtime log's exit-code line shows the code the process returns under
// msi; under classic it shows the result, whatever Support 0x08 says.
TEST_F(SetupSequence, RuntimeLogShowsTheProfilesExitCode)
{
    const struct {
        const char* arguments;
        const char* support;
        const char* line;
    } cases[] = {
        {"/s", "4", "Exit code = 1641"},
        {"/s /vEXITCODES=msi", "4", "Exit code = 3010"},
        {"/s /vEXITCODES=msi FORCERESTART=true", "5", "Exit code = 1641"},
        {"/vEXITCODES=msi FORCERESTART=true", "5", "Exit code = 3010"},  // only a silent run restarts
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        sim::Reset();
        SetUp();
        sim::WriteFile("C:\\Pkg\\Setup.ini",
                       std::string("[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=") + c.support + "\r\n");
        Dpinst().exitCode = 0x40000001u;
        RunSetup(0, c.arguments);
        std::string log;
        for (char c16 : sim::ReadFile("C:\\TouchPad\\log\\Setup.log"))
            if (c16)
                log += c16;
        EXPECT_NE(std::string::npos, log.find(c.line)) << log;
        EXPECT_NE(std::string::npos, log.find("Update ready to be applied at reboot")) << log;
    }
}

// UNINSTALL=true removes the package the checks found, with the same DPInst,
// and skips everything that only an install needs.
TEST_F(SetupSequence, UninstallRunsDpinstOnThePackageInfAlone)
{
    const std::string uninstall = "\"C:\\Pkg\\Vi64\\DPInst.exe\" /U \"C:\\Pkg\\Vi64\\Driver.inf\"";
    const struct {
        const char* arguments;
        uint32_t dpinstCode;
        int exitCode;
        std::string command;  // empty: DPInst not started
        bool forgotten;       // the detection record and ProductVer removed
        bool hidden = false;  // a desktop nobody sees
    } cases[] = {
        {"/s /vUNINSTALL=true", 1, 0, uninstall + " /S", true},
        {"/vUNINSTALL=TRUE", 1, 0, uninstall, true},
        {"/vUNINSTALL=TRUE", 1, 0, uninstall + " /S", true, true},
        {"/s /vUNINSTALL=true EXITCODES=msi", 0x40000001u, 3010, uninstall + " /S", true},
        {"/s /vUNINSTALL=true", 0x80010000u, ERROR, uninstall + " /S", false},
        {"/s /vUNINSTALL=false", 1, ERROR_INSTALL_PLATFORM_UNSUPPORTED, "",
         false},                                                                    // an install: the device decides
        {"/s /VUNINSTALL=true", 1, ERROR_INSTALL_PLATFORM_UNSUPPORTED, "", false},  // "/V" is no property token
        {"/s /vUNINSTALL=true /vUNINSTALL=false", 1, ERROR_INSTALL_PLATFORM_UNSUPPORTED, "",
         false},  // the last wins
        {"/s /vUNINSTALL=false /vUNINSTALL=true", 1, 0, uninstall + " /S", true},
        {"/s /vUNINSTALL=yes", 1, 1639, "", false},
        {"/s /vUNINSTALL=true /extract_all:C:\\Out", 1, 1639, "", false},
        {"/s /vUNINSTALL=true EXTRACTDRIVERS=C:\\Out", 1, 1639, "", false},
    };
    const std::string product = "Software\\Vorn\\Glidex";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        sim::Reset();
        SetUp();
        // Every feature on, a device the INF does not name, prerequisites
        // missing on Windows 7, a tray application: none of it matters.
        sim::Machine().major = 6, sim::Machine().minor = 1;
        sim::WriteFile("C:\\Pkg\\Setup.ini", "[W764]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=63\r\n");
        sim::Machine().devices.push_back({"ACPI\\ABC0001\\0", sim::MultiSz({"ACPI\\ABC0001"}), true});
        sim::SetRegistryString("SOFTWARE\\Vorn\\Glidex", "HomeDirectory", "C:\\Program Files\\Glidex");
        sim::Machine().desktopVisible = !c.hidden;
        // Installed in the native view; the 32-bit view holds what another installer left.
        sim::SetRegistryString(product, "ProductVer", "7.0 10.3.201.104", sim::View::Only64);
        sim::SetRegistryString(product + "\\Setup", "DriverVersion", "10.3.201.104", sim::View::Only64);
        sim::SetRegistryString(product + "\\Setup", "Platform", "W764", sim::View::Only64);
        sim::SetRegistryString(product, "ProductVer", "7.0 9.0.0.1", sim::View::Only32);
        sim::SetRegistryString(product + "\\Setup", "DriverVersion", "9.0.0.1", sim::View::Only32);
        Dpinst().exitCode = c.dpinstCode;
        EXPECT_EQ(c.exitCode, RunSetup(0, c.arguments));
        EXPECT_EQ(!c.forgotten, sim::FindRegistryValue(product, "ProductVer", true) != 0);
        EXPECT_EQ(!c.forgotten, sim::FindRegistryValue(product + "\\Setup", "DriverVersion", true) != 0);
        EXPECT_EQ(!c.forgotten, sim::FindRegistryValue(product + "\\Setup", "Platform", true) != 0);
        EXPECT_TRUE(sim::FindRegistryValue(product, "ProductVer", false));
        EXPECT_TRUE(sim::FindRegistryValue(product + "\\Setup", "DriverVersion", false));
        EXPECT_TRUE(sim::FindRegistryValue(product, "HomeDirectory", true));
        std::vector<std::string> expected;
        if (!c.command.empty())
            expected.push_back(c.command);
        EXPECT_EQ(expected, sim::Machine().processes);
        EXPECT_EQ(c.exitCode == ERROR_INSTALL_PLATFORM_UNSUPPORTED ? 1u : 0u, sim::Machine().boxes.size());
        EXPECT_TRUE(sim::Machine().shellExecutions.empty());
        bool installRun = c.exitCode == ERROR_INSTALL_PLATFORM_UNSUPPORTED;
        for (const std::string& call : sim::Machine().calls)
            EXPECT_TRUE(installRun || call.find("CreateProcess") == std::string::npos) << call;
        EXPECT_EQ(c.exitCode != 1639, sim::FileExists("C:\\TouchPad\\log\\Setup.log"));
    }
    // 32-bit XP lacks RegDeleteKeyExA: its one view loses the record through RegDeleteKeyA.
    sim::Reset();
    sim::Machine().major = 5, sim::Machine().minor = 1, sim::Machine().is64Bit = false;
    sim::WriteFile("C:\\Pkg\\Setup.ini", "[XP32]\r\nPath=\\Vi32\\DPInst.exe\r\nSupport=8\r\n");
    sim::WriteFile("C:\\Pkg\\Vi32\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_I386));
    sim::WriteFile("C:\\Pkg\\Vi32\\Driver.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    sim::Machine().programs["C:\\Pkg\\Vi32\\DPInst.exe"].exitCode = 1;
    sim::SetRegistryString(product, "ProductVer", "7.0 10.3.201.104");
    sim::SetRegistryString(product + "\\Setup", "DriverVersion", "10.3.201.104");
    EXPECT_EQ(0, RunSetup(0, "/s /vUNINSTALL=true"));
    EXPECT_FALSE(sim::FindRegistryValue(product, "ProductVer", false));
    EXPECT_FALSE(sim::FindRegistryValue(product + "\\Setup", "DriverVersion", false));
    EXPECT_EQ(1, std::count(sim::Machine().calls.begin(), sim::Machine().calls.end(), "RegDeleteKeyA Setup"));
}

// A profile that is neither classic nor msi ends the run before anything is
// done, in any /v token, whatever the settings say.
TEST_F(SetupSequence, AnUnknownExitCodeProfileEndsTheRunAtOnce)
{
    sim::WriteFile("C:\\Pkg\\Setup.ini", "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=63\r\n");
    Dpinst().exitCode = 1;
    for (const char* arguments :
         {"/s /vEXITCODES=windows", "/vFORCE=true EXITCODES= /s", "/s /vEXITCODES=msi /vEXITCODES=0"}) {
        SCOPED_TRACE(arguments);
        sim::Reset();
        SetUp();
        std::string before = Record(0);
        EXPECT_EQ(1639, RunSetup(0, arguments));
        EXPECT_EQ(before, Record(0));
        EXPECT_TRUE(sim::Machine().boxes.empty());
        EXPECT_NE(std::string::npos, sim::ReadFile(TraceFile()).find("names no exit-code profile"));
    }
    // The value is cut before another property's name, as every value is.
    EXPECT_EQ(0, RunSetup(0, "/s /vEXITCODES=msi FORCE=true"));
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
        EXPECT_EQ(c.traced, !TraceFile().empty());
        std::string trace = sim::ReadFile(TraceFile());
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
// What deployment tools count as success: the msi profile's 0, 3010 and 1641.
TEST(OutcomeTable, SuccessIsWhatTheMsiProfileReportsAsSuccess)
{
    for (int kind = 0; kind < OUTCOME_COUNT; ++kind) {
        RunOutcome end = EndWith((OutcomeKind)kind);
        int msi = ExitCodeFor(&end, PROFILE_MSI, 0, 0);
        int restarted = ExitCodeFor(&end, PROFILE_MSI, 0, 1);
        EXPECT_EQ(msi == 0 || msi == 3010 || msi == 1641, CountsAsSuccess(&end) == 1) << OutcomeName(end.outcome);
        EXPECT_EQ(kind == OUTCOME_RESTART_NEEDED ? 1641 : msi, restarted) << OutcomeName(end.outcome);
    }
    RunOutcome failed = {OUTCOME_PACKAGE_FAILED, 0, DPINST_PACKAGE_FAILED, 0};
    EXPECT_EQ(0, CountsAsSuccess(&failed));
}

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
    std::set<std::string> commands;
    for (const std::string& process : machine.processes)
        commands.insert(sim::AsPackagePath(process));
    for (const std::string& command : machine.systemCommands)
        commands.insert(sim::AsPackagePath(command));
    for (const sim::ShellExecution& shell : machine.shellExecutions)
        commands.insert(sim::AsPackagePath(shell.folder + "|" + shell.file + "|" + shell.parameters));
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

// ---- another user's change just before each call on a file or folder -------

namespace {

// Where the attacker's links lead, and the file their hard links share.
const char kVictim[] = "C:\\Victim";

// Every name under a host folder, links not followed, with what it is.
void Names(const std::string& host, const std::string& relative, std::map<std::string, std::string>* names)
{
    DIR* dir = opendir(host.c_str());
    while (dirent* entry = dir ? readdir(dir) : 0) {
        std::string name = entry->d_name, path = host + "/" + name, key = relative + "/" + name;
        struct stat info;
        if (name == "." || name == ".." || lstat(path.c_str(), &info) != 0)
            continue;
        if (S_ISLNK(info.st_mode)) {
            char target[4096];
            ssize_t length = readlink(path.c_str(), target, sizeof(target));
            (*names)[key] = "link to " + std::string(target, length > 0 ? (size_t)length : 0);
        } else if (S_ISDIR(info.st_mode)) {
            (*names)[key] = "folder";
            Names(path, key, names);
        } else {
            std::ifstream in(path, std::ios::binary);
            std::stringstream bytes;
            bytes << in.rdbuf();
            (*names)[key] = "file " + bytes.str();
        }
    }
    if (dir)
        closedir(dir);
}

// The folders and files a typical run means to write in or delete.
bool MeantByTheRun(const std::string& relative)
{
    for (const char* folder : {"/TouchPad", "/Logs", "/Out", "/VornCustomSetting", "/Windows/Temp"})
        if (relative == folder || relative.compare(0, strlen(folder) + 1, std::string(folder) + "/") == 0)
            return true;
    // DPInst's log, its backup and the files beside them that take their names.
    return relative.compare(0, 9, "/Windows/") == 0 && relative.find('/', 9) == std::string::npos &&
           relative.find("pInst") != std::string::npos;
}

// The path a use is about, when it is one below a drive root.
std::string PathOf(const sim::CallUse& use)
{
    std::string path = use.subject.substr(0, use.subject.find(" -> "));
    bool rooted = path.size() > 3 && path[1] == ':' && path[2] == '\\';
    return rooted ? path : "";
}

std::string Parent(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

bool IsFolder(const std::string& path)
{
    struct stat info;
    return stat(sim::HostPath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The victim, and the administrator's folders made earlier with the root's
// default security, so that any user may change them.
const char kEarlierLog[] = "C:\\TouchPad\\log\\Setup.log";

void PrepareForRaces()
{
    sim::WriteFile(std::string(kVictim) + "\\victim.dll", "system file");
    sim::MakeFolder("C:\\Logs");
    sim::MakeFolder("C:\\Out");
    sim::WriteFile(kEarlierLog, "an earlier run's");
}

struct RaceAttack {
    const char* label;
    // Applies the change at path as the standard user; each name it makes or
    // moves goes into touched.
    std::function<void(const std::string& path, std::set<std::string>* touched)> apply;
};

const RaceAttack kAttacks[] = {
    {"its folder swapped for a mount point",
     [](const std::string& path, std::set<std::string>* touched) {
         std::string folder = IsFolder(path) ? path : Parent(path);
         if (folder.size() > 3 && sim::ForeignRename(folder, folder + ".old")) {
             touched->insert(folder + ".old");
             if (sim::ForeignLink(folder, kVictim))
                 touched->insert(folder);
         }
     }},
    {"a link planted at its name",
     [](const std::string& path, std::set<std::string>* touched) {
         if (sim::FileExists(path) && !sim::ForeignDelete(path))
             return;
         if (sim::ForeignLink(path, std::string(kVictim) + "\\planted.log"))
             touched->insert(path);
     }},
    {"replaced by a hard link",
     [](const std::string& path, std::set<std::string>* touched) {
         if (sim::FileExists(path) && !sim::ForeignDelete(path))
             return;
         if (sim::ForeignHardLink(path, std::string(kVictim) + "\\victim.dll"))
             touched->insert(path);
     }},
    {"held open without delete sharing",
     [](const std::string& path, std::set<std::string>* touched) {
         if (sim::ForeignOpen(path, PF_GENERIC_READ, PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE))
             touched->insert("");
     }},
    // A reader of an earlier run's log, while its folders are walked. (One of
    // DPInst's backup log keeps its deleted name until it lets go, so the
    // history would read twice.)
    {"the runtime log held open by a reader sharing delete",
     [](const std::string& path, std::set<std::string>* touched) {
         if (path.rfind("C:\\TouchPad", 0) == 0 &&
             sim::ForeignOpen(kEarlierLog, PF_GENERIC_READ,
                              PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE))
             touched->insert("");
     }},
    {"its folder made writable by users",
     [](const std::string& path, std::set<std::string>* touched) {
         touched->insert("");
         sim::SetSecurity(IsFolder(path) ? path : Parent(path),
                          "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;AU)");
     }},
};
const size_t kReaderAttack = 4;

}  // namespace

TEST(RaceTable, NoChangeJustBeforeACallLeadsTheRunOutsideItsFolders)
{
    static const std::set<int> kDefinedResults = {SUCCESS,        DEP_SOFT_ERROR, DEP_HARD_ERROR,
                                                  ERROR,          UNKNOWN_OPTION, ERROR_INSTALL_PLATFORM_UNSUPPORTED,
                                                  REBOOT_REQUIRED};
    int races = 0, landed = 0;
    for (const TypicalRun& run : kTypicalRuns) {
        // The runs that write, join, copy, delete and extract.
        if (strcmp(run.label, "interactive install, Yes") == 0 || strcmp(run.label, "forced restart") == 0)
            continue;
        SCOPED_TRACE(run.label);
        SetUpFullMachine(run);
        PrepareForRaces();
        sim::Machine().recordUses = true;
        ASSERT_EQ(run.exitCode, RunSetup(0, run.arguments));
        const bool logReplaced = sim::ReadFile(kEarlierLog) != "an earlier run's";
        const std::vector<sim::CallUse> uses = sim::Machine().uses;
        std::set<std::string> cleanCommands = Commands();
        cleanCommands.insert("CreateProcessWithTokenW 1 C:\\Program Files\\Glidex2K\\Glidex.exe | (none) | 32 | "
                             "C:\\Program Files\\Glidex2K");

        std::map<std::string, uint32_t> seen;
        for (const sim::CallUse& use : uses) {
            uint32_t nth = ++seen[use.call];
            std::string path = PathOf(use);
            if (path.empty() || !MeantByTheRun(sim::HostPath(path).substr(sim::HostPath("C:").size())))
                continue;
            for (const RaceAttack& attack : kAttacks) {
                SCOPED_TRACE(testing::Message()
                             << attack.label << " before " << use.call << " use " << nth << ": " << use.subject);
                SetUpFullMachine(run);
                PrepareForRaces();
                std::map<std::string, std::string> before;
                Names(sim::HostPath("C:"), "", &before);
                std::set<std::string> touched;
                sim::Machine().races = {{use.call, nth, [&](const std::string& subject) {
                                             attack.apply(PathOf({use.call, subject}), &touched);
                                         }}};
                int exitCode = RunSetup(0, run.arguments);
                ++races;
                landed += !touched.empty();

                EXPECT_TRUE(kDefinedResults.count(exitCode)) << exitCode;
                if (&attack == &kAttacks[kReaderAttack] && !touched.empty())
                    EXPECT_EQ(logReplaced, sim::ReadFile(kEarlierLog) != "an earlier run's");
                EXPECT_TRUE(sim::Machine().openHandles.empty());
                for (const std::string& command : Commands())
                    EXPECT_TRUE(cleanCommands.count(command)) << command;
                // DPInst's history stays whole, in the log or its backup.
                std::string history = (sim::FileExists("C:\\Windows\\DpInst_org.log")
                                           ? sim::ReadFile("C:\\Windows\\DpInst_org.log")
                                           : "") +
                                      sim::ReadFile("C:\\Windows\\DpInst.log");
                EXPECT_EQ(kEarlierDpinstLog + std::string(sim::Machine().processes.empty() ? "" : "[this run]\r\n"),
                          history);
                // Made where the run means to, even for a moment.
                for (const std::string& created : sim::Machine().createdHostPaths)
                    EXPECT_TRUE(MeantByTheRun(created.substr(sim::HostPath("C:").size()))) << created;
                std::map<std::string, std::string> after;
                Names(sim::HostPath("C:"), "", &after);
                std::set<std::string> keys;
                for (auto& entry : before)
                    keys.insert(entry.first);
                for (auto& entry : after)
                    keys.insert(entry.first);
                const size_t root = sim::HostPath("C:").size();
                for (const std::string& key : keys) {
                    bool attackers = false;
                    for (const std::string& name : touched) {
                        if (name.empty())
                            continue;
                        std::string own = sim::HostPath(name).substr(root);
                        attackers |= key == own || key.compare(0, own.size() + 1, own + "/") == 0;
                    }
                    if (MeantByTheRun(key) || attackers)
                        continue;
                    EXPECT_EQ(before[key], after[key]) << key;
                }
            }
        }
    }
    printf("race table: %d runs with a change before a call, %d of them changed something\n", races, landed);
}

// A package users may change is used from a protected copy: whatever they
// change in it after the copy was made (DPInst, the settings file, the INF
// swapped, a DLL planted beside DPInst), just before any later call, never
// reaches what the run starts.
TEST(RaceTable, APackageUsersMayChangeStartsOnlyWhatItChecked)
{
    const TypicalRun& run = kTypicalRuns[0];
    const char* const kUsersMay = "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;AU)";
    const std::string dpinstBytes = sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64);
    const struct {
        const char* label;
        std::function<void()> apply;
    } kChanges[] = {
        {"DPInst swapped", []() { sim::WriteFile("C:\\Pkg\\Vi64\\DPInst.exe", "MZ evil"); }},
        {"Path and Silent changed",
         []() {
             sim::WriteFile("C:\\Pkg\\Vi64\\evil.exe", "MZ evil");
             sim::WriteFile("C:\\Pkg\\Setup.ini",
                            "[W864]\r\nPath=\\Vi64\\evil.exe\r\nSilent=\" /evil\"\r\nSupport=0x3F\r\n");
         }},
        {"the INF swapped", []() { sim::WriteFile("C:\\Pkg\\Vi64\\GlidexTP.inf", "[Version]\r\nevil\r\n"); }},
        {"a DLL planted beside DPInst", []() { sim::WriteFile("C:\\Pkg\\Vi64\\version.dll", "MZ evil"); }},
    };
    SetUpFullMachine(run);
    sim::SetSecurity("C:\\Pkg", kUsersMay);
    sim::Machine().recordUses = true;
    ASSERT_EQ(run.exitCode, RunSetup(0, run.arguments));
    const std::vector<sim::CallUse> uses = sim::Machine().uses;
    const std::set<std::string> cleanCommands = Commands();
    // The copy is complete after the last call on the package itself; until
    // then a change is one the package had before the run.
    size_t copied = 0;
    for (size_t i = 0; i < uses.size(); ++i)
        if (uses[i].subject.compare(0, 7, "C:\\Pkg\\") == 0)
            copied = i;
    ASSERT_GT(copied, 0u);
    // The settings file is copied and read first (its last use before the
    // package's folders); the rest of the copy follows.
    size_t settingsCopied = 0, parts = 0;
    while (parts < uses.size() && uses[parts].subject.compare(0, 12, "C:\\Pkg\\Vi64") != 0)
        if (uses[parts++].subject == "C:\\Pkg\\Setup.ini")
            settingsCopied = parts - 1;
    ASSERT_GT(settingsCopied, 0u);
    ASSERT_LT(parts, copied);

    std::map<std::string, uint32_t> seen;
    std::set<std::string> after, between;
    int races = 0;
    for (size_t i = 0; i < uses.size(); ++i) {
        uint32_t nth = ++seen[uses[i].call];
        // Each call's first use after the copy: later ones meet the same copy.
        // Between the settings file's copy and the rest, only a changed
        // settings file is no change the package had before the run.
        bool settingsOnly = i > settingsCopied && i <= copied && between.insert(uses[i].call).second;
        if (!settingsOnly && (i <= copied || !after.insert(uses[i].call).second))
            continue;
        for (const auto& change : kChanges) {
            if (settingsOnly && strcmp(change.label, "Path and Silent changed") != 0)
                continue;
            SCOPED_TRACE(testing::Message() << change.label << " before " << uses[i].call << " use " << nth);
            SetUpFullMachine(run);
            sim::SetSecurity("C:\\Pkg", kUsersMay);
            sim::Machine().races = {{uses[i].call, nth, [&](const std::string&) { change.apply(); }}};
            std::string startedBytes;
            bool planted = true;
            sim::Machine().programs["C:\\Pkg\\Vi64\\DPInst.exe"].whileRunning = [&]() {
                const std::string& command = sim::Machine().processes.back();
                std::string image = command.substr(1, command.find('"', 1) - 1);
                startedBytes = sim::ReadFile(image);
                planted = sim::FileExists(image.substr(0, image.rfind('\\')) + "\\version.dll");
            };
            EXPECT_EQ(run.exitCode, RunSetup(0, run.arguments));
            ++races;
            EXPECT_EQ(cleanCommands, Commands());
            EXPECT_EQ(dpinstBytes, startedBytes);
            EXPECT_FALSE(planted);
            EXPECT_TRUE(sim::Machine().openHandles.empty());
        }
    }
    printf("package races: %d runs with a change after the copy\n", races);
}
