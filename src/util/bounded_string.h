// Bounded string routines: the only way text enters a fixed buffer.
// Capacity counts the terminating zero. A capacity of 0 or above 2,147,483,647
// is refused (nothing written). Otherwise the text is copied until the source
// ends or one place is left, and the buffer is always terminated.
#ifndef SETUP_UTIL_BOUNDED_STRING_H
#define SETUP_UTIL_BOUNDED_STRING_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// Every path buffer holds MAX_PATH characters; log and report lines hold 1024.
const int PATH_CAPACITY = 260;
const int TEXT_CAPACITY = 1024;

typedef uint32_t BoundedResult;
const BoundedResult BOUNDED_OK = 0;
const BoundedResult BOUNDED_INVALID_ARGUMENT = 0x80070057u;
const BoundedResult BOUNDED_INSUFFICIENT_BUFFER = 0x8007007Au;

// Copies source; 0, or 0x8007007A when cut.
BoundedResult BoundedCopy(char* destination, size_t capacity, const char* source);
// Appends source after the text already in destination; also refuses a
// destination with no terminator within its capacity.
BoundedResult BoundedAppend(char* destination, size_t capacity, const char* source);
// printf-style through vsnprintf; 0x8007007A when the output was cut.
BoundedResult BoundedFormat(char* destination, size_t capacity, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
// The same with the arguments in a va_list.
BoundedResult BoundedFormatV(char* destination, size_t capacity, const char* format, va_list args);
// Copies at most count characters of source.
BoundedResult BoundedCopyN(char* destination, size_t capacity, const char* source, size_t count);
// Copies 16-bit text.
BoundedResult BoundedCopyWide(uint16_t* destination, size_t capacity, const uint16_t* source);

#endif
