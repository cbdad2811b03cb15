// Walking a held folder (core/held_folders.h): each entry is opened relative
// to its folder's handle without following a link, so that what a visitor
// judges, copies or skips is what lies there, never where a link leads.
#ifndef SETUP_LOG_FOLDER_WALK_H
#define SETUP_LOG_FOLDER_WALK_H

#include "util/platform.h"

// Folders below this depth are not walked: the walk fails there.
const int FOLDER_WALK_MAX_DEPTH = 16;

// One entry of a walked folder, open for reading and judging.
struct FolderEntry {
    PfHandle folder;  // the held folder it lies in
    PfHandle handle;  // the entry itself; closed when the visit returns
    const char* name;
    const char* shown;  // its full path, for the trace
    uint32_t attributes;
    uint32_t reparseTag;
    int link;  // a link or reparse point, by its handle or by its name
    int depth;
};

// What a walk does with an entry: 1 to go on, 0 to end the walk failed.
typedef int (*FolderVisit)(const FolderEntry* entry, void* context);

// Visits every entry of folder, held, whose full path is path, in the order
// Windows lists them ("." and ".." left out); a visitor walks a subfolder by
// calling it again with the entry's handle and depth + 1. label starts the
// trace lines. 1 when every entry was opened and visited.
int WalkHeldFolder(PfHandle folder, const char* path, int depth, const char* label, FolderVisit visit,
                   void* context);

#endif
