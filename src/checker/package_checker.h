// The package checker: judges a driver package as Setup.exe would on every
// Windows row it knows, by running Setup.exe's own checks on each row. It
// writes no file, starts no program and shows no box.
#ifndef SETUP_CHECKER_PACKAGE_CHECKER_H
#define SETUP_CHECKER_PACKAGE_CHECKER_H

#include "core/setup_state.h"

struct CheckerOptions {
    char folder[PATH_CAPACITY];  // the package, a full path without trailing backslash
    int deviceIdCount;           // --device IDs of one touch pad, in its order
    char deviceIds[DEVICE_ID_SLOTS][PATH_CAPACITY];
};

// Runs every check; the findings are then in checker/findings.h. Returns the
// exit code: 0 clean, 1 warnings only, 2 errors.
int CheckPackage(ModuleHandle instance, const CheckerOptions* options);

#endif
