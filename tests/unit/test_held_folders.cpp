// Folders held from the volume root down, and who else may change them, on
// the simulated machine.
#include <gtest/gtest.h>

#include <string>

#include "core/held_folders.h"
#include "core/step_trace.h"
#include "core/trace_file.h"
#include "sim/sim.h"

namespace {

const uint32_t kAnyShare = PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE;

std::string Trace()
{
    CloseStepTrace("done");
    return sim::ReadFile(StepTracePath());
}

class HeldFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        ASSERT_EQ(1, OpenStepTrace(0, &sim::Machine().localTime));
    }
};

TEST_F(HeldFolders, EveryFolderFromTheRootIsHeldAgainstRenameAndRemoval)
{
    sim::MakeFolder("C:\\Logs\\Deep");
    HeldPath held;
    ASSERT_EQ(1, HoldFolderPath("C:\\Logs\\Deep\\", HOLD_EXISTING, &held));
    EXPECT_EQ(3, held.count);
    // The user may change these folders (the root's default security), but
    // not while they are held.
    EXPECT_FALSE(sim::ForeignRename("C:\\Logs", "C:\\Logs2"));
    EXPECT_FALSE(sim::ForeignRename("C:\\Logs\\Deep", "C:\\Logs\\Deep2"));
    ReleaseFolderPath(&held);
    EXPECT_EQ(1u, sim::Machine().openHandles.size());  // the trace
    EXPECT_TRUE(sim::ForeignRename("C:\\Logs\\Deep", "C:\\Logs\\Deep2"));
    Trace();
}

