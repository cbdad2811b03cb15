// Copying the driver folders into a "production" tree instead of installing.
#ifndef SETUP_ACTIONS_EXTRACTION_H
#define SETUP_ACTIONS_EXTRACTION_H

#include "core/result_codes.h"
#include "util/platform.h"

// OUTCOME_EXTRACTED when the copies ran; OUTCOME_EXTRACTION_FAILED when
// refused or the first copy failed.
Outcome ExtractDrivers(ModuleHandle instance, const char* target);
// The package's folders an extraction copies from, relative to its folder.
const int EXTRACTION_SOURCE_FOLDERS = 2;
const char* ExtractionSourceFolder(int index);
// Goes on without "/extract_all:"; otherwise what ExtractDrivers gives.
Outcome ParseExtractAll(ModuleHandle instance, const char* commandLine);

#endif
