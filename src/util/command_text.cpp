#include "util/command_text.h"

#include <string.h>

#include "util/bounded_string.h"

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
    // The C runtime looks for cmd.exe through the current folder and the
    // search path when COMSPEC is missing or names no file: only a full path
    // to an existing file is started.
    char interpreter[PATH_CAPACITY];
    uint32_t needed = PfExpandEnvironmentStrings("%COMSPEC%", interpreter, PATH_CAPACITY);
    if (needed == 0 || needed > (uint32_t)PATH_CAPACITY)
        return -1;
    if (!IsFullPath(interpreter) || !PfPathFileExists(interpreter))
        return -1;
    return PfSystem(command);
}
