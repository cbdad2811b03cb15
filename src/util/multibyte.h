// Text in the ANSI code page, where a character may take two bytes.
#ifndef SETUP_UTIL_MULTIBYTE_H
#define SETUP_UTIL_MULTIBYTE_H

#include <stddef.h>

// Bytes taken by the character at text: two for a lead byte with its trail.
size_t CharLength(const char* text);
// How many leading bytes of text fit in limit bytes without splitting a
// double-byte character (stops at the terminator).
size_t WholeCharsLength(const char* text, size_t limit);
// The first backslash at or after text, or the last one in it, stepping over
// double-byte characters (whose second byte may be a backslash); 0 when
// there is none.
const char* NextBackslash(const char* text);
const char* LastBackslash(const char* text);

#endif
