#include "util/command_text.h"

int IsLiteralInQuotes(const char* text)
{
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p)
        if (*p == '"' || *p == '%' || *p == '!' || *p < 0x20)
            return 0;
    return 1;
}
