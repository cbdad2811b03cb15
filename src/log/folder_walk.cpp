#include "log/folder_walk.h"

#include <string.h>

#include "core/held_folders.h"
#include "core/step_trace.h"
#include "util/bounded_string.h"

namespace {

const uint32_t kAnyShare = PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE;
const uint32_t kEntryAccess = PF_READ_CONTROL | PF_FILE_READ_ATTRIBUTES | PF_FILE_READ_DATA | PF_FILE_TRAVERSE |
                              PF_SYNCHRONIZE;
const uint32_t kEntryOptions = PF_FILE_OPEN_REPARSE_POINT | PF_FILE_OPEN_FOR_BACKUP_INTENT |
                               PF_FILE_SYNCHRONOUS_IO_NONALERT;

int IsDots(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

int VisitEntry(PfHandle folder, const char* path, const char* name, int depth, const char* label, FolderVisit visit,
               void* context)
{
    char shown[PATH_CAPACITY];
    if (BoundedFormat(shown, sizeof(shown), "%s\\%s", path, name) != BOUNDED_OK)
        return 0;
    FolderEntry entry = {folder, 0, name, shown, 0, 0, 0, depth};
    entry.handle = PfNtCreateFile(folder, name, kEntryAccess, kAnyShare, PF_FILE_OPEN, kEntryOptions, 0);
    if (!entry.handle || !PfGetFileAttributeTag(entry.handle, &entry.attributes, &entry.reparseTag)) {
        TraceLine("%s: %s cannot be opened (error %u)", label, shown, (unsigned)PfGetLastError());
        if (entry.handle)
            PfCloseHandle(entry.handle);
        return 0;
    }
    entry.link = (entry.attributes & PF_FILE_ATTRIBUTE_REPARSE_POINT) || IsLinkByName(shown);
    int ok = visit(&entry, context);
    PfCloseHandle(entry.handle);
    return ok;
}

}  // namespace

int WalkHeldFolder(PfHandle folder, const char* path, int depth, const char* label, FolderVisit visit, void* context)
{
    if (depth > FOLDER_WALK_MAX_DEPTH) {
        TraceLine("%s: %s lies more than %d folders deep", label, path, FOLDER_WALK_MAX_DEPTH);
        return 0;
    }
    char pattern[PATH_CAPACITY];
    char name[PATH_CAPACITY];
    if (BoundedFormat(pattern, sizeof(pattern), "%s\\*", path) != BOUNDED_OK)
        return 0;
    PfHandle search = PfFindFirstFile(pattern, name, sizeof(name));
    if (!search)
        return PfGetLastError() == PF_ERROR_FILE_NOT_FOUND;
    int ok = 1;
    do {
        if (!IsDots(name))
            ok = VisitEntry(folder, path, name, depth, label, visit, context);
    } while (ok && PfFindNextFile(search, name, sizeof(name)));
    PfFindClose(search);
    return ok;
}
