// The INF queries: the package's driver version and the text of its models
// sections. Real INFs list many long hardware IDs on one models line, so the
// field, name and text buffers grow to what the parser says it needs instead
// of cutting or dropping an ID that device matching would then miss.
#include "driver/inf_queries.h"

#include <stdlib.h>
#include <string.h>

namespace {

const size_t FIRST_CAPACITY = 512;  // any one field the parser keeps whole fits
const uint32_t LINE_TEXT = 0xFFFFFFFFu;

// Makes room for needed bytes, at least doubling, so that appending stays linear.
int Reserve(char** buffer, size_t* capacity, size_t needed)
{
    size_t have = *buffer ? *capacity : 0;
    if (needed <= have)
        return 1;
    size_t grown = have ? have : FIRST_CAPACITY;
    while (grown < needed)
        grown = grown <= (size_t)-1 / 2 ? grown * 2 : needed;
    char* bigger = (char*)realloc(*buffer, grown);
    if (!bigger)
        return 0;
    *buffer = bigger;
    *capacity = grown;
    return 1;
}

// Reads a field (or, for LINE_TEXT, the line's text) into a heap buffer that
// grows to the size the parser reports. 1 read, 0 no such field or another
// failure, -1 out of memory.
int ReadGrowing(const PfInfContext* context, uint32_t field, char** buffer, size_t* capacity)
{
    if (!Reserve(buffer, capacity, FIRST_CAPACITY))
        return -1;
    for (int attempt = 0; attempt < 4; ++attempt) {
        uint32_t room = *capacity > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)*capacity;
        uint32_t required = 0;
        PfSetLastError(PF_ERROR_SUCCESS);  // a missing field sets no error of its own
        int read = field == LINE_TEXT ? PfInfGetLineText(context, *buffer, room, &required)
                                      : PfInfGetStringField(context, field, *buffer, room, &required);
        if (read)
            return 1;
        if (PfGetLastError() != PF_ERROR_INSUFFICIENT_BUFFER || required <= room)
            return 0;
        if (!Reserve(buffer, capacity, required))
            return -1;
    }
    return 0;
}

// Appends first, then (when given) "." and second, and a zero; length is the
// text's current end, kept by the caller so that the text is never rescanned.
int AppendText(char** text, size_t* capacity, size_t* length, const char* first, const char* second)
{
    size_t firstLength = strlen(first);
    size_t secondLength = second ? strlen(second) + 1 : 0;
    size_t needed = *length + firstLength + secondLength + 1;
    if (needed <= *length || !Reserve(text, capacity, needed))
        return 0;
    memcpy(*text + *length, first, firstLength);
    *length += firstLength;
    if (second) {
        (*text)[(*length)++] = '.';
        memcpy(*text + *length, second, secondLength - 1);
        *length += secondLength - 1;
    }
    (*text)[*length] = 0;
    return 1;
}

// One [Manufacturer] line: its base name and every decorated name after it.
// The number of names added, or -1 when memory ran out.
int AddLineNames(const PfInfContext* line, char** names, size_t* capacity, size_t* used, char** base,
                 size_t* baseCapacity, char** field, size_t* fieldCapacity)
{
    int read = ReadGrowing(line, 1, base, baseCapacity);
    if (read <= 0)
        return read;
    if (!AppendText(names, capacity, used, *base, 0))
        return -1;
    ++*used;  // past the zero that ends the name
    int added = 1;
    for (uint32_t n = 2;; ++n) {
        read = ReadGrowing(line, n, field, fieldCapacity);
        if (read < 0)
            return -1;
        if (read == 0)
            return added;
        if (!AppendText(names, capacity, used, *base, *field))
            return -1;
        ++*used;
        ++added;
    }
}

// A section as the parser knows it, whatever spelling named it.
struct SectionId {
    void* inf;
    uint32_t section;
};

// Appends the text of every line of one section, unless gathered (count
// entries) shows it was appended before; 0 when memory ran out. [Manufacturer]
// may name one section any number of times: gathered once each, a small INF
// cannot make the text grow with the square of its size.
int GatherSection(PfHandle inf, const char* name, char** text, size_t* capacity, size_t* length, char** line,
                  size_t* lineCapacity, SectionId* gathered, int* count)
{
    PfInfContext context;
    if (!PfInfFindFirstLine(inf, name, 0, &context))
        return 1;  // a listed section the INF lacks is skipped
    for (int i = 0; i < *count; ++i)
        if (gathered[i].inf == context.currentInf && gathered[i].section == context.section)
            return 1;
    gathered[*count].inf = context.currentInf;
    gathered[*count].section = context.section;
    ++*count;
    do {
        int read = ReadGrowing(&context, LINE_TEXT, line, lineCapacity);
        if (read < 0 || (read > 0 && !AppendText(text, capacity, length, *line, 0)))
            return 0;
    } while (PfInfFindNextLine(&context, &context));
    return 1;
}

}  // namespace

int loc_QueryInfFilesInf(const char* infPath, char* buffer, uint16_t size)
{
    if (!buffer || size == 0)
        return 0;
    PfHandle inf = PfInfOpen(infPath);
    if (!inf)
        return 0;
    PfInfContext context;
    uint32_t required = 0;
    int found = PfInfFindFirstLine(inf, "Version", "DriverVer", &context) &&
                PfInfGetStringField(&context, 2, buffer, size, &required);
    PfInfClose(inf);
    if (!found)
        buffer[0] = 0;
    return found ? 1 : 0;
}

int loc_QueryInfManufacturer(PfHandle inf, char** names, size_t* capacity)
{
    size_t used = 0;
    int count = 0;
    char* base = 0;
    char* field = 0;
    size_t baseCapacity = 0, fieldCapacity = 0;
    PfInfContext context;
    if (Reserve(names, capacity, 1))
        (*names)[0] = 0;
    else
        count = -1;
    if (count == 0 && PfInfFindFirstLine(inf, "Manufacturer", 0, &context)) {
        do {
            int added = AddLineNames(&context, names, capacity, &used, &base, &baseCapacity, &field, &fieldCapacity);
            count = added < 0 ? -1 : count + added;
        } while (count >= 0 && PfInfFindNextLine(&context, &context));
    }
    free(base);
    free(field);
    return count;
}

int loc_QueryHwIDInInf(const char* infPath, char** text, size_t* capacity)
{
    PfHandle inf = PfInfOpen(infPath);
    if (!inf)
        return 0;
    char* names = 0;
    char* line = 0;
    size_t namesCapacity = 0, lineCapacity = 0;
    // The caller's text may already hold some: find its end once.
    const char* end = *text ? (const char*)memchr(*text, 0, *capacity) : 0;
    size_t length = end ? (size_t)(end - *text) : 0;
    int ok = Reserve(text, capacity, length + 1);
    if (ok && !end)
        (*text)[length] = 0;
    int count = ok ? loc_QueryInfManufacturer(inf, &names, &namesCapacity) : -1;
    SectionId* gathered = count > 0 ? (SectionId*)calloc((size_t)count, sizeof(SectionId)) : 0;
    ok = count == 0 || (count > 0 && gathered);
    int gatheredCount = 0;
    const char* name = names;
    for (int i = 0; ok && i < count; ++i) {
        ok = GatherSection(inf, name, text, capacity, &length, &line, &lineCapacity, gathered, &gatheredCount);
        name += strlen(name) + 1;
    }
    free(gathered);
    free(names);
    free(line);
    PfInfClose(inf);
    return ok ? 1 : 0;
}
