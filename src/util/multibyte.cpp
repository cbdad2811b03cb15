#include "util/multibyte.h"

#include "util/platform.h"

size_t CharLength(const char* text) { return (PfIsLeadByte((unsigned char)text[0]) && text[1] != 0) ? 2 : 1; }

size_t WholeCharsLength(const char* text, size_t limit)
{
    size_t length = 0;
    while (length < limit && text[length]) {
        size_t next = length + CharLength(text + length);
        if (next > limit)
            break;
        length = next;
    }
    return length;
}

const char* NextBackslash(const char* text)
{
    for (const char* p = text; *p; p += CharLength(p))
        if (*p == '\\')
            return p;
    return 0;
}

const char* LastBackslash(const char* text)
{
    const char* last = 0;
    for (const char* p = NextBackslash(text); p; p = NextBackslash(p + 1))
        last = p;
    return last;
}
