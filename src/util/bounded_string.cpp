#include "util/bounded_string.h"

#include <stdarg.h>
#include <stdio.h>

namespace {

const size_t kMaxCapacity = 2147483647u;

bool CapacityValid(size_t capacity) { return capacity != 0 && capacity <= kMaxCapacity; }

template <typename Char>
BoundedResult CopyAtMost(Char* destination, size_t capacity, const Char* source, size_t count)
{
    size_t i = 0;
    while (i < count && source[i] != 0) {
        if (i == capacity - 1) {
            destination[i] = 0;
            return BOUNDED_INSUFFICIENT_BUFFER;
        }
        destination[i] = source[i];
        ++i;
    }
    destination[i] = 0;
    return BOUNDED_OK;
}

}  // namespace

BoundedResult BoundedCopy(char* destination, size_t capacity, const char* source)
{
    if (!CapacityValid(capacity))
        return BOUNDED_INVALID_ARGUMENT;
    return CopyAtMost(destination, capacity, source, (size_t)-1);
}

BoundedResult BoundedCopyN(char* destination, size_t capacity, const char* source, size_t count)
{
    if (!CapacityValid(capacity))
        return BOUNDED_INVALID_ARGUMENT;
    return CopyAtMost(destination, capacity, source, count);
}

BoundedResult BoundedCopyWide(uint16_t* destination, size_t capacity, const uint16_t* source)
{
    if (!CapacityValid(capacity))
        return BOUNDED_INVALID_ARGUMENT;
    return CopyAtMost(destination, capacity, source, (size_t)-1);
}

BoundedResult BoundedAppend(char* destination, size_t capacity, const char* source)
{
    if (!CapacityValid(capacity))
        return BOUNDED_INVALID_ARGUMENT;
    size_t used = 0;
    while (used < capacity && destination[used] != 0)
        ++used;
    if (used == capacity)
        return BOUNDED_INVALID_ARGUMENT;
    return CopyAtMost(destination + used, capacity - used, source, (size_t)-1);
}

BoundedResult BoundedFormat(char* destination, size_t capacity, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    BoundedResult result = BoundedFormatV(destination, capacity, format, args);
    va_end(args);
    return result;
}

BoundedResult BoundedFormatV(char* destination, size_t capacity, const char* format, va_list args)
{
    if (!CapacityValid(capacity))
        return BOUNDED_INVALID_ARGUMENT;
    int written = vsnprintf(destination, capacity, format, args);
    if (written < 0) {
        destination[0] = 0;
        return BOUNDED_INSUFFICIENT_BUFFER;
    }
    destination[capacity - 1] = 0;
    return (size_t)written < capacity ? BOUNDED_OK : BOUNDED_INSUFFICIENT_BUFFER;
}
