#include "checker/targeting.h"

#include <string.h>

#include "checker/findings.h"
#include "checker/rows.h"
#include "core/setup_state.h"
#include "driver/device_matching.h"
#include "util/bounded_string.h"

namespace {

const size_t kListCapacity = 8192;
const char kEnumKey[] = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\";

// Texts one after another, each with its zero. A list that is full takes no
// more: a models section of thousands of lines lists what fits.
struct TextList {
    char text[kListCapacity];
    size_t used;
    int full;
};

TextList g_Ids[CHECKER_ROWS];
TextList g_Keys[CHECKER_ROWS];

int ValidRow(int row) { return row >= 0 && row < CHECKER_ROWS; }

void AddOnce(TextList* list, const char* text)
{
    if (list->full || !text[0])
        return;
    for (size_t at = 0; at < list->used; at += strlen(list->text + at) + 1)
        if (strcmp(list->text + at, text) == 0)
            return;
    size_t length = strlen(text) + 1;
    if (list->used + length > kListCapacity) {
        list->full = 1;
        return;
    }
    memcpy(list->text + list->used, text, length);
    list->used += length;
}

const char* Nth(const TextList* list, int index)
{
    size_t at = 0;
    for (int i = 0; i < index && at < list->used; ++i)
        at += strlen(list->text + at) + 1;
    return at < list->used ? list->text + at : 0;
}

}  // namespace

void ClearTargeting()
{
    memset(g_Ids, 0, sizeof(g_Ids));
    memset(g_Keys, 0, sizeof(g_Keys));
}

void AddTargetId(int row, const char* id)
{
    if (!ValidRow(row))
        return;
    AddOnce(&g_Ids[row], id);
    char key[PATH_CAPACITY];
    if (DeviceKeyOf(id, key, sizeof(key)))
        AddOnce(&g_Keys[row], key);
}

const char* TargetId(int row, int index) { return ValidRow(row) ? Nth(&g_Ids[row], index) : 0; }

const char* DeviceKey(int row, int index) { return ValidRow(row) ? Nth(&g_Keys[row], index) : 0; }

int DeviceKeyOf(const char* id, char* key, size_t capacity)
{
    // The device match compares case-sensitively: an ID spelt otherwise never
    // meets the one Windows reports.
    size_t bus = strlen(ACPI_BUS);
    if (strncmp(id, ACPI_BUS, bus) != 0 || !id[bus])
        return 0;
    // The key is the enumerator and the device; an instance part is not the ID's.
    const char* device = id + bus;
    size_t length = strcspn(device, "\\");
    return BoundedFormat(key, capacity, "%s%.*s%.*s", kEnumKey, (int)bus, id, (int)length, device) == BOUNDED_OK;
}

void ReportTargeting(int row)
{
    if (!ValidRow(row))
        return;
    char keys[FINDING_TEXT_CAPACITY] = "";
    for (int i = 0; const char* key = DeviceKey(row, i); ++i) {
        BoundedAppend(keys, sizeof(keys), i ? ", " : "");
        BoundedAppend(keys, sizeof(keys), key);
    }
    if (keys[0])
        AddFinding(row, VERDICT_OK, "targeting", "device keys of the touch pads this row installs for: %s", keys);
    else
        AddFinding(row, VERDICT_WARNING, "targeting",
                   "the models sections name no hardware ID on the ACPI bus (\"%s...\"), the only IDs Setup.exe "
                   "takes for a touch pad: a machine with one never matches, and no device key can target the "
                   "row",
                   ACPI_BUS);
}
