// Choosing the settings section for the running Windows.
#ifndef SETUP_CHECKS_PLATFORM_SELECTION_H
#define SETUP_CHECKS_PLATFORM_SELECTION_H

#include "core/result_codes.h"
#include "core/target.h"

// Reads the target's Windows and width; writes its Section and Settings. Goes
// on when a section was chosen and loaded; OUTCOME_UNSUPPORTED_WINDOWS otherwise.
RunOutcome SelectPlatform(Target* target);

#endif
