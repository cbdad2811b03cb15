// Reading the package INF through the platform's INF parser.
#ifndef SETUP_DRIVER_INF_QUERIES_H
#define SETUP_DRIVER_INF_QUERIES_H

#include <stddef.h>
#include <stdint.h>

#include "util/platform.h"

// 1 when buffer holds DriverVer's field 2; 0 otherwise.
int loc_QueryInfFilesInf(const char* infPath, char* buffer, uint16_t size);
// 0 when the INF cannot be opened; 1 otherwise, even when nothing was gathered.
// The models text is appended to *text, which grows as needed (see the .cpp).
int loc_QueryHwIDInInf(const char* infPath, char** text, size_t* capacity);

#endif
