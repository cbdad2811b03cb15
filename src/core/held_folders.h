// Folders judged and used through handles, never by name again. A path is
// opened from its volume root down, each folder without following a reparse
// point and without delete sharing, so that none can be renamed, removed or
// swapped for a link while it is held; files are then made, renamed and
// deleted relative to the last folder's handle.
#ifndef SETUP_CORE_HELD_FOLDERS_H
#define SETUP_CORE_HELD_FOLDERS_H

#include "util/platform.h"

// What the program's own folders get: Administrators and SYSTEM full
// control, Users read and execute, nothing inherited from the parent.
extern const char PROTECTED_FOLDER_SDDL[];
// What a folder nobody but Administrators and SYSTEM may even open gets.
extern const char PRIVATE_FOLDER_SDDL[];

// The volume root and up to HELD_FOLDER_DEPTH - 1 folders below it.
const int HELD_FOLDER_DEPTH = 64;

struct HeldPath {
    int count;  // handles in folders; 0 when nothing is held
    PfHandle folders[HELD_FOLDER_DEPTH];
};

enum HoldFlags {
    HOLD_EXISTING = 0,
    // Missing folders are made, with PROTECTED_FOLDER_SDDL.
    HOLD_CREATE_MISSING = 1,
    // Every folder below the volume root is the program's own: one that
    // others may change is made protected on its handle before it is used.
    HOLD_PROTECT = 2,
    // A missing folder ends the walk without failing it: what exists is held.
    HOLD_EXISTING_PART = 4,
    // The deepest folder is made with PRIVATE_FOLDER_SDDL, or given it when
    // others may open it; one that cannot be given it is still used.
    HOLD_PRIVATE = 8,
};

// Holds every folder of folder, a full path ("C:\a\b", "\\server\share\a";
// a trailing backslash is allowed). 1 when all are held; otherwise 0, nothing
// stays held, and the trace says which folder was not used and why (a
// reparse point, not a folder, missing, not to be opened or protected).
int HoldFolderPath(const char* folder, int flags, HeldPath* held);
// Holds the folder name in the held folder parent as HoldFolderPath holds
// each folder of a path with these flags (shown: its full path, for the
// trace). The handle, or 0 when it is missing, a link, or not to be used.
PfHandle HoldFolderIn(PfHandle parent, const char* name, const char* shown, int flags);
// HoldFolderPath for the folder of path, a file's full path.
int HoldFolderOf(const char* path, int flags, HeldPath* held);
// 1 when the name at path is a link or reparse point by its own attributes:
// some file systems (Wine's among them) show a link only there, not on a handle.
int IsLinkByName(const char* path);
// The deepest folder held; 0 when none.
PfHandle HeldFolder(const HeldPath* held);
// Closes every handle; the path may be held again.
void ReleaseFolderPath(HeldPath* held);

// 1 when an account other than Administrators, SYSTEM, TrustedInstaller (or,
// under Wine only, the one this process runs as) may write, add, delete, change attributes,
// permissions or owner of what the handle holds (opened with READ_CONTROL),
// or when its security cannot be read; 0 otherwise.
int IsChangeableByOthers(PfHandle handle);
// The same for any access at all: a reading handle too.
int IsOpenableByOthers(PfHandle handle);
// Gives a folder held with WRITE_DAC and WRITE_OWNER the owner Administrators
// and PROTECTED_FOLDER_SDDL. 1 when others can no longer change it.
int ProtectHeldFolder(PfHandle folder);

#endif
