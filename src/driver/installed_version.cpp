#include "driver/installed_version.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "core/setup_state.h"
#include "util/bounded_string.h"

const char PRODUCT_KEY[] = "Software\\Vorn\\Glidex";
const char PRODUCT_VERSION_VALUE[] = "ProductVer";

namespace {

const uint32_t kRegistryTextSize = 260;
const char kPointingStickKey[] = "Software\\Vorn\\VornPoint\\Common\\Current";
const char kPointingStickInf[] = "GxPS2.inf";

// The installed version word of the product under key.
int QueryProductVersion(const PfOsVersionInfo* os, const char* key, char* buffer)
{
    char text[kRegistryTextSize];
    memset(text, 0, sizeof(text));
    if (REG_ReadSz(os, PF_HKEY_LOCAL_MACHINE, key, PRODUCT_VERSION_VALUE, text) != 0)
        return 0;
    return ProductVersionWord(text, buffer);
}

int IsScanfSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One "%d" conversion: whitespace, an optional sign, at least one digit.
// Out-of-range numbers are refused rather than wrapped, so that the result does
// not depend on the C runtime.
const char* ScanInt(const char* text, int* value)
{
    while (IsScanfSpace(*text))
        ++text;
    int negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    if (*text < '0' || *text > '9')
        return 0;
    long long number = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        number = number * 10 + (*text - '0');
        if (number > (long long)INT_MAX + 1)
            return 0;
    }
    if (negative)
        number = -number;
    if (number > INT_MAX || number < INT_MIN)
        return 0;
    *value = (int)number;
    return text;
}

}  // namespace

int ProductVersionWord(const char* text, char* buffer)
{
    // The value may carry a product version before the driver version:
    // "7.0 10.3.201.104" names driver 10.3.201.104.
    char firstWord[kRegistryTextSize];
    if (sscanf(text, "%259s %259s", firstWord, buffer) == 2)
        return 1;
    if (sscanf(text, "%259s", buffer) == 1)
        return 1;
    return -2;
}

// Windows XP and later: the native view, not the 32-bit redirected one.
uint32_t ProductKeyView(const PfOsVersionInfo* os)
{
    return IsWindowsXpOrLater(os) ? (uint32_t)PF_KEY_WOW64_64KEY : 0u;
}

int32_t REG_ReadSz(const PfOsVersionInfo* os, PfHandle root, const char* subKey, const char* valueName, char* buffer)
{
    uint32_t access = PF_KEY_READ | ProductKeyView(os);
    PfHandle key = 0;
    int32_t status = PfRegOpenKey(root, subKey, access, &key);
    if (status != 0)
        return status;
    uint32_t size = kRegistryTextSize;
    status = PfRegQueryValue(key, valueName, buffer, &size);
    PfRegCloseKey(key);
    if (status != 0) {
        buffer[0] = 0;  // a failed query may leave anything in the buffer
        return status;
    }
    // A stored string need not end in a zero. One that fills the whole buffer
    // without one is a text of 260 characters: too long, like a longer value.
    if (size >= kRegistryTextSize) {
        if (!memchr(buffer, 0, kRegistryTextSize)) {
            buffer[0] = 0;
            return PF_ERROR_MORE_DATA;
        }
    } else {
        buffer[size] = 0;
    }
    return 0;
}

int loc_QueryGpDrvVersion(const PfOsVersionInfo* os, char* buffer)
{
    return QueryProductVersion(os, PRODUCT_KEY, buffer);
}

int loc_QuerySpDrvVersion(const PfOsVersionInfo* os, char* buffer)
{
    return QueryProductVersion(os, kPointingStickKey, buffer);
}

const char* ProductKeyFor(const char* packageInfPath)
{
    char fileName[PATH_CAPACITY];
    BoundedCopy(fileName, PATH_CAPACITY, packageInfPath);
    PfPathStripPath(fileName);
    return strcmp(fileName, kPointingStickInf) == 0 ? kPointingStickKey : PRODUCT_KEY;
}

int QueryInstalledVersion(const PfOsVersionInfo* os, const char* packageInfPath, char* buffer)
{
    return QueryProductVersion(os, ProductKeyFor(packageInfPath), buffer);
}

int ParseDriverVersion(const char* text, int* major, int* minor, int* build, int* revision)
{
    int* parts[4] = {major, minor, build, revision};
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*text != '.')
                return 0;
            ++text;
        }
        text = ScanInt(text, parts[i]);
        if (!text)
            return 0;
    }
    return 1;
}

VersionComparison loc_CopmareDrvVersion(const char* installed, const char* package)
{
    int have[4];
    int want[4];
    if (!ParseDriverVersion(installed, &have[0], &have[1], &have[2], &have[3]))
        return INSTALLED_UNREADABLE;
    if (!ParseDriverVersion(package, &want[0], &want[1], &want[2], &want[3]))
        return NOT_COMPARED;
    for (int i = 0; i < 4; ++i) {
        if (have[i] != want[i])
            return have[i] < want[i] ? OLDER_INSTALLED : NEWER_INSTALLED;
    }
    return SAME_INSTALLED;
}

const char* ComparisonName(VersionComparison comparison)
{
    switch (comparison) {
    case INSTALLED_UNREADABLE:
        return "the installed version is unreadable";
    case NOTHING_INSTALLED:
        return "nothing installed";
    case OLDER_INSTALLED:
        return "installed is older";
    case SAME_INSTALLED:
        return "same version";
    case NEWER_INSTALLED:
        return "installed is newer";
    default:
        return "not comparable";
    }
}
