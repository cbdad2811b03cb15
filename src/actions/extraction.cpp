#include "actions/extraction.h"

#include <string.h>

#include "core/held_folders.h"
#include "core/setup_state.h"
#include "core/step_trace.h"
#include "log/log_files.h"
#include "util/bounded_string.h"
#include "util/command_text.h"

namespace {

const size_t kTargetCapacity = 520;
const char kXcopyName[] = "\\System32\\xcopy.exe";
// Room for the longest command xcopy's path and the program folder (259 each)
// and any target the parsers hand over (519) can make; a command never runs cut.
const size_t kCommandCapacity = 1280;

struct DriverCopy {
    const char* source;
    const char* destination;
};

const DriverCopy kDriverCopies[] = {
    {"\\Vi32", "Windows7-x86"}, {"\\Vi32", "Windows8-x86"}, {"\\Vi32", "Windows8.1-x86"},
    {"\\Vi64", "Windows7-x64"}, {"\\Vi64", "Windows8-x64"}, {"\\Vi64", "Windows8.1-x64"},
};
const int kCopyCount = sizeof(kDriverCopies) / sizeof(kDriverCopies[0]);

// Beside what the command interpreter would not take literally, xcopy may
// read a "/" even inside quotes as a switch (such as /W or /P, which wait for
// a key). No folder name holds "/": it only ever stands in for "\".
int PathIsSafe(const char* path) { return IsLiteralInQuotes(path) && !strchr(path, '/'); }

// 1 when the whole command fits. The interpreter drops the outer pair of
// quotes, and the quoted paths inside stay as they are.
int BuildCopyCommand(const char* xcopy, const char* folder, const char* target, const DriverCopy& copy,
                     char* command)
{
    BoundedResult cut = BoundedCopy(command, kCommandCapacity, "\"\"");
    cut |= BoundedAppend(command, kCommandCapacity, xcopy);
    cut |= BoundedAppend(command, kCommandCapacity, "\" \"");
    cut |= BoundedAppend(command, kCommandCapacity, folder);
    cut |= BoundedAppend(command, kCommandCapacity, copy.source);
    cut |= BoundedAppend(command, kCommandCapacity, "\" \"");
    cut |= BoundedAppend(command, kCommandCapacity, target);
    cut |= BoundedAppend(command, kCommandCapacity, "\\production\\");
    cut |= BoundedAppend(command, kCommandCapacity, copy.destination);
    cut |= BoundedAppend(command, kCommandCapacity, "\" /S /I /Y\"");
    return cut == BOUNDED_OK;
}

// A source that exists but is a file, not a folder, would make xcopy ask
// "file or directory?" (/I only answers that for a folder) and wait forever.
int SourceIsFile(const char* folder, const char* source)
{
    char path[PATH_CAPACITY + 8];
    BoundedCopy(path, sizeof(path), folder);
    BoundedAppend(path, sizeof(path), source);
    if (!PfPathFileExists(path))
        return 0;
    char anyEntry[PATH_CAPACITY];
    BoundedAppend(path, sizeof(path), "\\*");
    return !PfFindFirstFileName(path, anyEntry, sizeof(anyEntry));
}

// Runs the six copies; only the first decides the outcome.
OutcomeKind RunCopies(const char* xcopy, const char* folder, const char* target, char* command)
{
    for (int i = 0; i < kCopyCount; ++i) {
        const DriverCopy& copy = kDriverCopies[i];
        // Only the first copy decides; a missing or unusable Vi64 is not an error.
        if (SourceIsFile(folder, copy.source)) {
            TraceLine("Extraction: %s%s is a file, not a folder; not copied", folder, copy.source);
            if (i == 0)
                return OUTCOME_EXTRACTION_FAILED;
            continue;
        }
        BuildCopyCommand(xcopy, folder, target, copy, command);
        int code = RunInterpreterCommand(command);
        TraceLine("Command %s: exit code %d", command, code);
        if (code != 0 && i == 0)
            return OUTCOME_EXTRACTION_FAILED;
    }
    return OUTCOME_EXTRACTED;
}

OutcomeKind Extract(const Target* package, const char* target)
{
    const char* folder = package->PackageFolder;
    TraceLine("Extraction to \"%s\"", target);
    if (!package->PackageKnown) {
        TraceLine("Extraction refused: the program's folder cannot be read whole");
        return OUTCOME_EXTRACTION_FAILED;
    }
    // By full path: the interpreter would look for a bare "xcopy" in the
    // current folder first.
    char xcopy[PATH_CAPACITY];
    if (!BuildSystemRootPath(kXcopyName, xcopy)) {
        TraceLine("Extraction refused: the system folder cannot be found");
        return OUTCOME_EXTRACTION_FAILED;
    }
    if (!PathIsSafe(target) || !PathIsSafe(folder) || !PathIsSafe(xcopy)) {
        TraceLine("Extraction refused: a path holds a character the command interpreter would not take literally");
        return OUTCOME_EXTRACTION_FAILED;
    }

    // Every command is built before any runs: all six fit, or none runs.
    char command[kCommandCapacity];
    for (int i = 0; i < kCopyCount; ++i)
        if (!BuildCopyCommand(xcopy, folder, target, kDriverCopies[i], command)) {
            TraceLine("Extraction refused: the copy commands would be too long");
            return OUTCOME_EXTRACTION_FAILED;
        }

    // The folders of the target that exist are held while xcopy runs, so
    // none can be swapped for a link; one that is a link is not used. A
    // target without a volume root is the current folder's, as given.
    HeldPath held;
    held.count = 0;
    int rooted = (target[0] && target[0] != '\\' && target[1] == ':') || (target[0] == '\\' && target[1] == '\\');
    if (rooted && !HoldFolderPath(target, HOLD_EXISTING_PART, &held)) {
        TraceLine("Extraction refused: the target's folders cannot be used");
        return OUTCOME_EXTRACTION_FAILED;
    }
    OutcomeKind outcome = RunCopies(xcopy, folder, target, command);
    ReleaseFolderPath(&held);
    return outcome;
}

}  // namespace

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
