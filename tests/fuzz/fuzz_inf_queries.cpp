// Fuzz target: any bytes as the package INF, read by the three INF queries
// over the simulated parser. The first byte chooses how the rest is stored:
// as it stands (bit 0 clear) or widened to UTF-16LE with a byte-order mark.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "driver/inf_queries.h"
#include "sim/sim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sim::Reset();  // also frees the last run's handles, so that runs stay leak-neutral
    if (size == 0)
        return 0;
    std::string body((const char*)data + 1, size - 1);
    std::string file = body;
    if (data[0] & 1) {
        file = "\xFF\xFE";
        for (char c : body)
            file += std::string(1, c) + '\0';
    }
    const char* path = "C:\\Pkg\\Vi64\\fuzz.inf";
    sim::WriteFile(path, file);

    char version[260];
    memset(version, 0x5A, sizeof(version));
    if (loc_QueryInfFilesInf(path, version, sizeof(version)) && !memchr(version, 0, sizeof(version)))
        abort();  // a version read must be terminated inside the buffer

    size_t capacity = (data[0] & 2) ? 1 : 0;
    char* text = capacity ? (char*)calloc(1, capacity) : 0;
    if (loc_QueryHwIDInInf(path, &text, &capacity) && (!text || strlen(text) >= capacity))
        abort();
    free(text);

    PfHandle inf = PfInfOpen(path);
    if (inf) {
        char* names = 0;
        size_t namesCapacity = 0;
        loc_QueryInfManufacturer(inf, &names, &namesCapacity);
        free(names);
        PfInfClose(inf);
    }
    if (!sim::Machine().openHandles.empty())
        abort();  // every query closes its INF
    return 0;
}
