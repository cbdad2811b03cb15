// The imaging-component and .NET Framework 4 prerequisites.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/prerequisites.h"
#include "app/setup_sequence.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "sim/sim.h"
#include "util/bounded_string.h"

namespace {

const char kImagingKey[] = "SOFTWARE\\Microsoft\\Windows Imaging Component";
const char kDotNetKey[] = "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4";
const char kImaging[] = "wic_x64_enu.exe";
const char kDotNet[] = "dotNetFx40_Client_x86_x64.exe";

// Installers start by their full path in the package, never by bare name.
std::string Installer(const char* name) { return std::string("C:\\Pkg\\DotNetFx\\") + name; }

class Prerequisites : public ::testing::Test {
protected:
    void SetUp() override { ResetMachine(6, 1, true); }

    // Windows major.minor, a touch pad, both installers in the package.
    void ResetMachine(uint32_t major, uint32_t minor, bool is64Bit)
    {
        sim::Reset();
        sim::Machine().major = major;
        sim::Machine().minor = minor;
        sim::Machine().is64Bit = is64Bit;
        sim::Machine().devices = {{"ACPI\\XYZ0017\\4&1", sim::MultiSz({"ACPI\\XYZ0017", "*XYZ0017"})}};
        sim::WriteFile("C:\\Pkg\\Setup.ini", "[DotNET_Option]\r\nUnnecessary_ID=ABC0001,ABC0002\r\n");
        sim::WriteFile(std::string("C:\\Pkg\\DotNetFx\\") + kImaging, "MZ");
        sim::WriteFile(std::string("C:\\Pkg\\DotNetFx\\") + kDotNet, "MZ");
        sim::RunTarget().OsVersion.dwOSVersionInfoSize = sizeof(PfOsVersionInfo);
        PfGetVersionEx(&sim::RunTarget().OsVersion);
    }
    void Silent(bool silent) { BoundedCopy(g_State.CommandLine, PATH_CAPACITY, silent ? "/s" : ""); }
    // The installers started, each as "file|parameters".
    std::vector<std::string> Started()
    {
        std::vector<std::string> started;
        for (const sim::ShellExecution& run : sim::Machine().shellExecutions)
            started.push_back(run.file + "|" + run.parameters);
        return started;
    }
};

TEST_F(Prerequisites, GatesSkipTheWholeStep)
{
    const struct {
        const char* label;
        uint32_t major, minor;
        bool device;
        const char* unnecessary;
    } table[] = {
        {"Windows 8", 6, 2, true, ""},
        {"Windows 8.1", 6, 3, true, ""},
        {"Windows 10", 10, 0, true, ""},
        {"no pointing device", 6, 1, false, ""},
        {"device excluded", 6, 1, true, "ABC0001,XYZ0017"},
        {"device excluded as part of a longer code", 6, 1, true, "XYZ00170"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.label);
        ResetMachine(row.major, row.minor, true);
        if (!row.device)
            sim::Machine().devices.clear();
        sim::WriteFile("C:\\Pkg\\Setup.ini", std::string("[DotNET_Option]\r\nUnnecessary_ID=") + row.unnecessary);
        EXPECT_EQ(OUTCOME_GO_ON, InstallPrerequisites(sim::CurrentTarget()).outcome);
        EXPECT_TRUE(sim::Machine().shellExecutions.empty());
    }
}

TEST_F(Prerequisites, EmptyDeviceCodeCountsAsListed)
{
    // A device whose first ID ends right after "ACPI\" has an empty code,
    // which the exclusion list's plain text search always finds.
    sim::Machine().devices = {{"ACPI\\0\\1", sim::MultiSz({"ACPI\\", "*PNP0F13"})}};
    sim::WriteFile("C:\\Pkg\\Setup.ini", "[DotNET_Option]\r\nUnnecessary_ID=\r\n");
    EXPECT_EQ(OUTCOME_GO_ON, InstallPrerequisites(sim::CurrentTarget()).outcome);
    EXPECT_TRUE(sim::Machine().shellExecutions.empty());
}

TEST_F(Prerequisites, DotNetInstallerIsStartedHiddenFromThePackageFolder)
{
    Silent(true);
    EXPECT_EQ(OUTCOME_GO_ON, InstallPrerequisites(sim::CurrentTarget()).outcome);
    ASSERT_EQ(1u, sim::Machine().shellExecutions.size());
    const sim::ShellExecution& run = sim::Machine().shellExecutions[0];
    EXPECT_EQ(PF_SEE_MASK_NOCLOSEPROCESS | PF_SEE_MASK_FLAG_NO_UI | PF_SEE_MASK_NOZONECHECKS, run.mask);
    EXPECT_EQ("open", run.verb);
    EXPECT_EQ(Installer(kDotNet), run.file);
    EXPECT_EQ(" /q", run.parameters);
    EXPECT_EQ("C:\\Pkg\\DotNetFx", run.folder);
    EXPECT_EQ(PF_SW_HIDE, run.show);
    EXPECT_EQ("XYZ0017", std::string(sim::RunTarget().DeviceAcpiId));
}

TEST_F(Prerequisites, InstallersAndParametersFollowWindowsAndMode)
{
    const std::string imagingSilent = Installer(kImaging) + "| /quiet";
    const std::string imagingInteractive = Installer(kImaging) + "| /norestart";
    const std::string dotNetSilent = Installer(kDotNet) + "| /q";
    const std::string dotNetInteractive = Installer(kDotNet) + "| /norestart";
    const struct {
        const char* label;
        uint32_t major, minor;
        bool is64Bit, silent;
        std::vector<std::string> started;
        bool hidden = false;  // a desktop nobody sees: the installers would wait for ever
    } table[] = {
        {"Windows 7, silent", 6, 1, true, true, {dotNetSilent}},
        {"Windows 7, interactive", 6, 1, true, false, {dotNetInteractive}},
        {"Windows 7, interactive, hidden", 6, 1, true, false, {dotNetSilent}, true},
        {"64-bit XP, interactive, hidden", 5, 1, true, false, {imagingSilent, dotNetSilent}, true},
        {"Vista", 6, 0, false, true, {dotNetSilent}},
        {"64-bit XP reporting 5.1, silent", 5, 1, true, true, {imagingSilent, dotNetSilent}},
        {"64-bit XP reporting 5.1, interactive", 5, 1, true, false, {imagingInteractive, dotNetInteractive}},
        {"32-bit XP", 5, 1, false, true, {dotNetSilent}},
        {"64-bit Windows reporting 5.2", 5, 2, true, true, {dotNetSilent}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.label);
        ResetMachine(row.major, row.minor, row.is64Bit);
        Silent(row.silent);
        sim::Machine().desktopVisible = !row.hidden;
        sim::DecideDesktop();
        EXPECT_EQ(OUTCOME_GO_ON, InstallPrerequisites(sim::CurrentTarget()).outcome);
        EXPECT_EQ(row.started, Started());
    }
}

TEST_F(Prerequisites, KeysAreProbedInTheProgramsOwnView)
{
    const struct {
        const char* label;
        sim::View view;
        size_t started;
    } table[] = {
        {"present in both views", sim::View::Both, 0},
        {"present in the 32-bit view", sim::View::Only32, 0},
        {"present only in the 64-bit view", sim::View::Only64, 1},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.label);
        ResetMachine(6, 1, true);
        sim::SetRegistryString(kDotNetKey, "Install", "1", row.view);
        EXPECT_EQ(OUTCOME_GO_ON, InstallPrerequisites(sim::CurrentTarget()).outcome);
        EXPECT_EQ(row.started, sim::Machine().shellExecutions.size());
        EXPECT_TRUE(sim::Machine().openHandles.empty());
    }
}

