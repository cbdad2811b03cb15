// Is the package complete, and does its DPInst fit the processor?
#ifndef SETUP_CHECKS_PACKAGE_CHECKS_H
#define SETUP_CHECKS_PACKAGE_CHECKS_H

#include "core/result_codes.h"
#include "core/target.h"

// Looks beside the DPInst the target's Path names; writes its
// PackageDriverFolder. Goes on with packageInfPath (260 characters) set;
// OUTCOME_FILES_MISSING, with the Windows error, otherwise.
RunOutcome CheckDriverFiles(Target* target, char* packageInfPath);
// Goes on when DPInst's machine type fits the running Windows; otherwise
// OUTCOME_FILES_MISSING (with the Windows error), OUTCOME_WRONG_DPINST_WIDTH
// or OUTCOME_DPINST_NOT_AN_IMAGE. With complete, an image that
// passes also tells whether its sections lie inside the file, as Windows
// needs to start it (the package checker asks; Setup.exe leaves that to Windows).
RunOutcome CheckExeAndPlatform(const Target* target, int* complete = 0);

#endif
