// The package's version DLL must state the same version as its INF.
#include "driver/version_dll.h"

#include <stdlib.h>
#include <string.h>

#include "core/step_trace.h"
#include "driver/inf_queries.h"
#include "util/bounded_string.h"
#include "util/platform.h"

namespace {

const char kProductVersion[] = "\\StringFileInfo\\040904b0\\ProductVersion";

// The INF's dotted version in the resource's "a, b, c, d" form.
void ReadInfVersionWithCommas(const char* packageInfPath, char* text, size_t capacity)
{
    char dotted[PATH_CAPACITY] = {0};
    if (!loc_QueryInfFilesInf(packageInfPath, dotted, PATH_CAPACITY))
        dotted[0] = 0;  // an unreadable version compares as empty text
    dotted[PATH_CAPACITY - 1] = 0;
    text[0] = 0;
    char one[2] = {0, 0};
    for (const char* p = dotted; *p; ++p) {
        one[0] = *p;
        BoundedAppend(text, capacity, *p == '.' ? ", " : one);
    }
}

}  // namespace

RunOutcome CheckVersionDll(Target* target, const char* packageInfPath)
{
    // A folder too long to hold the name cannot hold the DLL either.
    if (!PfPathAppend(target->PackageDriverFolder, VERSION_DLL_NAME))
        return GoOn();
    const char* dllPath = target->PackageDriverFolder;
    uint32_t size = PfGetFileVersionInfoSize(dllPath);
    if (size == 0) {
        TraceLine("Version DLL: no version block at %s; nothing to compare", dllPath);
        return GoOn();
    }
    // Zeroed with room to spare, so a value stored without its terminator
    // still ends inside the block.
    void* block = calloc(size + 2, 1);
    if (!block)
        return GoOn();

    // A DLL without a US English string table states no version to compare.
    const char* dllVersion = 0;
    if (!PfGetFileVersionInfo(dllPath, size, block) || !PfVerQueryString(block, kProductVersion, &dllVersion) ||
        !dllVersion) {
        TraceLine("Version DLL: %s states no US English ProductVersion; nothing to compare", dllPath);
        free(block);
        return GoOn();
    }
    char infVersion[PATH_CAPACITY];
    ReadInfVersionWithCommas(packageInfPath, infVersion, sizeof(infVersion));
    int same = strcmp(dllVersion, infVersion) == 0;
    TraceLine("Version DLL: ProductVersion \"%s\", INF \"%s\": %s", dllVersion, infVersion,
              same ? "they agree" : "they differ, the run stops");
    free(block);
    return same ? GoOn() : EndWith(OUTCOME_VERSION_DLL_MISMATCH);
}
