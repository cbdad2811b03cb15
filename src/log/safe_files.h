// Writing and deleting files in held folders (core/held_folders.h), run as
// an administrator or SYSTEM: every file is made new relative to its folder's
// handle, never through a link at its name, and takes its name by a rename
// relative to that handle; whatever had the name, a link included, is
// replaced and left untouched where it leads.
#ifndef SETUP_LOG_SAFE_FILES_H
#define SETUP_LOG_SAFE_FILES_H

#include "core/held_folders.h"
#include "util/bounded_string.h"
#include "util/platform.h"

// What a request file gets: only Administrators and SYSTEM may open it.
extern const char PRIVATE_FILE_SDDL[];

// A file being written beside name in a held folder.
struct FileBeside {
    PfHandle folder;  // held by the caller
    PfHandle file;    // 0 once closed
    char name[PATH_CAPACITY];
    char temporary[PATH_CAPACITY];  // name with its first character replaced
    const char* shown;              // the full path, for the trace
};

// Makes beside's temporary new in folder for writing (sddl: its security;
// 0 inherits the folder's). A temporary left by an earlier run is replaced.
// 1 when beside->file is open; otherwise 0 and the trace says why.
int CreateFileBeside(PfHandle folder, const char* name, const char* shown, const char* sddl, FileBeside* beside);
// Fills hex with 16 hex digits from 8 random bytes, for a name nobody can
// guess; 0 when Windows gave no random bytes.
int RandomHexName(char hex[17]);
// CreateFileBeside under a random temporary name, which no other file of
// the folder has: for many files copied into one folder, where a name with
// one character replaced may be another file's.
int CreateRandomFileBeside(PfHandle folder, const char* name, const char* shown, FileBeside* beside);
// Renames the temporary to the name; on failure the temporary goes when the
// file is closed. The file stays open. 1 when the name now is the new file.
int PutFileInPlace(FileBeside* beside);
// The temporary goes; the name is left as it was.
void DiscardFileBeside(FileBeside* beside);
void CloseFileBeside(FileBeside* beside);
// Appends the bytes of the file name in folder (0: name is a full path),
// opened without following a link at its name, to file, unchanged. 1 when
// all of them were written; 0 for a link, a folder or a failed read or write.
int AppendFileBytes(PfHandle file, PfHandle folder, const char* name);
// An empty file of ours takes name's place in folder, then goes. 1 when
// nothing is left at the name.
int DeleteFileSafely(PfHandle folder, const char* name, const char* shown);
// An empty file of ours takes path's place; what a link there led to stays.
// 1 when it did.
int ReplaceWithEmptyFile(const char* path);
// Copies the file sourceName in sourceFolder (0: a full path) to path
// through a file beside it, path's folders held (made when missing below a
// drive root). 1 on success.
int CopyFileSafely(PfHandle sourceFolder, const char* sourceName, const char* path);
// HoldFolderOf for an administrator's path: missing folders are made below
// a drive root only, never on a share.
int HoldTargetFolder(const char* path, HeldPath* held);
// The file name after path's last backslash; path itself when it has none.
const char* FileNameOf(const char* path);

#endif
