// Setup results. Where one fits, the value is the Windows Installer error that
// deployment tools already know how to read.
#ifndef SETUP_CORE_RESULT_CODES_H
#define SETUP_CORE_RESULT_CODES_H

enum SetupResult {
    SUCCESS = 0,
    DEP_SOFT_ERROR = 3,
    DEP_HARD_ERROR = 4,
    ERROR = 1603,                               // ERROR_INSTALL_FAILURE
    UNKNOWN_OPTION = 1608,                      // ERROR_UNKNOWN_PROPERTY
    ERROR_INSTALL_PLATFORM_UNSUPPORTED = 1633,  // ERROR_INSTALL_PLATFORM_UNSUPPORTED
    REBOOT_REQUIRED = 1641,                     // ERROR_SUCCESS_REBOOT_INITIATED
    EXTRACT_DONE = 9999,                        // internal only, never an exit code
};

// Outcomes of comparing the installed driver's version with the package's.
enum VersionComparison {
    NOTHING_INSTALLED = -1,
    OLDER_INSTALLED = 0,
    SAME_INSTALLED = 1,
    NEWER_INSTALLED = 2,
};

#endif
