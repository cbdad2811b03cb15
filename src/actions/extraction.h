// Copying the driver folders into a "production" tree instead of installing.
#ifndef SETUP_ACTIONS_EXTRACTION_H
#define SETUP_ACTIONS_EXTRACTION_H

#include "core/result_codes.h"
#include "core/target.h"

// Copies the package's driver folders into target. OUTCOME_EXTRACTED when
// the copies ran; OUTCOME_EXTRACTION_FAILED when refused or the first copy failed.
RunOutcome ExtractDrivers(const Target* package, const char* target);
// The package's folders an extraction copies from, relative to its folder.
const int EXTRACTION_SOURCE_FOLDERS = 2;
const char* ExtractionSourceFolder(int index);
// Goes on without "/extract_all:"; otherwise what ExtractDrivers gives.
RunOutcome ParseExtractAll(const Target* package, const char* commandLine);

#endif
