#include "util/command_text.h"

#include <string.h>

#include "util/bounded_string.h"

namespace {

// The interpreter's path and switches, and the longest command a caller builds.
const int INTERPRETER_LINE_CAPACITY = PATH_CAPACITY + 32 + 1280;

}  // namespace

int IsLiteralInQuotes(const char* text)
{
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p)
        if (*p == '"' || *p == '%' || *p == '!' || *p < 0x20)
            return 0;
    return 1;
}

void StripQuotes(const char** text, size_t* length)
{
    if (*length > 0 && (*text)[0] == '"') {
        ++*text;
        --*length;
    }
    if (*length > 0 && (*text)[*length - 1] == '"')
        --*length;
}

int IsFullPath(const char* path)
{
    return (path[0] && strncmp(path + 1, ":\\", 2) == 0) || strncmp(path, "\\\\", 2) == 0;
}

int RunInterpreterCommand(const char* command)
{
    // The interpreter comes from the system folder, never from COMSPEC or the
    // search path, which a caller can point elsewhere. /d leaves out the
    // AutoRun commands of the registry. It keeps this program's current
    // folder: a relative extraction target is relative to it.
    char folder[PATH_CAPACITY];
    uint32_t length = PfGetSystemDirectory(folder, PATH_CAPACITY);
    if (length == 0 || length >= (uint32_t)PATH_CAPACITY)
        return -1;
    char line[INTERPRETER_LINE_CAPACITY];
    if (BoundedFormat(line, sizeof(line), "\"%s\\cmd.exe\" /d /c %s", folder, command) != BOUNDED_OK)
        return -1;
    uint32_t code = 0;
    uint32_t threadCode = 0;
    if (!PfRunProcessAndWait(line, 0, &code, &threadCode))
        return -1;
    return (int)code;
}
