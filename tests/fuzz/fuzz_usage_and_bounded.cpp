// Bounded routines and the usage text with any input: nothing past a buffer.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "core/messages.h"
#include "sim/sim.h"
#include "util/bounded_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    size_t capacity = data[0] % 64 + 1;
    std::string source((const char*)data + 2, size - 2);
    char* buffer = new char[capacity];
    memset(buffer, 'x', capacity);
    BoundedAppend(buffer, capacity, source.c_str());
    BoundedCopy(buffer, capacity, source.c_str());
    BoundedAppend(buffer, capacity, source.c_str());
    BoundedCopyN(buffer, capacity, source.c_str(), data[1]);
    BoundedFormat(buffer, capacity, "%s [%X]", source.c_str(), (unsigned)size);
    delete[] buffer;

    SettingsRecord settings;
    memset(&settings, 0, sizeof(settings));
    settings.Support = data[1];
    char usage[USAGE_CAPACITY];
    BuildUsageText(&settings, usage, USAGE_CAPACITY);
    return 0;
}
