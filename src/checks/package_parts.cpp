#include "checks/package_parts.h"

#include <string.h>

#include "checks/package_copy.h"
#include "core/step_trace.h"
#include "log/safe_files.h"
#include "util/bounded_string.h"
#include "util/multibyte.h"

namespace {

const int kMaxParts = 8;

struct PartsState {
    int copying;  // the run reads and starts from the copy
    char folder[PATH_CAPACITY];
    char programName[PATH_CAPACITY];
    char settingsName[PATH_CAPACITY];
} g_Parts;

RunOutcome CopyFailed()
{
    uint32_t error = PfGetLastError();
    TraceLine("Package: no protected copy could be made (error %u); nothing of it is used", (unsigned)error);
    ReleasePackage();
    return EndWith(OUTCOME_FILES_MISSING, error ? error : PF_ERROR_ACCESS_DENIED);
}

// Starts the copy with the settings file; every later read and start names the copy.
int StartCopy(Target* target)
{
    if (PackageCopyFolder())
        return 1;
    SkipInPackageCopy(g_Parts.programName);
    if (CopyPackagePart(g_Parts.settingsName) == 0)
        return 0;
    UsePackageAt(target, PackageCopyFolder());
    return 1;
}

// Why the run uses a copy, from what judging found; 0 when nothing calls for one.
int TraceWhyCopied(int judged, const PackageJudgement* judgement)
{
    if (!judged)
        TraceLine("Package: %s cannot be judged, so the run uses a copy",
                  judgement->first[0] ? judgement->first : g_Parts.folder);
    else if (judgement->changeable)
        TraceLine("Package: users other than Administrators, SYSTEM and TrustedInstaller may change %s, so the "
                  "run uses a copy",
                  judgement->first);
    else if (judgement->links)
        TraceLine("Package: %s is a link, which nothing of the run may follow, so it uses a copy without it",
                  judgement->first);
    return !judged || judgement->changeable || judgement->links;
}

// The folder of Path, relative to the package's folder, into folder, its
// "." names left out ("" for the package's folder itself). A Path that names
// no plain folder of the package (".." or a drive in it) gets the whole
// package: the checks then judge it as they would in place.
void PathFolder(const char* path, char* folder)
{
    char given[PATH_CAPACITY];
    folder[0] = 0;
    if (BoundedCopy(given, sizeof(given), path) != BOUNDED_OK)
        return;
    PfPathRemoveFileSpec(given);
    const char* name = given;
    for (const char* p = given;; p += CharLength(p)) {
        if (*p == ':' || *p == '/') {
            folder[0] = 0;
            return;
        }
        if (*p != '\\' && *p != 0)
            continue;
        size_t length = (size_t)(p - name);
        // Windows drops a name's trailing dots and blanks, which a name opened
        // in its folder keeps.
        int dot = length == 1 && name[0] == '.';
        if (!dot && length > 0 && (name[length - 1] == '.' || name[length - 1] == ' ')) {
            folder[0] = 0;
            return;
        }
        if (length > 0 && !dot)
            BoundedFormat(folder + strlen(folder), PATH_CAPACITY - strlen(folder), "%s%.*s", folder[0] ? "\\" : "",
                          (int)length, name);
        if (*p == 0)
            return;
        name = p + 1;
    }
}

// 1 when part is inner itself or lies in it.
int LiesIn(const char* part, const char* inner)
{
    size_t length = strlen(inner);
    return length == 0 || (PfMbsNICmp(part, inner, length) == 0 && (part[length] == 0 || part[length] == '\\'));
}

}  // namespace

RunOutcome ProtectSettingsFile(Target* target)
{
    memset(&g_Parts, 0, sizeof(g_Parts));
    if (!target->PackageKnown)
        return GoOn();  // the checks after this one tell
    const char* program = target->ProgramPath;
    BoundedCopy(g_Parts.folder, PATH_CAPACITY, target->PackageFolder);
    BoundedCopy(g_Parts.programName, PATH_CAPACITY, FileNameOf(program));
    BoundedCopy(g_Parts.settingsName, PATH_CAPACITY, g_Parts.programName);
    PfPathRemoveExtension(g_Parts.settingsName);
    PfPathAddExtension(g_Parts.settingsName, ".ini");

    int opened = OpenPackageFolder(g_Parts.folder);
    if (!opened) {
        uint32_t error = PfGetLastError();
        TraceLine("Package: %s can be neither held nor opened (error %u); nothing of it is used", g_Parts.folder,
                  (unsigned)error);
        ReleasePackage();
        return EndWith(OUTCOME_FILES_MISSING, error ? error : PF_ERROR_ACCESS_DENIED);
    }
    if (opened == 2) {
        // Never used in place: what the run uses is read through that handle.
        TraceLine("Package: %s cannot be held, so the run uses a copy read through a handle opened by name",
                  g_Parts.folder);
        g_Parts.copying = 1;
    } else {
        PackageJudgement judgement = {0, 0, ""};
        int judged = JudgePackagePart(g_Parts.settingsName, 0, &judgement) != 0;
        g_Parts.copying = TraceWhyCopied(judged, &judgement);
    }
    if (g_Parts.copying && !StartCopy(target))
        return CopyFailed();
    return GoOn();
}

RunOutcome ProtectPackageParts(Target* target, const char* const* parts, int count)
{
    const SettingsRecord* settings = &target->Settings;
    if (!g_Parts.folder[0])
        return GoOn();
    // The parts, none lying in another.
    char listed[kMaxParts][PATH_CAPACITY];
    int listedCount = 0;
    PathFolder(settings->Path, listed[listedCount++]);
    for (int i = 0; i < count && listedCount < kMaxParts; ++i)
        BoundedCopy(listed[listedCount++], PATH_CAPACITY, parts[i]);
    char named[TEXT_CAPACITY] = "";
    int kept = 0;
    for (int i = 0; i < listedCount; ++i) {
        int inAnother = 0;
        for (int j = 0; j < listedCount && !inAnother; ++j)
            inAnother = j != i && LiesIn(listed[i], listed[j]) && (!LiesIn(listed[j], listed[i]) || j < i);
        if (inAnother)
            continue;
        BoundedCopy(listed[kept++], PATH_CAPACITY, listed[i]);
        BoundedFormat(named + strlen(named), TEXT_CAPACITY - strlen(named), "%s%s", named[0] ? ", " : "",
                      listed[kept - 1][0] ? listed[kept - 1] : "the whole folder");
    }

    if (!g_Parts.copying) {
        PackageJudgement judgement = {0, 0, ""};
        int judged = 1;
        for (int i = 0; i < kept && judged; ++i)
            judged = JudgePackagePart(listed[i], 1, &judgement) != 0;
        g_Parts.copying = TraceWhyCopied(judged, &judgement);
        if (!g_Parts.copying) {
            TraceLine("Package: only Administrators, SYSTEM and TrustedInstaller may change %s and what this run "
                      "uses of it (%s); used in place",
                      g_Parts.folder, named[0] ? named : "nothing");
            return GoOn();
        }
    }
    if (!StartCopy(target))
        return CopyFailed();
    for (int i = 0; i < kept; ++i)
        if (CopyPackagePart(listed[i]) == 0)
            return CopyFailed();
    TraceLine("Package: copied to %s (%s and %s), which only Administrators and SYSTEM may change; read and started "
              "from there",
              PackageCopyFolder(), g_Parts.settingsName, named[0] ? named : "nothing else");
    return GoOn();
}
