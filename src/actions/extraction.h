// Copying the driver folders into a "production" tree instead of installing.
#ifndef SETUP_ACTIONS_EXTRACTION_H
#define SETUP_ACTIONS_EXTRACTION_H

#include "util/platform.h"

// 0 = copies run; DEP_SOFT_ERROR = refused or the first copy failed.
int ExtractDrivers(ModuleHandle instance, const char* target);
// 0 = no "/extract_all:"; EXTRACT_DONE or DEP_SOFT_ERROR otherwise.
int ParseExtractAll(ModuleHandle instance, const char* commandLine);

#endif