TEST_F(Prerequisites, PresentImagingComponentIsNotInstalledAgain)
{
    ResetMachine(5, 1, true);
    sim::Machine().registryKeys = {kImagingKey};
    EXPECT_EQ(OUTCOME_GO_ON, InstallPrerequisites(sim::CurrentTarget()).outcome);
    EXPECT_EQ(std::vector<std::string>{Installer(kDotNet) + "| /norestart"}, Started());
}

TEST_F(Prerequisites, FailedImagingStartSkipsTheDotNetCheck)
{
    ResetMachine(5, 1, true);
    sim::Machine().programs[Installer(kImaging)].startFails = true;
    EXPECT_EQ(OUTCOME_PREREQUISITE_MISSING, InstallPrerequisites(sim::CurrentTarget()).outcome);
    EXPECT_EQ(std::vector<std::string>{Installer(kImaging) + "| /norestart"}, Started());
}

TEST_F(Prerequisites, MissingInstallerFailsAtOnceWithoutABoxOrAStart)
{
    // A folder of the installer's name is no installer either.
    const char* removed[] = {"C:\\Pkg\\DotNetFx", "C:\\Pkg\\DotNetFx\\dotNetFx40_Client_x86_x64.exe"};
    for (const char* path : removed) {
        for (bool folderInstead : {false, true}) {
            SCOPED_TRACE(std::string(path) + (folderInstead ? " (a folder instead)" : ""));
            ResetMachine(6, 1, true);
            Silent(true);
            ASSERT_EQ(0, system(("rm -r '" + sim::HostPath(path) + "'").c_str()));
            if (folderInstead)
                sim::MakeFolder(Installer(kDotNet));
            EXPECT_EQ(OUTCOME_PREREQUISITE_MISSING, InstallPrerequisites(sim::CurrentTarget()).outcome);
            EXPECT_TRUE(sim::Machine().shellExecutions.empty());
            EXPECT_TRUE(sim::Machine().boxes.empty());
        }
    }
}

