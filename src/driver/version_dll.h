// The package's version DLL against its INF.
#ifndef SETUP_DRIVER_VERSION_DLL_H
#define SETUP_DRIVER_VERSION_DLL_H

#include "core/result_codes.h"
#include "core/target.h"

// The version DLL's name, beside the package INF.
const char VERSION_DLL_NAME[] = "VrnVer.dll";

// Extends the target's PackageDriverFolder in place to the version DLL's path. Goes on
// when consistent or without a version DLL; OUTCOME_VERSION_DLL_MISMATCH otherwise.
RunOutcome CheckVersionDll(Target* target, const char* packageInfPath);

#endif
