#include "checks/package_copy.h"

#include <string.h>

#include "core/held_folders.h"
#include "core/step_trace.h"
#include "core/trace_file.h"
#include "log/folder_walk.h"
#include "log/safe_files.h"
#include "util/multibyte.h"

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
const uint32_t kCopyChunk = 64 * 1024;
// Files copied into the copy's own folder, which a copy of the whole folder leaves out.
const int kSkipCapacity = 4;

struct PackageState {
    HeldPath source;  // the package's folder, when it could be held
    PfHandle opened;  // the package's folder opened by name, when it could not
    HeldPath temp;    // the temporary folder the copy lies in
    PfHandle copy;    // the copy's folder; 0 while the package is used in place
    uint64_t copied;  // bytes copied so far
    int skipCount;
    char skip[kSkipCapacity][PATH_CAPACITY];
    char sourcePath[PATH_CAPACITY];
    char copyPath[PATH_CAPACITY];
    char copyName[PATH_CAPACITY];
} g_Package;

PfHandle SourceFolder() { return g_Package.opened ? g_Package.opened : HeldFolder(&g_Package.source); }

int IsDots(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

int IsNotFound(uint32_t error) { return error == PF_ERROR_FILE_NOT_FOUND || error == PF_ERROR_PATH_NOT_FOUND; }

void Note(PackageJudgement* judgement, const char* shown)
{
    if (!judgement->first[0])
        BoundedCopy(judgement->first, sizeof(judgement->first), shown);
}

int JudgeEntry(const FolderEntry* entry, void* context)
{
    PackageJudgement* judgement = (PackageJudgement*)context;
    if (entry->link) {
        judgement->links = 1;
        TraceLine("Package: %s is a link (reparse tag 0x%X)", entry->shown, (unsigned)entry->reparseTag);
        Note(judgement, entry->shown);
        return 1;
    }
    if (IsChangeableByOthers(entry->handle)) {
        judgement->changeable = 1;
        Note(judgement, entry->shown);
    }
    if (entry->attributes & PF_FILE_ATTRIBUTE_DIRECTORY)
        return WalkHeldFolder(entry->handle, entry->shown, entry->depth + 1, "Package", JudgeEntry, judgement);
    return 1;
}

// Copies the file name in folder to a new file of that name in target: the
// bytes the file had when it was opened, which nobody may write while it is
// copied, within the copy's bounds.
int CopyBoundedFile(PfHandle folder, const char* name, const char* shown, PfHandle target)
{
    PfHandle source = PfNtCreateFile(folder, name, PF_GENERIC_READ | PF_SYNCHRONIZE, PF_FILE_SHARE_READ,
                                     PF_FILE_OPEN, kEntryOptions | PF_FILE_NON_DIRECTORY_FILE, 0);
    if (!source)
        return 0;
    uint32_t attributes = 0, tag = 0;
    uint64_t size = 0;
    const char* refused = 0;
    uint32_t error = 0;
    if (!PfGetFileAttributeTag(source, &attributes, &tag) || !PfGetFileSize(source, &size)) {
        error = PfGetLastError();
    } else if (attributes & (PF_FILE_ATTRIBUTE_REPARSE_POINT | PF_FILE_ATTRIBUTE_SPARSE_FILE)) {
        // A sparse file's holes would be written out as data.
        refused = attributes & PF_FILE_ATTRIBUTE_REPARSE_POINT ? "is a link" : "is a sparse file";
        error = PF_ERROR_NOT_SUPPORTED;
    } else if (size > PACKAGE_COPY_FILE_CAP) {
        refused = "is larger than a file of the copy may be";
        error = PF_ERROR_FILE_TOO_LARGE;
    } else if (g_Package.copied + size > PACKAGE_COPY_TOTAL_CAP) {
        refused = "would take the copy past its bound";
        error = PF_ERROR_FILE_TOO_LARGE;
    }
    PfHandle made = 0;
    if (!error)
        made = PfNtCreateFile(target, name, PF_GENERIC_WRITE | PF_SYNCHRONIZE, PF_FILE_SHARE_READ, PF_FILE_CREATE,
                              kEntryOptions | PF_FILE_NON_DIRECTORY_FILE, 0);
    unsigned char chunk[kCopyChunk];
    uint64_t left = size;
    int ok = made != 0;
    while (ok && left > 0) {
        uint32_t read = 0;
        ok = PfReadFile(source, chunk, left < kCopyChunk ? (uint32_t)left : kCopyChunk, &read);
        if (ok && read == 0) {
            refused = "ended before the size it had when it was opened";
            error = PF_ERROR_HANDLE_EOF;
            ok = 0;
        }
        ok = ok && PfWriteFile(made, chunk, read);
        left -= ok ? read : 0;
    }
    if (!ok && !error)
        error = PfGetLastError();
    if (made)
        PfCloseHandle(made);
    PfCloseHandle(source);
    if (refused)
        TraceLine("Package: %s (%llu bytes) %s (%llu MiB a file, %llu MiB in all)", shown, (unsigned long long)size,
                  refused, (unsigned long long)(PACKAGE_COPY_FILE_CAP >> 20),
                  (unsigned long long)(PACKAGE_COPY_TOTAL_CAP >> 20));
    if (!ok) {
        PfSetLastError(error ? error : PF_ERROR_ACCESS_DENIED);
        return 0;
    }
    g_Package.copied += size;
    return 1;
}

int IsSkipped(const char* name)
{
    for (int i = 0; i < g_Package.skipCount; ++i)
        if (PfMbsICmp(name, g_Package.skip[i]) == 0)
            return 1;
    return 0;
}

// One entry of a part copied into the folder context names.
int CopyEntry(const FolderEntry* entry, void* context)
{
    PfHandle target = *(PfHandle*)context;
    int ok = 1;
    if (entry->link) {
        // Never followed: where it leads is not the package.
        TraceLine("Package: %s is a link (reparse tag 0x%X), not copied", entry->shown, (unsigned)entry->reparseTag);
    } else if (entry->attributes & PF_FILE_ATTRIBUTE_DIRECTORY) {
        PfHandle made = PfNtCreateFile(target, entry->name, kEntryAccess | PF_FILE_APPEND_DATA, kAnyShare,
                                       PF_FILE_CREATE, kEntryOptions | PF_FILE_DIRECTORY_FILE, 0);
        ok = made && WalkHeldFolder(entry->handle, entry->shown, entry->depth + 1, "Package", CopyEntry, &made);
        if (made)
            PfCloseHandle(made);
    } else if (target != g_Package.copy || !IsSkipped(entry->name)) {
        ok = CopyBoundedFile(entry->folder, entry->name, entry->shown, target);
    }
    if (!ok)
        TraceLine("Package: %s cannot be copied (error %u)", entry->shown, (unsigned)PfGetLastError());
    return ok;
}

// Deletes name in folder: a folder's entries first. Each is opened anew with
// delete access only once its listing is done, as a search shares no delete.
void EmptyFolder(PfHandle folder, const char* path, int depth);

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
    char hex[17];
    if (!RandomHexName(hex))
        return 0;
    char name[PATH_CAPACITY];
    BoundedFormat(name, sizeof(name), "%s%s", kCopyPrefix, hex);
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

// The next name of a part's relative path, into name; 0 at its end.
const char* NextName(const char* rest, char* name)
{
    if (!*rest)
        return 0;
    size_t length = 0;
    while (rest[length] && rest[length] != '\\')
        length += CharLength(rest + length);
    BoundedCopyN(name, PATH_CAPACITY, rest, length);
    return rest[length] ? rest + length + 1 : rest + length;
}

// Opens name below folder without following a link; shown grows by it.
PfHandle OpenStep(PfHandle folder, const char* name, char* shown, uint32_t* attributes, int* link)
{
    BoundedAppend(shown, PATH_CAPACITY, "\\");
    BoundedAppend(shown, PATH_CAPACITY, name);
    PfHandle entry = PfNtCreateFile(folder, name, kEntryAccess, kAnyShare, PF_FILE_OPEN, kEntryOptions, 0);
    uint32_t tag = 0;
    if (entry && !PfGetFileAttributeTag(entry, attributes, &tag)) {
        PfCloseHandle(entry);
        return 0;
    }
    *link = entry && ((*attributes & PF_FILE_ATTRIBUTE_REPARSE_POINT) || IsLinkByName(shown));
    return entry;
}

}  // namespace

