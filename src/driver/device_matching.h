// Matching the package to the pointing device present.
#ifndef SETUP_DRIVER_DEVICE_MATCHING_H
#define SETUP_DRIVER_DEVICE_MATCHING_H

#include "core/result_codes.h"
#include "core/target.h"

// The bus a touch pad's first hardware ID names.
extern const char ACPI_BUS[];

// Writes the target's DeviceAcpiId and DeviceHardwareIds. Status of the last hardware-ID
// read; 0 when no device was examined.
int CollectDeviceHardwareIds(Target* target);
// Goes on when any of the device's IDs occurs in the INF's models text;
// OUTCOME_NO_MATCHING_DEVICE, or OUTCOME_INF_UNREADABLE for models that
// cannot be read.
RunOutcome MatchPackageToDevice(const Target* target, const char* packageInfPath);

#endif
