// Reading the package INF through the platform's INF parser. The queries show
// no message, write no log and change no setup state.
#ifndef SETUP_DRIVER_INF_QUERIES_H
#define SETUP_DRIVER_INF_QUERIES_H

#include <stddef.h>
#include <stdint.h>

#include "util/platform.h"

// 1 when buffer (size bytes) holds field 2 of [Version]'s DriverVer line; 0 otherwise:
// an INF that cannot be opened leaves buffer untouched, any other failure leaves it empty.
int loc_QueryInfFilesInf(const char* infPath, char* buffer, uint16_t size);

// The models-section names [Manufacturer] lists, in order (each line's field 1, then
// field 1 + "." + field N for N = 2, 3, ...), stored zero-terminated back to back from the
// start of the heap buffer *names (*capacity bytes, grown with realloc; the caller frees it).
// Returns how many names were stored, or -1 when memory ran out.
int loc_QueryInfManufacturer(PfHandle inf, char** names, size_t* capacity);

// Appends every line text of those models sections to the zero-terminated heap text *text
// (*capacity bytes, or NULL and 0), reallocating it as needed; the caller frees *text.
// 0 when the INF cannot be opened (text untouched) or memory runs out; 1 otherwise.
int loc_QueryHwIDInInf(const char* infPath, char** text, size_t* capacity);

#endif
