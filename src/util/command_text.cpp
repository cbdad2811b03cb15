#include "util/command_text.h"

#include <string.h>

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
