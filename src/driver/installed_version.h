// The installed driver's version and the version comparison.
#ifndef SETUP_DRIVER_INSTALLED_VERSION_H
#define SETUP_DRIVER_INSTALLED_VERSION_H

#include "util/platform.h"

// The registry view flag the product key is read (and written) in.
uint32_t ProductKeyView(const PfOsVersionInfo* os);
// Windows XP and later read the 64-bit view on 64-bit Windows. Windows status: 0,
// or the failing open's or query's status.
int32_t REG_ReadSz(const PfOsVersionInfo* os, PfHandle root, const char* subKey, const char* valueName,
                   char* buffer);
// 1 = buffer holds the version word; 0 = nothing installed; -2 = no word.
int loc_QueryGpDrvVersion(const PfOsVersionInfo* os, char* buffer);
int loc_QuerySpDrvVersion(const PfOsVersionInfo* os, char* buffer);
// The query that fits the package INF's file name.
int QueryInstalledVersion(const PfOsVersionInfo* os, const char* packageInfPath, char* buffer);
// The product's key under HKEY_LOCAL_MACHINE, where its installer records the
// installed version (PRODUCT_VERSION_VALUE) and the tray application's folder.
extern const char PRODUCT_KEY[];
extern const char PRODUCT_VERSION_VALUE[];
// The driver version word of a ProductVer text (260 characters): its second
// word, or its only one. 1, or -2 for a text without a word.
int ProductVersionWord(const char* text, char* buffer);
// The key QueryInstalledVersion reads for this package INF.
const char* ProductKeyFor(const char* packageInfPath);
// 1 when exactly four numbers were converted.
int ParseDriverVersion(const char* text, int* major, int* minor, int* build, int* revision);
// How the installed driver's version compares with the package's.
enum VersionComparison {
    NOT_COMPARED,          // the package's version cannot be read or compared
    INSTALLED_UNREADABLE,  // a version is registered but does not parse
    NOTHING_INSTALLED,
    OLDER_INSTALLED,
    SAME_INSTALLED,
    NEWER_INSTALLED,
};
// OLDER_INSTALLED, SAME_INSTALLED or NEWER_INSTALLED; INSTALLED_UNREADABLE
// or NOT_COMPARED for an installed or package text that does not parse.
VersionComparison loc_CopmareDrvVersion(const char* installed, const char* package);
// The comparison as the step trace names it.
const char* ComparisonName(VersionComparison comparison);

#endif
