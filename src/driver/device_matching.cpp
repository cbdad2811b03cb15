// Not yet built: this step lets every run go on.
#include "driver/device_matching.h"

int CollectDeviceHardwareIds() { return 0; }
unsigned char MatchPackageToDevice(const char*) { return 1; }
