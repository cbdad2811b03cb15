#include "actions/extraction.h"

#include <string.h>

#include "core/held_folders.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "log/folder_walk.h"
#include "log/safe_files.h"
#include "util/bounded_string.h"
#include "util/command_text.h"

namespace {

const size_t kTargetCapacity = 520;
// A target and the names below it may be longer than a file path.
const size_t kShownCapacity = 1024;

struct DriverCopy {
    const char* source;
    const char* destination;
};

const char kVi32[] = "Vi32";
const char kVi64[] = "Vi64";
const char* const kSourceFolders[EXTRACTION_SOURCE_FOLDERS] = {kVi32, kVi64};
const DriverCopy kDriverCopies[] = {
    {kVi32, "Windows7-x86"}, {kVi32, "Windows8-x86"}, {kVi32, "Windows8.1-x86"},
    {kVi64, "Windows7-x64"}, {kVi64, "Windows8-x64"}, {kVi64, "Windows8.1-x64"},
};
const int kCopyCount = sizeof(kDriverCopies) / sizeof(kDriverCopies[0]);

// A folder of the target, held only once a file is to be written in it, so
// that no empty folder is left. Below the target each is made new, only
// administrators may change it, or it is held and protected in place; a link
// is refused, and nothing is written through it.
struct Destination {
    Destination* parent;  // 0: the target itself
    const char* name;
    char shown[kShownCapacity];
    HeldPath* target;  // the target's folders, for the target itself
    PfHandle handle;   // 0 until held
    int refused;
};

PfHandle HoldDestination(Destination* folder)
{
    if (folder->handle || folder->refused)
        return folder->handle;
    if (!folder->parent) {
        // The target's own folders are the administrator's choice: held, and
        // made only where missing.
        if (HoldFolderPath(folder->shown, HOLD_CREATE_MISSING, folder->target))
            folder->handle = HeldFolder(folder->target);
    } else if (PfHandle parent = HoldDestination(folder->parent)) {
        folder->handle = HoldFolderIn(parent, folder->name, folder->shown, HOLD_CREATE_MISSING | HOLD_PROTECT);
    }
    folder->refused = !folder->handle;
    return folder->handle;
}

void ReleaseDestination(Destination* folder)
{
    if (folder->parent && folder->handle)
        PfCloseHandle(folder->handle);
    folder->handle = 0;
}

int InitDestination(Destination* folder, Destination* parent, const char* name)
{
    *folder = Destination();
    folder->parent = parent;
    folder->name = name;
    return BoundedFormat(folder->shown, kShownCapacity, "%s%s%s", parent->shown,
                         parent->shown[0] && parent->shown[strlen(parent->shown) - 1] == '\\' ? "" : "\\",
                         name) == BOUNDED_OK;
}

struct CopyWalk {
    Destination* folder;  // where the walked folder's entries go
    int files;            // files written
};

// One file: written new beside its name in the held destination and renamed
// over whatever has the name, so a link or hard link there is replaced,
// never written through. Read-only is not carried over; the time of the
// last write is.
int CopyDriverFile(const FolderEntry* entry, CopyWalk* walk)
{
    PfHandle folder = HoldDestination(walk->folder);
    char shown[kShownCapacity];
    if (!folder || BoundedFormat(shown, sizeof(shown), "%s\\%s", walk->folder->shown, entry->name) != BOUNDED_OK)
        return 0;
    FileBeside beside;
    if (!CreateRandomFileBeside(folder, entry->name, shown, &beside))
        return 0;
    uint64_t written = 0;
    int ok = AppendFileBytes(beside.file, entry->folder, entry->name) &&
             PfGetLastWriteTime(entry->handle, &written) && PfSetLastWriteTime(beside.file, written);
    if (ok) {
        ok = PutFileInPlace(&beside);
    } else {
        TraceLine("Extraction: %s cannot be copied (error %u)", entry->shown, (unsigned)PfGetLastError());
        DiscardFileBeside(&beside);
    }
    CloseFileBeside(&beside);
    walk->files += ok;
    return ok;
}

int VisitDriverEntry(const FolderEntry* entry, void* context)
{
    CopyWalk* walk = (CopyWalk*)context;
    if (entry->link) {
        TraceLine("Extraction: %s is a link; not copied", entry->shown);
        return 1;
    }
    if (!(entry->attributes & PF_FILE_ATTRIBUTE_DIRECTORY)) {
        // Left out as xcopy leaves them without /H.
        if (entry->attributes & (PF_FILE_ATTRIBUTE_HIDDEN | PF_FILE_ATTRIBUTE_SYSTEM))
            return 1;
        return CopyDriverFile(entry, walk);
    }
    Destination inner;
    if (!InitDestination(&inner, walk->folder, entry->name))
        return 0;
    CopyWalk innerWalk = {&inner, 0};
    int ok =
        WalkHeldFolder(entry->handle, entry->shown, entry->depth + 1, "Extraction", VisitDriverEntry, &innerWalk);
    walk->files += innerWalk.files;
    ReleaseDestination(&inner);
    return ok;
}

// One of the six copies. 1 when at least one file was copied and none failed,
// which is when xcopy gave 0.
int RunCopy(PfHandle package, const char* folder, const DriverCopy& copy, Destination* production)
{
    char sourceShown[PATH_CAPACITY];
    Destination platform;
    if (BoundedFormat(sourceShown, sizeof(sourceShown), "%s\\%s", folder, copy.source) != BOUNDED_OK ||
        !InitDestination(&platform, production, copy.destination))
        return 0;
    PfHandle source = HoldFolderIn(package, copy.source, sourceShown, HOLD_EXISTING);
    if (!source)
        return 0;
    CopyWalk walk = {&platform, 0};
    int ok = WalkHeldFolder(source, sourceShown, 0, "Extraction", VisitDriverEntry, &walk);
    PfCloseHandle(source);
    ReleaseDestination(&platform);
    TraceLine("Extraction: %s to %s: %d files copied%s", sourceShown, platform.shown, walk.files,
              !ok          ? ", then the copy failed"
              : walk.files ? ""
                           : ", none to copy");
    return ok && walk.files > 0;
}

// The target as a full path: a target without a volume root is the current
// folder's or its drive's, and an empty one the current drive's root.
int FullTarget(const char* target, char* full)
{
    int rooted = (target[0] && target[0] != '\\' && target[1] == ':') || (target[0] == '\\' && target[1] == '\\');
    if (rooted)
        return BoundedCopy(full, kShownCapacity, target) == BOUNDED_OK;
    if (!PfGetFullPathName(target[0] ? target : "\\", full))
        return 0;
    // A drive's root as "C:" alone.
    if (full[0] && full[1] == ':' && !full[2])
        BoundedAppend(full, kShownCapacity, "\\");
    return 1;
}

OutcomeKind Extract(const Target* package, const char* target)
{
    const char* folder = package->PackageFolder;
    TraceLine("Extraction to \"%s\"", target);
    if (!package->PackageKnown) {
        TraceLine("Extraction refused: the program's folder cannot be read whole");
        return OUTCOME_EXTRACTION_FAILED;
    }
    // Targets that a command interpreter would not take literally, or with a
    // "/", have always been refused; scripts may count on that.
    if (!IsLiteralInQuotes(target) || strchr(target, '/')) {
        TraceLine("Extraction refused: the target holds a character the command interpreter would not take "
                  "literally");
        return OUTCOME_EXTRACTION_FAILED;
    }
    HeldPath source, held;
    source.count = held.count = 0;
    Destination root = Destination();
    root.target = &held;
    Destination production;
    if (!FullTarget(target, root.shown) || !InitDestination(&production, &root, "production")) {
        TraceLine("Extraction refused: the target is too long");
        return OUTCOME_EXTRACTION_FAILED;
    }
    if (!HoldFolderPath(folder, HOLD_EXISTING, &source)) {
        TraceLine("Extraction refused: the program's folder cannot be held");
        return OUTCOME_EXTRACTION_FAILED;
    }
    OutcomeKind outcome = OUTCOME_EXTRACTED;
    for (int i = 0; i < kCopyCount; ++i) {
        // Only the first copy decides; a missing or unusable Vi64 is not an error.
        if (!RunCopy(HeldFolder(&source), folder, kDriverCopies[i], &production) && i == 0) {
            outcome = OUTCOME_EXTRACTION_FAILED;
            break;
        }
    }
    ReleaseDestination(&production);
    ReleaseFolderPath(&held);
    ReleaseFolderPath(&source);
    return outcome;
}

}  // namespace

const char* ExtractionSourceFolder(int index) { return kSourceFolders[index]; }

RunOutcome ExtractDrivers(const Target* package, const char* target) { return EndWith(Extract(package, target)); }

RunOutcome ParseExtractAll(const Target* package, const char* commandLine)
{
    const char marker[] = "/extract_all:";
    const char* found = strstr(commandLine, marker);
    if (!found)
        return GoOn();

    // Everything up to the end, later switches included; one pair of quotes removed.
    const char* start = found + sizeof(marker) - 1;
    size_t length = strlen(start);
    StripQuotes(&start, &length);
    char target[kTargetCapacity];
    BoundedCopyN(target, sizeof(target), start, length);
    return ExtractDrivers(package, target);
}