TEST_F(HeldFolders, LinksFilesAndMissingFoldersAreNotUsed)
{
    const struct {
        const char* label;
        const char* folder;
        int flags;
        bool held;
        const char* trace;
    } rows[] = {
        {"missing, made", "C:\\New\\Sub", HOLD_CREATE_MISSING, true, ""},
        {"missing, not made", "C:\\New\\Sub", HOLD_EXISTING, false, "Folder C:\\New not used: it cannot be opened"},
        {"a link at the top", "C:\\Linked\\Sub", HOLD_CREATE_MISSING, false,
         "Folder C:\\Linked not used: it is a link"},
        {"a link below", "C:\\Real\\Linked", HOLD_CREATE_MISSING, false,
         "Folder C:\\Real\\Linked not used: it is a link"},
        {"a file in a folder's place", "C:\\File.txt\\Sub", HOLD_CREATE_MISSING, false,
         "Folder C:\\File.txt not used: it is not a folder"},
        {"up and away", "C:\\Real\\..\\Other", HOLD_CREATE_MISSING, false, "does not lead down"},
        {"no volume root", "Real\\Sub", HOLD_CREATE_MISSING, false, "it has no volume root"},
        {"a share", "\\\\srv\\share\\Logs", HOLD_CREATE_MISSING, true, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        SetUp();
        sim::MakeFolder("C:\\Real");
        sim::MakeFolder("C:\\Victim");
        sim::MakeFolder("\\\\srv\\share");
        sim::WriteFile("C:\\File.txt", "x");
        sim::MakeLink("C:\\Linked", "C:\\Victim");
        sim::MakeLink("C:\\Real\\Linked", "C:\\Victim");
        HeldPath held;
        EXPECT_EQ(row.held, HoldFolderPath(row.folder, row.flags, &held) == 1);
        EXPECT_EQ(row.held, held.count > 0);
        ReleaseFolderPath(&held);
        EXPECT_EQ(1u, sim::Machine().openHandles.size());  // the trace
        EXPECT_FALSE(sim::FileExists("C:\\Victim\\Sub"));
        EXPECT_NE(std::string::npos, Trace().find(row.trace));
    }
    // What the walk made has the program's DACL.
    SetUp();
    HeldPath held;
    ASSERT_EQ(1, HoldFolderOf("C:\\New\\Sub\\file.log", HOLD_CREATE_MISSING, &held));
    ReleaseFolderPath(&held);
    EXPECT_EQ(PROTECTED_FOLDER_SDDL, sim::Machine().folderSddl["c:\\new\\sub"]);
    EXPECT_FALSE(sim::UserMay("C:\\New\\Sub", PF_FILE_WRITE_DATA));
    Trace();
}

// Who may change a folder, read on its handle.
TEST_F(HeldFolders, ChangeableByOthersReadsOwnerAndDacl)
{
    const struct {
        const char* label;
        const char* sddl;  // "" leaves the folder as the root's default security makes it
        int changeable;
        bool wine = false;
    } rows[] = {
        {"made at the root with default security", "", 1},
        {"protected", "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", 0},
        {"TrustedInstaller's", "O:TID:P(A;;FA;;;TI)(A;;0x1200a9;;;BU)", 0},
        {"owned by a user", "O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;BA)", 1},
        // As Wine reports folders: the one account owns them, mode 755 or 777.
        {"Wine, Everyone read and execute",
         "O:S-1-5-21-1-2-3-500D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-1-2-3-500)(A;OICI;0x1200a9;;;WD)", 0, true},
        {"Wine, Everyone modify",
         "O:S-1-5-21-1-2-3-500D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-1-2-3-500)(A;OICI;0x1301ff;;;WD)", 1, true},
        // On Windows the run's own account also runs its unelevated programs.
        {"owned by the run's own account", "O:S-1-5-21-1-2-3-500D:P(A;;FA;;;BA)", 1},
        {"the run's own account may write", "O:BAD:P(A;;FA;;;BA)(A;;FA;;;S-1-5-21-1-2-3-500)", 1},
        {"a callback entry grants", "O:BAD:P(A;;FA;;;BA)(XA;;FA;;;BU)", 1},
        {"an object entry grants", "O:BAD:P(A;;FA;;;BA)(OA;;FA;;;BU)", 1},
        {"a callback object entry grants", "O:BAD:P(A;;FA;;;BA)(ZA;;FA;;;BU)", 1},
        {"a compound entry, its SIDs unread", "O:BAD:P(A;;FA;;;BA)(CA;;FW;;;SY)", 1},
        {"a callback entry for SYSTEM", "O:BAD:P(A;;FA;;;BA)(XA;;FA;;;SY)", 0},
        {"a callback deny", "O:BAD:P(A;;FA;;;BA)(XD;;FA;;;BU)", 0},
        {"an object deny", "O:BAD:P(A;;FA;;;BA)(OD;;FA;;;BU)", 0},
        {"Users may add files", "O:BAD:P(A;;FA;;;BA)(A;;0x100022;;;BU)", 1},
        {"Users may only add subfolders", "O:BAD:P(A;;FA;;;BA)(A;;0x100024;;;BU)", 1},
        {"Users may only change attributes", "O:BAD:P(A;;FA;;;BA)(A;;0x100100;;;BU)", 1},
        {"Users may change permissions", "O:BAD:P(A;;FA;;;BA)(A;;WD;;;BU)", 1},
        {"Users may take ownership", "O:BAD:P(A;;FA;;;BA)(A;;WO;;;BU)", 1},
        {"Users may delete it", "O:BAD:P(A;;FA;;;BA)(A;;SD;;;BU)", 1},
        {"a generic write", "O:BAD:P(A;;FA;;;BA)(A;;GW;;;AU)", 1},
        {"only for what is made inside", "O:BAD:P(A;;FA;;;BA)(A;OICIIO;FA;;;CO)(A;OICIIO;GA;;;BU)", 0},
        {"denied, not granted", "O:BAD:P(A;;FA;;;BA)(D;;FA;;;BU)", 0},
        {"no DACL at all", "O:BAD:NO_ACCESS_CONTROL", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        SetUp();
        sim::Machine().underWine = row.wine;
        sim::MakeFolder("C:\\Judged");
        if (row.sddl[0])
            sim::SetSecurity("C:\\Judged", row.sddl);
        PfHandle root =
            PfNtCreateFile(0, "C:\\", PF_READ_CONTROL, kAnyShare, PF_FILE_OPEN, PF_FILE_DIRECTORY_FILE, 0);
        PfHandle folder = PfNtCreateFile(root, "Judged", PF_READ_CONTROL, kAnyShare, PF_FILE_OPEN,
                                         PF_FILE_DIRECTORY_FILE | PF_FILE_OPEN_REPARSE_POINT, 0);
        ASSERT_NE(0u, folder);
        EXPECT_EQ(row.changeable, IsChangeableByOthers(folder));
        PfCloseHandle(folder);
        PfCloseHandle(root);
        Trace();
    }
}

TEST_F(HeldFolders, OwnFoldersOthersMayChangeAreProtectedOnTheirHandle)
{
    sim::MakeFolder("C:\\TouchPad\\log");
    sim::SetSecurity("C:\\TouchPad\\log", "O:S-1-5-21-1-2-3-1001");
    // A handle the user opened while the folder was theirs keeps its access.
    PfHandle early = sim::ForeignOpen("C:\\TouchPad\\log", PF_WRITE_DAC | PF_READ_CONTROL, kAnyShare);
    ASSERT_NE(0u, early);
    HeldPath held;
    ASSERT_EQ(1, HoldFolderPath("C:\\TouchPad\\log", HOLD_PROTECT, &held));
    EXPECT_EQ("O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", sim::SecurityText("C:\\TouchPad"));
    EXPECT_EQ(sim::SecurityText("C:\\TouchPad"), sim::SecurityText("C:\\TouchPad\\log"));
    EXPECT_FALSE(sim::UserMay("C:\\TouchPad\\log", PF_FILE_WRITE_DATA));
    EXPECT_EQ(0, sim::ForeignOpen("C:\\TouchPad\\log", PF_WRITE_DAC, kAnyShare));
    EXPECT_TRUE(sim::ForeignSetSecurity(early, "D:(A;OICI;FA;;;WD)"));
    ReleaseFolderPath(&held);
    sim::ForeignClose(early);
    std::string trace = Trace();
    EXPECT_NE(std::string::npos, trace.find("Folder C:\\TouchPad could be changed by other users: made protected"));
    EXPECT_NE(std::string::npos, trace.find("Folder C:\\TouchPad\\log could be changed by other users"));

    // A folder whose permissions the run may not change is used while nobody
    // else may change it either.
    SetUp();
    sim::MakeFolder("C:\\TouchPad");
    sim::SetSecurity("C:\\TouchPad", "O:TID:P(A;;0x1200a9;;;BA)(A;;0x1200a9;;;BU)");
    // Opening C:\ comes first, then C:\TouchPad.
    uint32_t& opens = sim::Machine().useCounts["PfNtCreateFile"];
    sim::FailCall("PfNtCreateFile", opens + 2, PF_ERROR_ACCESS_DENIED);
    EXPECT_EQ(1, HoldFolderPath("C:\\TouchPad", HOLD_PROTECT, &held));
    ReleaseFolderPath(&held);
    sim::SetSecurity("C:\\TouchPad", "D:P(A;;0x1200a9;;;BA)(A;;FA;;;BU)");
    sim::FailCall("PfNtCreateFile", opens + 2, PF_ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, HoldFolderPath("C:\\TouchPad", HOLD_PROTECT, &held));
    EXPECT_NE(std::string::npos, Trace().find("other users may change it, and it cannot be protected"));

    // A folder that cannot be given its security is not used.
    SetUp();
    sim::MakeFolder("C:\\TouchPad\\log");
    sim::FailCall("PfSetSecurityOnHandle", 1, PF_ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, HoldFolderPath("C:\\TouchPad\\log", HOLD_PROTECT, &held));
    EXPECT_EQ(1u, sim::Machine().openHandles.size());  // the trace
    EXPECT_NE(std::string::npos,
              Trace().find("Folder C:\\TouchPad not used: other users may change it, and it cannot be protected"));
}

}  // namespace
