#include "log/log_files.h"

#include <string.h>

#include "core/step_trace.h"
#include "util/bounded_string.h"
#include "util/command_text.h"

namespace {

const char kDpinstLogName[] = "\\DpInst.log";
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

// A path goes into the join command only when the command interpreter will
// take it literally inside quotes.
int SafeInCommand(const char* path) { return path && *path && IsLiteralInQuotes(path); }

}  // namespace

int IsReportMode(const char* commandLine) { return commandLine && strstr(commandLine, "/f2") != 0; }

void FinishLogFile(const char* target)
{
    if (g_State.Debug) {
        char dpinstLog[PATH_CAPACITY];
        if (BuildSystemRootPath(kDpinstLogName, dpinstLog))
            JoinFiles(target, dpinstLog);
    }
    // When the file already is LogFilePath (the report), a copy onto itself
    // could only put it at risk.
    if (g_State.LogFilePath[0] && strcmp(target, g_State.LogFilePath) != 0) {
        CreateDirectoryPath(g_State.LogFilePath);
        PfCopyFile(target, g_State.LogFilePath, 0);
    }
}

int CreateDirectoryPath(const char* path)
{
    if (!path || !*path)
        return 3;
    const char* colon = strstr(path, ":\\");
    if (!colon || colon == path)
        return 3;
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
            break;
        PfCreateDirectory(running);
    }
    return 0;
}

int JoinFiles(const char* target, const char* addition)
{
    if (!SafeInCommand(target) || !SafeInCommand(addition))
        return 0;
    // Nothing to join, and copy would otherwise make up a target of its own.
    if (!PfPathFileExists(target) || !PfPathFileExists(addition))
        return 0;
    // Binary mode: ASCII mode would stop at the first 0x1A of the addition and
    // add a 0x1A of its own.
    char command[JOIN_COMMAND_CAPACITY];
    if (BoundedFormat(command, JOIN_COMMAND_CAPACITY, "copy /b \"%s\"+\"%s\" \"%s\"", target, addition, target) !=
        BOUNDED_OK)
        return 0;
    int code = PfSystem(command);
    TraceLine("Command %s: exit code %d", command, code);
    return code == 0;
}

int BuildSystemRootPath(const char* fileName, char* out)
{
    out[0] = 0;
    char folder[PATH_CAPACITY];
    uint32_t needed = PfExpandEnvironmentStrings("%SYSTEMROOT%", folder, PATH_CAPACITY);
    if (needed == 0 || needed > (uint32_t)PATH_CAPACITY || strchr(folder, '%'))
        return 0;
    BoundedCopy(out, PATH_CAPACITY, folder);
    if (!PfPathAppend(out, fileName)) {
        out[0] = 0;
        return 0;
    }
    return 1;
}
