#include "checker/version_record.h"

#include <stdlib.h>
#include <string.h>

#include "checker/findings.h"
#include "driver/inf_queries.h"
#include "driver/installed_version.h"
#include "util/bounded_string.h"

namespace {

// Decorations Windows tries for an install section, most specific first.
const char* const kDecorations[] = {".NTamd64", ".NTx86", ".NT", ""};
// AddReg lines: root, subkey, value name, flags, value.
const uint32_t kRootField = 1, kSubkeyField = 2, kNameField = 3, kValueField = 5;

struct VersionWrite {
    const char* key;
    int found;
    char value[PATH_CAPACITY];
};

int Field(const PfInfContext* line, uint32_t field, char* buffer)
{
    uint32_t required = 0;
    buffer[0] = 0;
    return PfInfGetStringField(line, field, buffer, PATH_CAPACITY, &required);
}

void ScanAddReg(PfHandle inf, const char* section, VersionWrite* write)
{
    PfInfContext line;
    if (!PfInfFindFirstLine(inf, section, 0, &line))
        return;
    do {
        char root[PATH_CAPACITY], subkey[PATH_CAPACITY], name[PATH_CAPACITY];
        if (!Field(&line, kRootField, root) || !Field(&line, kSubkeyField, subkey) ||
            !Field(&line, kNameField, name))
            continue;
        int machine = PfMbsICmp(root, "HKLM") == 0 || PfMbsICmp(root, "HKEY_LOCAL_MACHINE") == 0;
        if (machine && PfMbsICmp(subkey, write->key) == 0 && PfMbsICmp(name, PRODUCT_VERSION_VALUE) == 0) {
            write->found = 1;
            Field(&line, kValueField, write->value);
        }
    } while (PfInfFindNextLine(&line, &line));
}

// The AddReg sections of the install section a models line names, in the
// decoration Windows would pick.
void ScanInstallSection(PfHandle inf, const char* installSection, VersionWrite* write)
{
    for (const char* decoration : kDecorations) {
        char section[PATH_CAPACITY];
        BoundedFormat(section, sizeof(section), "%s%s", installSection, decoration);
        PfInfContext line;
        if (!PfInfFindFirstLine(inf, section, 0, &line))
            continue;
        if (PfInfFindFirstLine(inf, section, "AddReg", &line)) {
            char addReg[PATH_CAPACITY];
            for (uint32_t field = 1; Field(&line, field, addReg); ++field)
                ScanAddReg(inf, addReg, write);
        }
        return;
    }
}

void ScanModels(PfHandle inf, const char* models, VersionWrite* write)
{
    PfInfContext line;
    if (!PfInfFindFirstLine(inf, models, 0, &line))
        return;
    do {
        char installSection[PATH_CAPACITY];
        if (Field(&line, 1, installSection) && installSection[0])
            ScanInstallSection(inf, installSection, write);
    } while (PfInfFindNextLine(&line, &line));
}

}  // namespace

void ReportVersionRecord(int r, const char* packageInfPath)
{
    VersionWrite write = {ProductKeyFor(packageInfPath), 0, ""};
    PfHandle inf = PfInfOpen(packageInfPath);
    if (!inf)
        return;
    char* models = 0;
    size_t capacity = 0;
    int count = loc_QueryInfManufacturer(inf, &models, &capacity);
    const char* name = models;
    for (int i = 0; i < count && !write.found; ++i, name += strlen(name) + 1)
        ScanModels(inf, name, &write);
    free(models);
    PfInfClose(inf);

    char driverVer[PATH_CAPACITY] = "";
    loc_QueryInfFilesInf(packageInfPath, driverVer, sizeof(driverVer));
    char word[PATH_CAPACITY] = "";
    if (!write.found) {
        AddFinding(r, VERDICT_WARNING, "version-record",
                   "the INF writes no ProductVer under HKLM\\%s (AddReg of its install sections): after an install "
                   "Setup.exe sees no installed version, so it never asks before a reinstall or downgrade and "
                   "FORCE=false has nothing to compare, and a detection rule on that value finds nothing",
                   write.key);
    } else if (ProductVersionWord(write.value, word) != 1 || strcmp(word, driverVer) != 0) {
        AddFinding(r, VERDICT_WARNING, "version-record",
                   "the INF writes ProductVer \"%s\" under HKLM\\%s, whose version word \"%s\" is not DriverVer's "
                   "version \"%s\": Setup.exe and a detection rule compare against the wrong version; write "
                   "\"<product> %s\"",
                   write.value, write.key, word, driverVer, driverVer);
    } else {
        AddFinding(r, VERDICT_OK, "version-record",
                   "the INF writes ProductVer \"%s\" under HKLM\\%s: Setup.exe and a detection rule read %s",
                   write.value, write.key, word);
    }
}
