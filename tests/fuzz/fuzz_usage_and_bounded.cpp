// Bounded routines and the usage text with any input: every result is
// terminated inside its buffer, holds what fitted of the source, and says
// whether it was cut.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "core/messages.h"
#include "sim/sim.h"
#include "util/bounded_string.h"

namespace {

// What a copy of source into capacity must leave: the longest prefix that
// fits, and the cut flag exactly when something was left out.
void CheckCopy(const char* buffer, size_t capacity, const std::string& expected, BoundedResult result)
{
    const char* end = (const char*)memchr(buffer, 0, capacity);
    if (!end)
        abort();
    size_t fits = expected.size() < capacity - 1 ? expected.size() : capacity - 1;
    if ((size_t)(end - buffer) != fits || memcmp(buffer, expected.data(), fits) != 0)
        abort();
    if (result != (fits < expected.size() ? BOUNDED_INSUFFICIENT_BUFFER : BOUNDED_OK))
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    size_t capacity = data[0] % 64 + 1;
    std::string source((const char*)data + 2, size - 2);
    std::string text = source.substr(0, source.find('\0'));  // what a C string of it holds
    char* buffer = new char[capacity];
    memset(buffer, 'x', capacity);

    // An unterminated buffer is refused and left as it was.
    if (BoundedAppend(buffer, capacity, text.c_str()) != BOUNDED_INVALID_ARGUMENT || buffer[0] != 'x')
        abort();
    CheckCopy(buffer, capacity, text, BoundedCopy(buffer, capacity, text.c_str()));
    std::string before = buffer;
    CheckCopy(buffer, capacity, before + text, BoundedAppend(buffer, capacity, text.c_str()));
    size_t count = data[1];
    CheckCopy(buffer, capacity, text.substr(0, count), BoundedCopyN(buffer, capacity, text.c_str(), count));
    std::string formatted = text + " [" + std::to_string(size) + "]";
    CheckCopy(buffer, capacity, formatted, BoundedFormat(buffer, capacity, "%s [%u]", text.c_str(), (unsigned)size));
    delete[] buffer;

    SettingsRecord settings;
    memset(&settings, 0, sizeof(settings));
    settings.Support = data[1];
    char usage[USAGE_CAPACITY];
    memset(usage, 'x', sizeof(usage));
    BuildUsageText(&settings, usage, USAGE_CAPACITY);
    if (!memchr(usage, 0, sizeof(usage)) || strncmp(usage, "Setup.exe: ", 11) != 0 || !strstr(usage, "/s\n"))
        abort();
    return 0;
}