int OpenPackageFolder(const char* folder)
{
    BoundedCopy(g_Package.sourcePath, sizeof(g_Package.sourcePath), folder);
    if (HoldFolderPath(folder, HOLD_EXISTING, &g_Package.source))
        return 1;
    g_Package.opened =
        PfNtCreateFile(0, folder, kEntryAccess, kAnyShare, PF_FILE_OPEN,
                       PF_FILE_DIRECTORY_FILE | PF_FILE_OPEN_FOR_BACKUP_INTENT | PF_FILE_SYNCHRONOUS_IO_NONALERT, 0);
    return g_Package.opened ? 2 : 0;
}

int JudgePackagePart(const char* relative, int whole, PackageJudgement* judgement)
{
    char shown[PATH_CAPACITY];
    char name[PATH_CAPACITY];
    BoundedCopy(shown, sizeof(shown), g_Package.sourcePath);
    PfHandle at = SourceFolder();
    uint32_t attributes = PF_FILE_ATTRIBUTE_DIRECTORY;
    if (IsChangeableByOthers(at)) {
        judgement->changeable = 1;
        Note(judgement, shown);
    }
    int result = 1;
    for (const char* rest = NextName(relative, name); rest; rest = NextName(rest, name)) {
        if (!(attributes & PF_FILE_ATTRIBUTE_DIRECTORY)) {
            result = -1;  // a file where a folder was named
            break;
        }
        int link = 0;
        PfHandle next = OpenStep(at, name, shown, &attributes, &link);
        if (at != SourceFolder())
            PfCloseHandle(at);
        at = next;
        if (!next) {
            result = IsNotFound(PfGetLastError()) ? -1 : 0;
            break;
        }
        if (link) {
            judgement->links = 1;
            TraceLine("Package: %s is a link", shown);
            Note(judgement, shown);
            break;
        }
        if (IsChangeableByOthers(next)) {
            judgement->changeable = 1;
            Note(judgement, shown);
        }
    }
    if (result == 1 && whole && at && !judgement->links && (attributes & PF_FILE_ATTRIBUTE_DIRECTORY))
        result = WalkHeldFolder(at, shown, 1, "Package", JudgeEntry, judgement);
    if (at && at != SourceFolder())
        PfCloseHandle(at);
    return result;
}

