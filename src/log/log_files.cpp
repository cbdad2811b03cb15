#include "log/log_files.h"

#include <string.h>

#include "core/step_trace.h"
#include "log/safe_files.h"
#include "util/bounded_string.h"
#include "util/command_text.h"

const char DPINST_LOG_NAME[] = "\\DpInst.log";

namespace {

// Three quoted paths of up to 259 characters and the words around them: a
// join command always fits, and one that would not is refused rather than cut.
const int JOIN_COMMAND_CAPACITY = 3 * (PATH_CAPACITY + 2) + 32;
const int FOLDER_PART_CAPACITY = 520;

// The next backslash at or after text, stepping over double-byte characters
// (whose second byte may be a backslash); 0 when there is none.
const char* NextBackslash(const char* text)
{
    for (const char* p = text; *p; ++p) {
        if (*p == '\\')
            return p;
        if (PfIsLeadByte((unsigned char)*p) && p[1])
            ++p;
    }
    return 0;
}

// A file that opens for reading. A folder does not: copy would take the
// files inside it in its place, and write into them.
int IsReadableFile(const char* path)
{
    PfHandle file = PfOpenFileForRead(path);
    if (!file)
        return 0;
    PfCloseHandle(file);
    return 1;
}

// A path goes into the join command only when the command interpreter will
// take it literally inside quotes.
int SafeInCommand(const char* path) { return path && *path && IsLiteralInQuotes(path); }

enum FolderWalk { FOLDERS_READY, FOLDERS_REFUSED, FOLDERS_NO_ROOT };

// Walks the folders of path below its drive root, left to right. With create
// set, a missing folder is made with the program's DACL; a failure is passed
// over unless trusted is set. Without it, a missing folder ends the walk.
// With trusted set, every folder must be trusted once it exists, and the walk
// ends at the first that is not.
int WalkFolders(const char* path, int create, int trusted)
{
    if (!path || !*path)
        return FOLDERS_NO_ROOT;
    const char* colon = strstr(path, ":\\");
    if (!colon || colon == path)
        return FOLDERS_NO_ROOT;
    char running[PATH_CAPACITY];
    BoundedCopyN(running, PATH_CAPACITY, colon - 1, 3);

    // The folders lie between the root and the last backslash.
    const char* rest = colon + 2;
    const char* end = rest;
    for (const char* slash = NextBackslash(rest); slash; slash = NextBackslash(slash + 1))
        end = slash + 1;
    char folders[FOLDER_PART_CAPACITY];
    BoundedCopyN(folders, FOLDER_PART_CAPACITY, rest, (size_t)(end - rest));

    char name[PATH_CAPACITY];
    for (const char* start = folders; *start;) {
        const char* slash = NextBackslash(start);
        size_t length = slash ? (size_t)(slash - start) : strlen(start);
        BoundedCopyN(name, PATH_CAPACITY, start, length);
        start += length + (slash ? 1 : 0);
        if (!name[0])
            continue;
        if (!PfPathAppend(running, name))
            return trusted ? FOLDERS_REFUSED : FOLDERS_READY;
        if (create)
            PfCreateDirectoryWithSddl(running, PROTECTED_FOLDER_SDDL);
        else if (PfGetFileAttributes(running) == PF_INVALID_FILE_ATTRIBUTES)
            return FOLDERS_REFUSED;  // nothing there to use
        if (trusted && !IsTrustedFolder(running))
            return FOLDERS_REFUSED;
    }
    return FOLDERS_READY;
}

}  // namespace

int IsReportMode(const char* commandLine) { return commandLine && strstr(commandLine, "/f2") != 0; }

int FinishLogFile(const char* temporary, const char* target)
{
    if (!PutFileInPlace(temporary, target))
        return 0;
    if (g_State.Debug) {
        char dpinstLog[PATH_CAPACITY];
        if (BuildSystemRootPath(DPINST_LOG_NAME, dpinstLog))
            JoinFiles(target, dpinstLog);
    }
    // When the file already is LogFilePath (the report), a copy onto itself
    // could only put it at risk.
    if (g_State.LogFilePath[0] && strcmp(target, g_State.LogFilePath) != 0) {
        CreateDirectoryPath(g_State.LogFilePath);
        CopyFileSafely(target, g_State.LogFilePath);
    }
    return 1;
}

int CreateDirectoryPath(const char* path) { return WalkFolders(path, 1, 0) == FOLDERS_NO_ROOT ? 3 : 0; }

int CreateTrustedDirectoryPath(const char* path) { return WalkFolders(path, 1, 1) == FOLDERS_READY; }

int IsTrustedDirectoryPath(const char* path) { return WalkFolders(path, 0, 1) == FOLDERS_READY; }

int JoinFiles(const char* target, const char* addition)
{
    if (!SafeInCommand(target) || !SafeInCommand(addition))
        return 0;
    // Nothing to join, and copy would otherwise make up a target of its own.
    if (!IsReadableFile(target) || !IsReadableFile(addition))
        return 0;
    // Binary mode: ASCII mode would stop at the first 0x1A of the addition and
    // add a 0x1A of its own.
    char command[JOIN_COMMAND_CAPACITY];
    if (BoundedFormat(command, JOIN_COMMAND_CAPACITY, "copy /b \"%s\"+\"%s\" \"%s\"", target, addition, target) !=
        BOUNDED_OK)
        return 0;
    int code = RunInterpreterCommand(command);
    TraceLine("Command %s: exit code %d", command, code);
    return code == 0;
}

int BuildSystemRootPath(const char* fileName, char* out)
{
    out[0] = 0;
    // Not %SYSTEMROOT%: whoever starts the program sets its environment.
    char folder[PATH_CAPACITY];
    uint32_t length = PfGetSystemWindowsDirectory(folder, PATH_CAPACITY);
    if (length == 0 || length >= (uint32_t)PATH_CAPACITY)
        return 0;
    BoundedCopy(out, PATH_CAPACITY, folder);
    if (!PfPathAppend(out, fileName)) {
        out[0] = 0;
        return 0;
    }
    return 1;
}
