// A package that users other than Administrators, SYSTEM and TrustedInstaller
// may change is used from a copy only administrators may change: what the
// run reads, checks and starts can then not be swapped underneath it.
#ifndef SETUP_CHECKS_PACKAGE_COPY_H
#define SETUP_CHECKS_PACKAGE_COPY_H

#include "core/result_codes.h"
#include "core/target.h"

// Judges the program's folder and everything in it on held handles. When
// others may change any of it, copies the package (links and reparse points
// left out) into a new folder of its own under the temporary folder and moves
// the target's package there, so that every later step reads from it.
// Goes on, or OUTCOME_FILES_MISSING with the Windows error when the copy
// cannot be made.
RunOutcome UseProtectedPackage(Target* target);
// Removes the copy, if one was made, and lets go of the package's folders.
void ReleasePackage();

#endif
