// Matching the package to the pointing device present.
#ifndef SETUP_DRIVER_DEVICE_MATCHING_H
#define SETUP_DRIVER_DEVICE_MATCHING_H

// Writes DeviceAcpiId and DeviceHardwareIds. Status of the last hardware-ID
// read; 0 when no device was examined.
int CollectDeviceHardwareIds();
// 1 when any of the device's IDs occurs in the INF's models text.
unsigned char MatchPackageToDevice(const char* packageInfPath);

#endif
