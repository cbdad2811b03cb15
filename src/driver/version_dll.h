// The package's version DLL against its INF.
#ifndef SETUP_DRIVER_VERSION_DLL_H
#define SETUP_DRIVER_VERSION_DLL_H

#include "core/result_codes.h"

// Extends PackageDriverFolder in place to the version DLL's path. Goes on
// when consistent or without a version DLL; OUTCOME_VERSION_DLL_MISMATCH otherwise.
RunOutcome CheckVersionDll(const char* packageInfPath);

#endif
