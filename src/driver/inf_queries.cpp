// Not yet built: this step lets every run go on.
#include "driver/inf_queries.h"

int loc_QueryInfFilesInf(const char*, char*, uint16_t) { return 0; }
int loc_QueryHwIDInInf(const char*, char**, size_t*) { return 0; }
