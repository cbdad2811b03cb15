#include "checker/package_checker.h"

#include <stdlib.h>
#include <string.h>

#include "actions/dpinst_runner.h"
#include "actions/prerequisites.h"
#include "checker/findings.h"
#include "checker/rows.h"
#include "checker/settings_text.h"
#include "checker/targeting.h"
#include "checker/version_record.h"
#include "checks/package_checks.h"
#include "checks/platform_selection.h"
#include "config/settings_file.h"
#include "core/messages.h"
#include "core/result_codes.h"
#include "driver/device_matching.h"
#include "driver/inf_queries.h"
#include "driver/installed_version.h"
#include "driver/version_dll.h"
#include "util/bounded_string.h"
#include "util/program_folder.h"

namespace {

const uint32_t kHighSupportBits = ~0x3Fu;
const uint32_t kBadImage = 193;  // ERROR_BAD_EXE_FORMAT, what starting a damaged image gives

// One row's check: the machine and package Setup.exe would run on, and what
// a "/s" run there ends in.
struct RowCheck {
    ModuleHandle strings;  // the boxes' texts
    Target target;
    // The first refusal of the row that every "/s" run on it meets, and a
    // failed start of DPInst, which only counts when no check refuses first.
    RunOutcome rowOutcome;
    RunOutcome startOutcome;
};

// When a refusal decides what a "/s" run on the row ends in.
enum RefusalKind {
    REFUSED_BY_CHECK,   // every run, in Setup.exe's order of checks
    REFUSED_SOMETIMES,  // a machine without a component, an extraction
    REFUSED_AT_START,   // DPInst's start, after every check
};

// Marks what a user gets where Setup.exe stops: the outcome, its box and the
// exit code in each profile with this row's Support.
void Refuse(RowCheck* check, Finding* finding, const RunOutcome& end, uint32_t support,
            RefusalKind kind = REFUSED_BY_CHECK)
{
    finding->refuses = 1;
    finding->outcome = end.outcome;
    finding->exitCode = ExitCodeFor(&end, PROFILE_CLASSIC, support, 0);
    finding->msiExitCode = ExitCodeFor(&end, PROFILE_MSI, support, 0);
    BoxText box;
    if (DescribeRefusalBox(check->strings, &end, &box)) {
        BoundedCopy(finding->boxCaption, sizeof(finding->boxCaption), box.caption);
        BoundedCopy(finding->boxText, sizeof(finding->boxText), box.text);
    }
    if (kind == REFUSED_BY_CHECK && check->rowOutcome.outcome == OUTCOME_GO_ON)
        check->rowOutcome = end;
    if (kind == REFUSED_AT_START)
        check->startOutcome = end;
}

// A path inside the package as the package engineer writes it.
const char* InPackage(const CheckerOptions* options, const char* path)
{
    size_t length = strlen(options->folder);
    if (strncmp(path, options->folder, length) == 0 && path[length] == '\\')
        return path + length + 1;
    return path;
}

// The machine of the row, with the package at program's folder.
void BuildRowTarget(const CheckerRow* row, const char* program, Target* target)
{
    memset(target, 0, sizeof(*target));
    target->OsVersion.dwOSVersionInfoSize = sizeof(PfOsVersionInfo);
    target->OsVersion.dwPlatformId = PF_VER_PLATFORM_WIN32_NT;
    target->OsVersion.dwMajorVersion = row->major;
    target->OsVersion.dwMinorVersion = row->minor;
    target->Wide = row->bits == 64;
    BoundedCopy(target->ProgramPath, PATH_CAPACITY, program);
    BoundedCopy(target->PackageFolder, PATH_CAPACITY, program);
    PfPathRemoveFileSpec(target->PackageFolder);
    target->PackageKnown = 1;
}

void DescribeSupport(uint32_t support, char* out, size_t capacity)
{
    char names[TEXT_CAPACITY];
    NameSupportBits(support, names, sizeof(names));
    BoundedFormat(out, capacity, "%u (0x%X%s%s)", (unsigned)support, (unsigned)support, names[0] ? ": " : "", names);
}

void ReportSection(int r, const char* section, int present)
{
    const CheckerRow* row = &kCheckerRows[r];
    if (PfMbsICmp(section, row->section) == 0) {
        AddFinding(r, VERDICT_OK, "section", "reads [%s]%s", section, present ? "" : " (absent: defaults)");
        return;
    }
    if (!SettingsSectionPresent(row->section)) {
        AddFinding(r, VERDICT_OK, "section", "no [%s]: falls back to [%s]%s", row->section, section,
                   present ? "" : " (absent too: defaults)");
        return;
    }
    const char* path = SettingsRawValue(row->section, "Path");
    AddFinding(r, VERDICT_WARNING, "section",
               "[%s] is ignored whole and [%s] read instead: Setup.exe takes a Path that is missing or contains "
               "\".\\DPInst.exe\" (here %s%s%s) for no section; give [%s] its own Path",
               row->section, section, path ? "\"" : "", path ? path : "none", path ? "\"" : "", row->section);
}

// Whether DPInst's options hold a switch that keeps it from showing its
// wizard (/q or /sw, any case), as whole words.
int HasQuietSwitch(const char* options)
{
    char word[PATH_CAPACITY];
    for (const char* p = options; *p;) {
        size_t blanks = strspn(p, " \t");
        size_t length = strcspn(p + blanks, " \t");
        BoundedCopyN(word, sizeof(word), p + blanks, length);
        if (PfMbsICmp(word, "/q") == 0 || PfMbsICmp(word, "/sw") == 0)
            return 1;
        p += blanks + length;
    }
    return 0;
}

void ReportOptionText(int r, const char* section, const char* key, const char* value, const char* command)
{
    if (!value[0] || value[0] == ' ' || value[0] == '\t')
        return;
    const char* raw = SettingsRawValue(section, key);
    int dropped = raw && (raw[0] == ' ' || raw[0] == '\t');
    // The first option sticks to DPInst's quoted path, where DPInst does not see it.
    const char* seen = value + strcspn(value, " \t");
    int hangs = strcmp(key, "Silent") == 0 && HasQuietSwitch(value) && !HasQuietSwitch(seen);
    AddFinding(r, hangs ? VERDICT_ERROR : VERDICT_WARNING, "options",
               "%s \"%s\" does not begin with a blank%s: DPInst is started as %s%s; write %s=\" %s\" in quotes", key,
               value, dropped ? " (the settings reader drops the blanks around an unquoted value)" : "", command,
               hangs ? " and sees no /q or /sw, so every silent install shows DPInst's wizard, which nobody answers "
                       "in a deployment (under SYSTEM it waits for ever)"
                     : "",
               key, value);
}

void ReportSettings(RowCheck* check, int r)
{
    const char* section = check->target.Section;
    const SettingsRecord* record = &check->target.Settings;
    char support[PATH_CAPACITY];
    DescribeSupport(record->Support, support, sizeof(support));
    AddFinding(r, VERDICT_OK, "settings", "Path=%s Default=\"%s\" Silent=\"%s\" Support=%s", record->Path,
               record->Default, record->Silent, support);

    char interactive[DPINST_COMMAND_CAPACITY];
    char silent[DPINST_COMMAND_CAPACITY];
    BuildDpinstCommand(&check->target, 0, interactive);
    BuildDpinstCommand(&check->target, 1, silent);
    AddFinding(r, VERDICT_OK, "dpinst-command", "DPInst command, interactive: %s; silent (/s or /q): %s",
               interactive, silent);
    if (record->Path[0] == '.' && record->Path[1] == '\\') {
        // "C:\Pkg.\DPInst.exe": Windows drops the folder's trailing dot, so it works.
        AddFinding(r, VERDICT_WARNING, "path",
                   "Path \"%s\" does not begin with a backslash: DPInst is started as %s, which works only because "
                   "Windows drops the trailing dot of the folder's name; write Path=\\%s",
                   record->Path, interactive, record->Path + 2);
    } else if (record->Path[0] != '\\') {
        Finding* finding = AddFinding(
            r, VERDICT_ERROR, "path",
            "Path \"%s\" does not begin with a backslash: the checks pass, but DPInst's command %s names a "
            "file outside the package, so Setup.exe starts nothing and every install fails; write Path=\\%s",
            record->Path, interactive, record->Path);
        Refuse(check, finding, EndWith(OUTCOME_DPINST_NOT_STARTED, PF_ERROR_FILE_NOT_FOUND), record->Support,
               REFUSED_AT_START);
    }
    ReportOptionText(r, section, "Default", record->Default, interactive);
    ReportOptionText(r, section, "Silent", record->Silent, silent);

    // The reader takes what number it can from the text; say so when that is not what was meant.
    const char* raw = SettingsRawValue(section, "Support");
    if (raw) {
        char trimmed[PATH_CAPACITY];
        BoundedCopy(trimmed, sizeof(trimmed), raw + strspn(raw, " \t"));
        char* end = 0;
        long meant = strtol(trimmed, &end, 0);
        if (end == trimmed)
            AddFinding(r, VERDICT_WARNING, "support", "Support \"%s\" is not a number: Setup.exe reads %u", trimmed,
                       (unsigned)record->Support);
        else if ((uint32_t)meant != record->Support)
            AddFinding(r, VERDICT_WARNING, "support", "Support \"%s\" is read as %u, not %ld: write it in decimal",
                       trimmed, (unsigned)record->Support, meant);
    }
    if (record->Support & kHighSupportBits)
        AddFinding(r, VERDICT_WARNING, "support", "Support sets bits above 0x3F (0x%X), which Setup.exe ignores",
                   (unsigned)(record->Support & kHighSupportBits));
    if (!(record->Support & SUPPORT_EXIT_CODE))
        AddFinding(r, VERDICT_WARNING, "support",
                   "Support lacks 0x08: Setup.exe exits with 0 whatever happens, so deployment tools take every "
                   "failure for success; add 8");
}

// The models sections' hardware IDs, line by line (fields 2 onward).
void ReportModels(int r, const char* inf)
{
    PfHandle handle = PfInfOpen(inf);
    if (!handle)
        return;
    char* names = 0;
    size_t namesCapacity = 0;
    int count = loc_QueryInfManufacturer(handle, &names, &namesCapacity);
    char manufacturer[PATH_CAPACITY] = "";
    PfInfContext context;
    uint32_t required = 0;
    if (PfInfFindFirstLine(handle, "Manufacturer", 0, &context))
        PfInfGetStringField(&context, 0, manufacturer, sizeof(manufacturer), &required);

    char listing[FINDING_TEXT_CAPACITY] = "";
    const char* name = names;
    for (int i = 0; i < count; ++i, name += strlen(name) + 1) {
        if (!PfInfFindFirstLine(handle, name, 0, &context))
            continue;
        int ids = 0;
        char section[FINDING_TEXT_CAPACITY];
        BoundedFormat(section, sizeof(section), "%s[%s]", listing[0] ? "; " : "", name);
        do {
            char id[PATH_CAPACITY];
            for (uint32_t field = 2; PfInfGetStringField(&context, field, id, sizeof(id), &required); ++field) {
                if (!id[0])
                    continue;
                BoundedAppend(section, sizeof(section), ids++ ? ", " : " ");
                BoundedAppend(section, sizeof(section), id);
                AddTargetId(r, id);
            }
        } while (PfInfFindNextLine(&context, &context));
        BoundedAppend(listing, sizeof(listing), section);
        if (!ids)
            AddFinding(r, VERDICT_WARNING, "models",
                       "models section [%s] lists no hardware IDs: each line needs "
                       "\"description = install-section, hardware-id\"",
                       name);
    }
    free(names);
    PfInfClose(handle);
    AddFinding(r, VERDICT_OK, "models", "manufacturer \"%s\"; hardware IDs %s", manufacturer,
               listing[0] ? listing : "(none)");
}

void ReportDriverVersion(int r, const char* inf)
{
    char version[PATH_CAPACITY] = "";
    int major, minor, build, revision;
    if (!loc_QueryInfFilesInf(inf, version, sizeof(version)))
        AddFinding(r, VERDICT_WARNING, "driver-version",
                   "no DriverVer version in [Version] (DriverVer = date, version): Setup.exe has no package "
                   "version to compare or to log");
    else if (strchr(version, '%'))
        AddFinding(r, VERDICT_WARNING, "driver-version",
                   "DriverVer version \"%s\" is a [Strings] token that does not resolve: define it in [Strings]",
                   version);
    else if (!ParseDriverVersion(version, &major, &minor, &build, &revision))
        AddFinding(r, VERDICT_WARNING, "driver-version",
                   "DriverVer version \"%s\" is not four numbers a.b.c.d: Setup.exe cannot compare it with the "
                   "installed driver",
                   version);
    else
        AddFinding(r, VERDICT_OK, "driver-version", "DriverVer version %s", version);
}

// Whether Setup.exe's device match accepts a touch pad with these IDs.
void ReportDevice(RowCheck* check, int r, const CheckerOptions* options, const char* inf, uint32_t support)
{
    Target* target = &check->target;
    memset(target->DeviceHardwareIds, 0, sizeof(target->DeviceHardwareIds));
    // Setup.exe takes a pointing device for the touch pad only when its first ID names the ACPI bus.
    int chosen = PfMbsStr(options->deviceIds[0], ACPI_BUS) != 0;
    for (int i = 0; chosen && i < options->deviceIdCount; ++i)
        BoundedCopy(target->DeviceHardwareIds[i], PATH_CAPACITY, options->deviceIds[i]);
    char ids[FINDING_TEXT_CAPACITY] = "";
    for (int i = 0; i < options->deviceIdCount; ++i) {
        BoundedAppend(ids, sizeof(ids), i ? ", " : "");
        BoundedAppend(ids, sizeof(ids), options->deviceIds[i]);
    }
    RunOutcome match = MatchPackageToDevice(target, inf);
    if (match.outcome == OUTCOME_GO_ON) {
        AddFinding(r, VERDICT_OK, "device", "a touch pad with hardware IDs %s is accepted", ids);
        return;
    }
    Finding* finding = AddFinding(r, VERDICT_ERROR, "device", "a touch pad with hardware IDs %s is refused%s", ids,
                                  chosen ? ": none of its IDs occurs in the models sections"
                                         : ": its first ID lacks \"ACPI\\\", so Setup.exe finds no touch pad");
    Refuse(check, finding, match, support);
}

// The INF and what Setup.exe reads from it.
void ReportInf(RowCheck* check, int r, const CheckerOptions* options, const char* inf, uint32_t support)
{
    Target* target = &check->target;
    AddFinding(r, VERDICT_OK, "inf", "package INF %s", InPackage(options, inf));
    size_t capacity = 0;
    char* models = 0;
    int parsed = loc_QueryHwIDInInf(inf, &models, &capacity);
    int empty = parsed && (!models || !models[0]);
    free(models);
    if (!parsed) {
        Finding* finding = AddFinding(r, VERDICT_ERROR, "inf",
                                      "%s is not an INF Windows' parser opens (it needs a [Version] section with "
                                      "Signature=\"$Windows NT$\"): Setup.exe refuses every machine with a pointing "
                                      "device, without a box",
                                      InPackage(options, inf));
        Refuse(check, finding, EndWith(OUTCOME_INF_UNREADABLE), support);
        return;
    }
    ReportDriverVersion(r, inf);
    ReportModels(r, inf);
    ReportTargeting(r);
    ReportVersionRecord(r, inf);
    if (empty) {
        // Any touch pad's IDs are missing from an empty text: show what one gets.
        memset(target->DeviceHardwareIds, 0, sizeof(target->DeviceHardwareIds));
        BoundedCopy(target->DeviceHardwareIds[0], PATH_CAPACITY, ACPI_BUS);
        RunOutcome match = MatchPackageToDevice(target, inf);
        Finding* finding = AddFinding(r, VERDICT_ERROR, "models",
                                      "the INF's [Manufacturer] models sections name no hardware ID: Setup.exe "
                                      "refuses every machine with a touch pad");
        Refuse(check, finding, match, support);
    }
    if (options->deviceIdCount > 0)
        ReportDevice(check, r, options, inf, support);
}

void ReportDpinst(RowCheck* row, int r, const CheckerOptions* options)
{
    const SettingsRecord* record = &row->target.Settings;
    char dpinst[PATH_CAPACITY];
    JoinToFolder(row->target.PackageFolder, record->Path, dpinst);
    int complete = 0;
    RunOutcome check = CheckExeAndPlatform(&row->target, &complete);
    if (check.outcome == OUTCOME_GO_ON && !complete) {
        Finding* finding = AddFinding(r, VERDICT_ERROR, "dpinst",
                                      "DPInst %s is cut short: its headers pass Setup.exe's check, but its sections "
                                      "reach past the end of the file, so Windows cannot start it",
                                      InPackage(options, dpinst));
        Refuse(row, finding, EndWith(OUTCOME_DPINST_NOT_STARTED, kBadImage), record->Support, REFUSED_AT_START);
        return;
    }
    if (check.outcome == OUTCOME_GO_ON) {
        AddFinding(r, VERDICT_OK, "dpinst", "DPInst %s is built for %d-bit Windows", InPackage(options, dpinst),
                   kCheckerRows[r].bits);
        return;
    }
    const char* why = "is not an executable image (empty, cut short or no program); Setup.exe gives no box";
    if (check.outcome == OUTCOME_WRONG_DPINST_WIDTH)
        why = kCheckerRows[r].bits == 64 ? "is not built for 64-bit Windows (x64)"
                                         : "is not built for 32-bit Windows (x86)";
    else if (check.outcome == OUTCOME_FILES_MISSING)
        why = PfPathFileExists(dpinst) ? "cannot be opened" : "is missing";
    Finding* finding = AddFinding(r, VERDICT_ERROR, "dpinst", "DPInst %s %s", InPackage(options, dpinst), why);
    Refuse(row, finding, check, record->Support);
}

void ReportVersionDll(RowCheck* row, int r, const CheckerOptions* options, const char* inf, uint32_t support)
{
    char dll[PATH_CAPACITY];
    BoundedCopy(dll, sizeof(dll), row->target.PackageDriverFolder);
    int present = PfPathAppend(dll, VERSION_DLL_NAME) && PfPathFileExists(dll);
    RunOutcome check = CheckVersionDll(&row->target, inf);
    if (check.outcome == OUTCOME_GO_ON) {
        AddFinding(r, VERDICT_OK, "version-dll", present ? "%s agrees with the INF" : "no %s beside the INF",
                   InPackage(options, dll));
        return;
    }
    char version[PATH_CAPACITY] = "";
    loc_QueryInfFilesInf(inf, version, sizeof(version));
    Finding* finding = AddFinding(r, VERDICT_ERROR, "version-dll",
                                  "%s: its ProductVersion is not the INF's DriverVer version \"%s\" with \", \" "
                                  "between the numbers; Setup.exe stops before installing",
                                  InPackage(options, dll), version);
    Refuse(row, finding, check, support);
}

void ReportPrerequisites(RowCheck* check, int r, const CheckerOptions* options, uint32_t support)
{
    if (!(support & SUPPORT_PREREQUISITES))
        return;
    char paths[PREREQUISITE_INSTALLERS][PATH_CAPACITY];
    int count = ListPrerequisiteInstallers(&check->target, paths);
    if (count == 0)
        AddFinding(r, VERDICT_OK, "prerequisites", "prerequisites (0x10) are skipped on this Windows");
    for (int i = 0; i < count; ++i) {
        if (PfPathFileExists(paths[i])) {
            AddFinding(r, VERDICT_OK, "prerequisites", "prerequisite installer %s", InPackage(options, paths[i]));
            continue;
        }
        Finding* finding = AddFinding(r, VERDICT_ERROR, "prerequisites",
                                      "prerequisite installer %s is missing: on a machine that lacks its component "
                                      "Setup.exe ends with 3 and installs no driver",
                                      InPackage(options, paths[i]));
        Refuse(check, finding, EndWith(OUTCOME_PREREQUISITE_MISSING), support, REFUSED_SOMETIMES);
    }
}

void ReportExtraction(RowCheck* check, int r, const CheckerOptions* options, uint32_t support)
{
    if (!(support & (SUPPORT_EXTRACT_ALL | SUPPORT_PUBLIC_PROPERTIES)))
        return;
    static const char* const kFolders[] = {"Vi32", "Vi64"};
    int present = 0;
    for (int i = 0; i < 2; ++i) {
        char folder[PATH_CAPACITY];
        BoundedCopy(folder, sizeof(folder), options->folder);
        if (PfPathAppend(folder, kFolders[i]) && PfPathFileExists(folder)) {
            ++present;
            continue;
        }
        if (i == 0) {
            Finding* finding = AddFinding(r, VERDICT_ERROR, "extraction",
                                          "no Vi32 folder: extracting the drivers (/extract_all:, EXTRACTDRIVERS=) "
                                          "copies from Vi32 first and ends with 3");
            Refuse(check, finding, EndWith(OUTCOME_EXTRACTION_FAILED), support, REFUSED_SOMETIMES);
        } else {
            AddFinding(r, VERDICT_WARNING, "extraction",
                       "no Vi64 folder: extracting the drivers succeeds but copies no 64-bit driver");
        }
    }
    if (present == 2)
        AddFinding(r, VERDICT_OK, "extraction", "Vi32 and Vi64 folders for extracting the drivers");
}

// What a "/s" run on the row ends in, in both profiles.
void ReportOutcome(const RowCheck* check, int r, uint32_t support)
{
    const RunOutcome& end = check->rowOutcome.outcome != OUTCOME_GO_ON ? check->rowOutcome : check->startOutcome;
    if (end.outcome != OUTCOME_GO_ON) {
        AddFinding(r, VERDICT_ERROR, "outcome", "Setup.exe /s: %s, exit code %d (with /vEXITCODES=msi: %d)",
                   OutcomeName(end.outcome), ExitCodeFor(&end, PROFILE_CLASSIC, support, 0),
                   ExitCodeFor(&end, PROFILE_MSI, support, 0));
        return;
    }
    // DPInst's code decides: shown for one package installed and for a restart needed.
    RunOutcome installed = {OUTCOME_INSTALLED, 0, 1, 0};
    RunOutcome restart = {OUTCOME_RESTART_NEEDED, 0, DPINST_RESTART_ONE_PACKAGE, 0};
    AddFinding(r, VERDICT_OK, "outcome",
               "Setup.exe /s: DPInst runs; one package installed gives exit code %d (msi %d), a restart needed "
               "%d (msi %d)",
               ExitCodeFor(&installed, PROFILE_CLASSIC, support, 0),
               ExitCodeFor(&installed, PROFILE_MSI, support, 0), ExitCodeFor(&restart, PROFILE_CLASSIC, support, 0),
               ExitCodeFor(&restart, PROFILE_MSI, support, 0));
}

// One row: the settings Setup.exe loads there, then its checks in its order.
// Returns 1 when the package targets the row.
int CheckRow(int r, ModuleHandle instance, const char* program, const CheckerOptions* options)
{
    RowCheck row;
    row.strings = instance;
    BuildRowTarget(&kCheckerRows[r], program, &row.target);
    row.rowOutcome = GoOn();
    row.startOutcome = GoOn();
    RowCheck* check = &row;
    const SettingsRecord& record = row.target.Settings;
    SelectPlatform(&row.target);
    const char* section = row.target.Section;
    int present = SettingsSectionPresent(section);

    char inf[PATH_CAPACITY] = "";
    RunOutcome infCheck = CheckDriverFiles(&row.target, inf);
    int infFound = infCheck.outcome == OUTCOME_GO_ON;
    if (!infFound && !present && !SettingsSectionPresent(kCheckerRows[r].section)) {
        // A section meant for this row under a misspelt name leaves the row as bare as none.
        const char* typo = SettingsSectionTypo(kCheckerRows[r].section);
        Finding* finding =
            typo ? AddFinding(r, VERDICT_ERROR, "section",
                              "no [%s] section, only [%s], which looks like a misspelling of it: Setup.exe refuses "
                              "this Windows",
                              kCheckerRows[r].section, typo)
                 : AddFinding(r, VERDICT_OK, "section",
                              "not targeted: no [%s] section, and no INF beside the default DPInst",
                              kCheckerRows[r].section);
        Refuse(check, finding, infCheck, record.Support);
        if (!typo)
            return 0;
        ReportOutcome(check, r, record.Support);
        return 1;
    }
    ReportSection(r, section, present);
    ReportSettings(check, r);
    if (infFound) {
        ReportInf(check, r, options, inf, record.Support);
    } else {
        char folder[PATH_CAPACITY];
        BoundedCopy(folder, sizeof(folder), options->folder);
        PfPathAppend(folder, record.Path);
        PfPathRemoveFileSpec(folder);
        Finding* finding =
            AddFinding(r, VERDICT_ERROR, "inf", "no *.inf in %s, the folder of DPInst", InPackage(options, folder));
        Refuse(check, finding, infCheck, record.Support);
    }
    ReportDpinst(check, r, options);
    if (infFound)
        ReportVersionDll(check, r, options, inf, record.Support);
    ReportPrerequisites(check, r, options, record.Support);
    ReportExtraction(check, r, options, record.Support);
    ReportOutcome(check, r, record.Support);
    return 1;
}

}  // namespace

int CheckPackage(ModuleHandle instance, const CheckerOptions* options)
{
    ClearFindings();
    ClearTargeting();
    char program[PATH_CAPACITY];
    BoundedCopy(program, sizeof(program), options->folder);
    if (!PfPathFileExists(options->folder) || !PfPathAppend(program, "Setup.exe")) {
        AddFinding(PACKAGE_GROUP, VERDICT_ERROR, "folder", "%s is not a folder that can hold a package",
                   options->folder);
        return FindingsExitCode();
    }
    Target package;
    BuildRowTarget(&kCheckerRows[0], program, &package);
    char settings[PATH_CAPACITY];
    GetSettingsFilePath(&package, settings, sizeof(settings));
    ReadSettingsText(settings);

    int targeted = 0;
    for (int r = 0; r < CHECKER_ROWS; ++r)
        targeted += CheckRow(r, instance, program, options);
    if (!targeted)
        AddFinding(PACKAGE_GROUP, VERDICT_ERROR, "package",
                   "no row finds a DPInst folder with an INF: %s is not a driver package Setup.exe can install",
                   options->folder);
    LintSettingsText();
    return FindingsExitCode();
}
