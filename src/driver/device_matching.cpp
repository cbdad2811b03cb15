// Finding the touch pad among the pointing devices and checking that the
// package's INF names one of its hardware IDs.
#include "driver/device_matching.h"

#include <stdlib.h>
#include <string.h>

#include "core/setup_state.h"
#include "core/step_trace.h"
#include "driver/inf_queries.h"
#include "util/bounded_string.h"
#include "util/multibyte.h"
#include "util/platform.h"

const char ACPI_BUS[] = "ACPI\\";

namespace {

const size_t kAcpiIdBytes = 8;
const uint32_t kFirstBufferSize = 260;
const size_t kModelsTextSize = 10000;
// Two zero bytes kept behind the part the platform may fill, so that whatever it
// returns (a single string, or a list without its closing empty string) can be
// closed as a proper list.
const uint32_t kListCloser = 2;

// The hardware-ID buffer, reused from device to device; it only ever grows.
struct IdBuffer {
    unsigned char* bytes;
    uint32_t capacity;  // what the platform may fill
};

// Reads the device's hardware IDs, growing the buffer once to the size the
// platform asks for. On success the list is closed right after the returned
// data, so nothing left from an earlier device can be read as one of its IDs.
int ReadHardwareIds(PfHandle devices, uint32_t index, IdBuffer* buffer)
{
    uint32_t returned = 0;
    int read = PfGetDeviceHardwareIds(devices, index, buffer->bytes, buffer->capacity, &returned);
    if (!read && returned > buffer->capacity && returned <= UINT32_MAX - kListCloser) {
        void* grown = realloc(buffer->bytes, (size_t)returned + kListCloser);
        if (!grown)
            return 0;
        buffer->bytes = (unsigned char*)grown;
        buffer->capacity = returned;
        read = PfGetDeviceHardwareIds(devices, index, buffer->bytes, buffer->capacity, &returned);
    }
    if (!read)
        return 0;
    uint32_t end = returned < buffer->capacity ? returned : buffer->capacity;
    buffer->bytes[end] = 0;
    buffer->bytes[end + 1] = 0;
    return read;
}

// Every ID of a closed list, in order, as far as the table holds them.
void RecordHardwareIds(Target* target, const char* list)
{
    for (int slot = 0; slot < DEVICE_ID_SLOTS && *list; ++slot) {
        BoundedCopy(target->DeviceHardwareIds[slot], PATH_CAPACITY, list);
        TraceLine("Device: hardware ID %d \"%s\"", slot + 1, target->DeviceHardwareIds[slot]);
        list += strlen(list) + 1;
    }
}

// The device code after the bus name, cut to 8 bytes without splitting a
// double-byte character.
void RecordAcpiId(Target* target, const char* code)
{
    BoundedCopyN(target->DeviceAcpiId, PATH_CAPACITY, code, WholeCharsLength(code, kAcpiIdBytes));
}

}  // namespace

int CollectDeviceHardwareIds(Target* target)
{
    // Each search describes the devices present now: nothing of an earlier
    // search may linger behind a shorter list.
    memset(target->DeviceHardwareIds, 0, sizeof(target->DeviceHardwareIds));
    memset(target->DeviceAcpiId, 0, sizeof(target->DeviceAcpiId));

    IdBuffer buffer = {(unsigned char*)malloc(kFirstBufferSize + kListCloser), kFirstBufferSize};
    if (!buffer.bytes)
        return 0;
    PfHandle devices = PfOpenPresentMouseDevices();
    if (!devices) {
        free(buffer.bytes);
        return 0;
    }

    int status = 0;
    for (uint32_t index = 0; PfEnumDevice(devices, index); ++index) {
        status = ReadHardwareIds(devices, index, &buffer);
        if (!status)
            continue;  // unreadable IDs: passed over like a device off the bus
        const char* list = (const char*)buffer.bytes;
        const char* bus = PfMbsStr(list, ACPI_BUS);
        if (!bus)
            continue;
        RecordHardwareIds(target, list);
        RecordAcpiId(target, bus + strlen(ACPI_BUS));
        break;
    }

    PfCloseDevices(devices);
    free(buffer.bytes);
    if (!target->DeviceHardwareIds[0][0])
        TraceLine("Device: no present pointing device with an ACPI hardware ID");
    return status;
}

RunOutcome MatchPackageToDevice(const Target* target, const char* packageInfPath)
{
    size_t capacity = kModelsTextSize;
    char* modelsText = (char*)calloc(capacity, 1);
    if (!modelsText)
        return EndWith(OUTCOME_INF_UNREADABLE);
    if (!loc_QueryHwIDInInf(packageInfPath, &modelsText, &capacity)) {
        TraceLine("Device match: the INF's models cannot be read");
        free(modelsText);
        return EndWith(OUTCOME_INF_UNREADABLE);
    }

    int fits = 0;
    for (int slot = 0; slot < DEVICE_ID_SLOTS && target->DeviceHardwareIds[slot][0]; ++slot)
        if (strstr(modelsText, target->DeviceHardwareIds[slot])) {
            if (!fits)
                TraceLine("Device match: the INF names hardware ID \"%s\"", target->DeviceHardwareIds[slot]);
            fits = 1;
        }
    free(modelsText);
    if (fits)
        return GoOn();
    TraceLine("Device match: the INF names none of the device's hardware IDs");
    return EndWith(OUTCOME_NO_MATCHING_DEVICE);
}
