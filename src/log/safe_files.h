// Writing and deleting files in folders other users may reach, run as an
// administrator or SYSTEM: a link at a file's name is replaced, never
// followed, and folders that others could have made or linked are not used.
#ifndef SETUP_LOG_SAFE_FILES_H
#define SETUP_LOG_SAFE_FILES_H

#include "core/held_folders.h"
#include "util/platform.h"

// 1 when folder is a plain folder (not a reparse point) owned by
// Administrators, SYSTEM or the account the program runs as; a standard
// user's folder is none of these. Otherwise 0, and the trace says why.
int IsTrustedFolder(const char* folder);

// A new file beside path for writing, never one that already has the name:
// temporary (260 characters) gets path with its file name's first character
// replaced, so it is no longer than path. 0 when it cannot be made.
PfHandle CreateFileBeside(const char* path, char* temporary);
// Renames temporary to path. Whatever had the name, a link or another hard
// link of some file included, is replaced and left untouched. On failure the
// temporary is deleted. 1 when path now is the new file.
int PutFileInPlace(const char* temporary, const char* path);
// An empty file of ours takes path's place; a link there goes, what it leads
// to stays. 1 when it did.
int ReplaceWithEmptyFile(const char* path);
// Deletes path; a link there goes, what it leads to stays. 1 when nothing
// is left at path.
int DeleteFileSafely(const char* path);
// Copies source to path through a file beside it. 1 on success.
int CopyFileSafely(const char* source, const char* path);

#endif
