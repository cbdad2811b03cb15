#include "checks/package_copy.h"

#include <string.h>

#include "core/held_folders.h"
#include "core/step_trace.h"
#include "core/trace_file.h"
#include "log/folder_walk.h"
#include "log/safe_files.h"
#include "util/bounded_string.h"

namespace {

// Only Administrators and SYSTEM, and nothing inherited: users may not even
// read what the run copied, which may include files they could not read.
const char kCopySddl[] = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
const char kCopyPrefix[] = "SetupPackage_";
const uint32_t kAnyShare = PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE;
// The copy's folder cannot be renamed or removed while the run holds it.
const uint32_t kNoDeleteShare = PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE;
const uint32_t kEntryAccess = PF_READ_CONTROL | PF_FILE_READ_ATTRIBUTES | PF_FILE_READ_DATA | PF_FILE_TRAVERSE |
                              PF_SYNCHRONIZE;
const uint32_t kEntryOptions = PF_FILE_OPEN_REPARSE_POINT | PF_FILE_OPEN_FOR_BACKUP_INTENT |
                               PF_FILE_SYNCHRONOUS_IO_NONALERT;

struct PackageState {
    HeldPath source;  // the package's folder, held for the whole run
    HeldPath temp;    // the temporary folder the copy lies in
    PfHandle copy;    // the copy's folder; 0 when the package is used in place
    char copyPath[PATH_CAPACITY];
    char copyName[PATH_CAPACITY];
} g_Package;

// What a walk of the package does at each entry.
struct Walk {
    PfHandle target;            // copy: the folder the entries go to; 0: judge only
    int changeable;             // judge: an entry others may change was seen
    int links;                  // judge: a link or reparse point was seen
    char first[PATH_CAPACITY];  // the first such entry, for the trace
    const char* skipName;       // the program itself, at the top: not needed in the copy
};

int IsDots(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

void EmptyFolder(PfHandle folder, const char* path, int depth);

// One entry of the package: judged, or copied into walk->target.
int VisitPackageEntry(const FolderEntry* entry, void* context)
{
    Walk* walk = (Walk*)context;
    int ok = 1;
    if (entry->link) {
        walk->links = 1;
        // Never followed: where it leads is not the package.
        TraceLine("Package: %s is a link (reparse tag 0x%X)%s", entry->shown, (unsigned)entry->reparseTag,
                  walk->target ? ", not copied" : "");
    } else if (!walk->target) {
        if (!walk->changeable && IsChangeableByOthers(entry->handle)) {
            walk->changeable = 1;
            BoundedCopy(walk->first, sizeof(walk->first), entry->shown);
        }
        if (entry->attributes & PF_FILE_ATTRIBUTE_DIRECTORY)
            ok = WalkHeldFolder(entry->handle, entry->shown, entry->depth + 1, "Package", VisitPackageEntry, walk);
    } else if (entry->attributes & PF_FILE_ATTRIBUTE_DIRECTORY) {
        PfHandle made = PfNtCreateFile(walk->target, entry->name, kEntryAccess | PF_FILE_APPEND_DATA, kAnyShare,
                                       PF_FILE_CREATE, kEntryOptions | PF_FILE_DIRECTORY_FILE, 0);
        Walk inner = *walk;
        inner.target = made;
        inner.skipName = 0;
        ok = made &&
             WalkHeldFolder(entry->handle, entry->shown, entry->depth + 1, "Package", VisitPackageEntry, &inner);
        if (made)
            PfCloseHandle(made);
    } else if (!walk->skipName || PfMbsICmp(entry->name, walk->skipName) != 0) {
        PfHandle made = PfNtCreateFile(walk->target, entry->name, PF_GENERIC_WRITE | PF_SYNCHRONIZE,
                                       PF_FILE_SHARE_READ, PF_FILE_CREATE,
                                       kEntryOptions | PF_FILE_NON_DIRECTORY_FILE, 0);
        ok = made && AppendFileBytes(made, entry->folder, entry->name);
        if (made)
            PfCloseHandle(made);
    }
    if (!ok && walk->target)
        TraceLine("Package: %s cannot be copied (error %u)", entry->shown, (unsigned)PfGetLastError());
    return ok;
}

// Every entry of the folder held as folder, whose path is path. 0 when an
// entry could not be judged or copied.
int WalkFolder(PfHandle folder, const char* path, int depth, Walk* walk)
{
    return WalkHeldFolder(folder, path, depth, "Package", VisitPackageEntry, walk);
}

// Deletes name in folder: a folder's entries first. Each is opened anew with
// delete access only once its listing is done, as a search shares no delete.
void DeleteEntry(PfHandle folder, const char* path, const char* name, int depth)
{
    char inner[PATH_CAPACITY];
    PfHandle entry = PfNtCreateFile(folder, name, kEntryAccess, kAnyShare, PF_FILE_OPEN, kEntryOptions, 0);
    uint32_t attributes = 0, tag = 0;
    if (entry && PfGetFileAttributeTag(entry, &attributes, &tag) && (attributes & PF_FILE_ATTRIBUTE_DIRECTORY) &&
        !(attributes & PF_FILE_ATTRIBUTE_REPARSE_POINT) && depth <= FOLDER_WALK_MAX_DEPTH &&
        BoundedFormat(inner, sizeof(inner), "%s\\%s", path, name) == BOUNDED_OK)
        EmptyFolder(entry, inner, depth + 1);
    if (entry)
        PfCloseHandle(entry);
    PfHandle doomed = PfNtCreateFile(folder, name, PF_DELETE | PF_FILE_READ_ATTRIBUTES | PF_SYNCHRONIZE, kAnyShare,
                                     PF_FILE_OPEN, PF_FILE_OPEN_REPARSE_POINT | PF_FILE_SYNCHRONOUS_IO_NONALERT, 0);
    if (!doomed || !PfNtSetDeleteDisposition(doomed))
        TraceLine("Package: %s\\%s of the copy is not removed (error %u)", path, name, (unsigned)PfGetLastError());
    if (doomed)
        PfCloseHandle(doomed);
}

void EmptyFolder(PfHandle folder, const char* path, int depth)
{
    char pattern[PATH_CAPACITY];
    char name[PATH_CAPACITY];
    if (BoundedFormat(pattern, sizeof(pattern), "%s\\*", path) != BOUNDED_OK)
        return;
    PfHandle search = PfFindFirstFile(pattern, name, sizeof(name));
    if (!search)
        return;
    do {
        if (!IsDots(name))
            DeleteEntry(folder, path, name, depth);
    } while (PfFindNextFile(search, name, sizeof(name)));
    PfFindClose(search);
}

// A new folder only Administrators and SYSTEM may change, with a name nobody
// can guess, in the temporary folder. 1 when g_Package.copy holds it.
int MakeCopyFolder()
{
    char temp[PATH_CAPACITY];
    uint32_t length = TempFolder(temp);
    if (length == 0 || length >= (uint32_t)PATH_CAPACITY || !HoldFolderPath(temp, HOLD_EXISTING, &g_Package.temp))
        return 0;
    unsigned char random[8];
    if (!PfGenRandom(random, sizeof(random)))
        return 0;
    char name[PATH_CAPACITY];
    BoundedFormat(name, sizeof(name), "%s%02X%02X%02X%02X%02X%02X%02X%02X", kCopyPrefix, random[0], random[1],
                  random[2], random[3], random[4], random[5], random[6], random[7]);
    if (BoundedFormat(g_Package.copyPath, sizeof(g_Package.copyPath), "%s%s%s", temp,
                      temp[length - 1] == '\\' ? "" : "\\", name) != BOUNDED_OK)
        return 0;
    // A name that exists in any form is not opened: the copy is always new.
    BoundedCopy(g_Package.copyName, sizeof(g_Package.copyName), name);
    g_Package.copy = PfNtCreateFile(HeldFolder(&g_Package.temp), name, kEntryAccess | PF_FILE_APPEND_DATA,
                                    kNoDeleteShare, PF_FILE_CREATE, kEntryOptions | PF_FILE_DIRECTORY_FILE,
                                    kCopySddl);
    return g_Package.copy != 0;
}

}  // namespace

RunOutcome UseProtectedPackage(Target* target)
{
    if (!target->PackageKnown)
        return GoOn();  // the checks after this one tell
    const char* program = target->ProgramPath;
    char folder[PATH_CAPACITY];
    BoundedCopy(folder, sizeof(folder), target->PackageFolder);
    // A folder that cannot be held (a user's handle shares no hold, or the
    // path runs through a link) is never used in place: what the run uses is
    // read through a handle opened by name into the protected copy.
    PfHandle source = 0;
    int held = HoldFolderPath(folder, HOLD_EXISTING, &g_Package.source);
    if (held) {
        source = HeldFolder(&g_Package.source);
    } else {
        source = PfNtCreateFile(
            0, folder, kEntryAccess, kAnyShare, PF_FILE_OPEN,
            PF_FILE_DIRECTORY_FILE | PF_FILE_OPEN_FOR_BACKUP_INTENT | PF_FILE_SYNCHRONOUS_IO_NONALERT, 0);
        if (!source) {
            uint32_t error = PfGetLastError();
            TraceLine("Package: %s can be neither held nor opened (error %u); nothing of it is used", folder,
                      (unsigned)error);
            ReleasePackage();
            return EndWith(OUTCOME_FILES_MISSING, error ? error : PF_ERROR_ACCESS_DENIED);
        }
    }
    Walk judge = {0, 0, 0, "", 0};
    int judged = 0;
    if (held) {
        judge.changeable = IsChangeableByOthers(source);
        if (judge.changeable)
            BoundedCopy(judge.first, sizeof(judge.first), folder);
        judged = WalkFolder(source, folder, 0, &judge);
        if (judged && !judge.changeable && !judge.links) {
            TraceLine("Package: only Administrators, SYSTEM and TrustedInstaller may change %s; used in place",
                      folder);
            return GoOn();
        }
    }

    if (!held)
        TraceLine("Package: %s cannot be held, so the run uses a copy read through a handle opened by name", folder);
    else if (judged && judge.changeable)
        TraceLine("Package: users other than Administrators, SYSTEM and TrustedInstaller may change %s, so the "
                  "run uses a copy",
                  judge.first);
    else if (judged)
        TraceLine("Package: %s holds links, which nothing of the run may follow, so it uses a copy without them",
                  folder);
    else
        TraceLine("Package: %s cannot be judged whole, so the run uses a copy", folder);
    Walk copy = {0, 0, 0, "", FileNameOf(program)};
    copy.target = MakeCopyFolder() ? g_Package.copy : 0;
    int copied = copy.target && WalkFolder(source, folder, 0, &copy);
    uint32_t error = PfGetLastError();
    if (!held)
        PfCloseHandle(source);
    if (!copied) {
        TraceLine("Package: no protected copy could be made (error %u); nothing of it is used", (unsigned)error);
        ReleasePackage();
        return EndWith(OUTCOME_FILES_MISSING, error ? error : PF_ERROR_ACCESS_DENIED);
    }
    UsePackageAt(target, g_Package.copyPath);
    TraceLine("Package: copied to %s, which only Administrators and SYSTEM may change; read and started from there",
              g_Package.copyPath);
    return GoOn();
}

void ReleasePackage()
{
    if (g_Package.copy) {
        PfCloseHandle(g_Package.copy);
        g_Package.copy = 0;
        char temp[PATH_CAPACITY];
        BoundedCopy(temp, sizeof(temp), g_Package.copyPath);
        PfPathRemoveFileSpec(temp);
        DeleteEntry(HeldFolder(&g_Package.temp), temp, g_Package.copyName, 0);
        TraceLine("Package: the copy %s is removed", g_Package.copyPath);
    }
    ReleaseFolderPath(&g_Package.temp);
    ReleaseFolderPath(&g_Package.source);
}