int CopyPackagePart(const char* relative)
{
    if (!g_Package.copy && !MakeCopyFolder()) {
        TraceLine("Package: no folder for a protected copy could be made (error %u)", (unsigned)PfGetLastError());
        return 0;
    }
    char shown[PATH_CAPACITY];
    char name[PATH_CAPACITY];
    BoundedCopy(shown, sizeof(shown), g_Package.sourcePath);
    PfHandle at = SourceFolder();
    PfHandle target = g_Package.copy;
    int result = 1;
    int walk = 1;  // the part is a folder: all it holds is copied
    for (const char* rest = NextName(relative, name); rest && result == 1; rest = NextName(rest, name)) {
        uint32_t attributes = 0;
        int link = 0;
        PfHandle next = OpenStep(at, name, shown, &attributes, &link);
        if (!next) {
            result = IsNotFound(PfGetLastError()) ? -1 : 0;
        } else if (link) {
            TraceLine("Package: %s is a link, not copied", shown);
            result = -1;
        } else if (!(attributes & PF_FILE_ATTRIBUTE_DIRECTORY)) {
            walk = 0;
            result = *rest ? -1 : CopyBoundedFile(at, name, shown, target);
            if (result == 1 && target == g_Package.copy)
                SkipInPackageCopy(name);
            if (result == 0)
                TraceLine("Package: %s cannot be copied (error %u)", shown, (unsigned)PfGetLastError());
        } else {
            // The folders on the way are the copy's own; another part may have made one.
            PfHandle made = PfNtCreateFile(target, name, kEntryAccess | PF_FILE_APPEND_DATA, kAnyShare,
                                           PF_FILE_OPEN_IF, kEntryOptions | PF_FILE_DIRECTORY_FILE, 0);
            if (target != g_Package.copy)
                PfCloseHandle(target);
            target = made;
            result = made ? 1 : 0;
        }
        if (at != SourceFolder())
            PfCloseHandle(at);
        at = next;
    }
    if (result == 1 && walk)
        result = WalkHeldFolder(at, shown, 0, "Package", CopyEntry, &target);
    if (target && target != g_Package.copy)
        PfCloseHandle(target);
    if (at && at != SourceFolder())
        PfCloseHandle(at);
    return result;
}

void SkipInPackageCopy(const char* name)
{
    if (g_Package.skipCount < kSkipCapacity)
        BoundedCopy(g_Package.skip[g_Package.skipCount++], PATH_CAPACITY, name);
}

const char* PackageCopyFolder() { return g_Package.copy ? g_Package.copyPath : 0; }

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
    if (g_Package.opened)
        PfCloseHandle(g_Package.opened);
    g_Package.opened = 0;
    g_Package.copied = 0;
    g_Package.skipCount = 0;
    ReleaseFolderPath(&g_Package.temp);
    ReleaseFolderPath(&g_Package.source);
}