TEST_F(Prerequisites, PackageFolderTooLongForTheInstallerFolderIsRefused)
{
    // The program's path fits; its folder with "\\DotNetFx" would need 260 characters.
    sim::Machine().modulePath = "C:\\" + std::string(248, 'p') + "\\S.exe";
    EXPECT_EQ(OUTCOME_PREREQUISITE_MISSING, InstallPrerequisites(sim::CurrentTarget()).outcome);
    EXPECT_TRUE(sim::Machine().shellExecutions.empty());
}

// Whole runs on Windows 7 with a touch pad that the package fits.
class PrerequisitesInRuns : public Prerequisites {
protected:
    void SetUp() override
    {
        ResetMachine(6, 1, true);
        sim::WriteFile("C:\\Pkg\\Setup.ini", "[W764]\r\nPath=\\x64\\DPInst.exe\r\nSupport=24\r\n");
        sim::WriteFile("C:\\Pkg\\x64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::WriteFile(
            "C:\\Pkg\\x64\\drv.inf",
            "[Version]\r\nSignature=\"$WINDOWS NT$\"\r\nDriverVer=05/18/2020,10.3.201.104\r\n[Manufacturer]\r\n"
            "Vorn=Models,NTamd64\r\n[Models.NTamd64]\r\nPad = Inst, ACPI\\XYZ0017\r\n");
        sim::Machine().programs["C:\\Pkg\\x64\\DPInst.exe"].exitCode = 1;
    }
};

TEST_F(PrerequisitesInRuns, InstallerRunsBeforeDpinst)
{
    bool dpinstRanFirst = true;
    sim::Machine().programs[Installer(kDotNet)].whileRunning = [&] {
        dpinstRanFirst = !sim::Machine().processes.empty();
    };
    EXPECT_EQ(SUCCESS, RunSetup(0, "/s"));
    EXPECT_EQ(std::vector<std::string>{Installer(kDotNet) + "| /q"}, Started());
    EXPECT_FALSE(dpinstRanFirst);
    EXPECT_EQ(1u, sim::Machine().processes.size());
}

TEST_F(PrerequisitesInRuns, MissingInstallerFolderEndsTheRunWithoutDriverOrBox)
{
    ASSERT_EQ(0, system(("rm -r '" + sim::HostPath("C:\\Pkg\\DotNetFx") + "'").c_str()));
    EXPECT_EQ(DEP_SOFT_ERROR, RunSetup(0, "/s"));
    EXPECT_TRUE(sim::Machine().processes.empty());
    EXPECT_TRUE(sim::Machine().boxes.empty());
}

}  // namespace
