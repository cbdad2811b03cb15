#include "driver/detection_record.h"

#include "core/setup_state.h"
#include "core/step_trace.h"
#include "driver/inf_queries.h"
#include "driver/installed_version.h"
#include "util/bounded_string.h"

const char DETECTION_SUBKEY[] = "Setup";

namespace {

const uint32_t kVersionTextSize = 260;

int DpinstRan(OutcomeKind outcome)
{
    return outcome == OUTCOME_INSTALLED || outcome == OUTCOME_STAGED_ONLY || outcome == OUTCOME_RESTART_NEEDED ||
           outcome == OUTCOME_PACKAGE_FAILED;
}

const char* ViewName(uint32_t view) { return view ? "native view" : "default view"; }

void RemovalText(int32_t status, char* text, size_t capacity)
{
    if (status == 0)
        BoundedCopy(text, capacity, "removed");
    else if (status == (int32_t)PF_ERROR_FILE_NOT_FOUND)
        BoundedCopy(text, capacity, "absent");
    else
        BoundedFormat(text, capacity, "not removed (error %d)", (int)status);
}

// Deletes the record and, with the version value, what the product's INF
// wrote for detection.
void RemoveRecord(const char* productKey, uint32_t view, int withVersionValue)
{
    PfHandle key = 0;
    int32_t opened = PfRegOpenKey(PF_HKEY_LOCAL_MACHINE, productKey, PF_KEY_WRITE | view, &key);
    if (opened == (int32_t)PF_ERROR_FILE_NOT_FOUND) {
        TraceLine("Detection record: HKLM\\%s is absent, nothing to remove (%s)", productKey, ViewName(view));
        return;
    }
    if (opened != 0) {
        TraceLine("Detection record: HKLM\\%s cannot be opened (error %d, %s): nothing removed", productKey,
                  (int)opened, ViewName(view));
        return;
    }
    // RegDeleteKeyA removes from the caller's own view on 64-bit Windows;
    // where RegDeleteKeyExA is missing (32-bit XP) there is only one view.
    ModuleHandle advapi = PfGetModuleHandle("advapi32.dll");
    PfProc deleteKeyEx = advapi ? PfGetProcAddress(advapi, "RegDeleteKeyExA") : 0;
    int32_t subkey = deleteKeyEx ? PfCallRegDeleteKeyExA(deleteKeyEx, key, DETECTION_SUBKEY, view)
                                 : PfRegDeleteKey(key, DETECTION_SUBKEY);
    char subkeyText[40];
    char valueText[40] = "kept";
    RemovalText(subkey, subkeyText, sizeof(subkeyText));
    if (withVersionValue)
        RemovalText(PfRegDeleteValue(key, PRODUCT_VERSION_VALUE), valueText, sizeof(valueText));
    PfRegCloseKey(key);
    TraceLine("Detection record: HKLM\\%s\\%s %s, %s %s (%s)", productKey, DETECTION_SUBKEY, subkeyText,
              PRODUCT_VERSION_VALUE, valueText, ViewName(view));
}

void WriteRecord(const char* productKey, uint32_t view, const char* packageInfPath, const char* section)
{
    char driverVer[kVersionTextSize] = "";
    int major, minor, build, revision;
    if (!loc_QueryInfFilesInf(packageInfPath, driverVer, (uint16_t)sizeof(driverVer)) ||
        !ParseDriverVersion(driverVer, &major, &minor, &build, &revision)) {
        // An earlier record would name a driver that is no longer the one installed.
        TraceLine("Detection record: the INF's DriverVer \"%s\" is not four numbers, so none is written", driverVer);
        RemoveRecord(productKey, view, 0);
        return;
    }
    char version[64];
    BoundedFormat(version, sizeof(version), "%d.%d.%d.%d", major, minor, build, revision);
    PfSystemTime now;
    PfGetLocalTime(&now);
    char time[32];
    BoundedFormat(time, sizeof(time), "%04u-%02u-%02u %02u:%02u:%02u", (unsigned)now.wYear, (unsigned)now.wMonth,
                  (unsigned)now.wDay, (unsigned)now.wHour, (unsigned)now.wMinute, (unsigned)now.wSecond);
    char path[PATH_CAPACITY];
    BoundedFormat(path, sizeof(path), "%s\\%s", productKey, DETECTION_SUBKEY);
    PfHandle key = 0;
    int32_t status = PfRegCreateKey(PF_HKEY_LOCAL_MACHINE, path, PF_KEY_WRITE | view, &key);
    if (status == 0) {
        const char* names[] = {"DriverVersion", "Platform", "InstallTime"};
        const char* values[] = {version, section, time};
        for (int i = 0; i < 3 && status == 0; ++i)
            status = PfRegSetString(key, names[i], values[i]);
        PfRegCloseKey(key);
    }
    if (status != 0) {
        TraceLine("Detection record: HKLM\\%s not written (error %d)", path, (int)status);
        return;
    }
    TraceLine("Detection record: HKLM\\%s written (%s): DriverVersion \"%s\", Platform \"%s\", InstallTime \"%s\"",
              path, ViewName(view), version, section, time);
}

}  // namespace

void UpdateDetectionRecord(const RunOutcome* end, int uninstall, const char* packageInfPath, const Target* target)
{
    if (!DpinstRan(end->outcome)) {
        TraceLine("Detection record: unchanged, DPInst did not run");
        return;
    }
    if (!CountsAsSuccess(end)) {
        TraceLine("Detection record: unchanged, the %s did not succeed (%s)", uninstall ? "uninstall" : "install",
                  OutcomeName(end->outcome));
        return;
    }
    const char* productKey = ProductKeyFor(packageInfPath);
    // The record lies where the installed-version query, and the tools'
    // rules, look.
    uint32_t view = ProductKeyView(&target->OsVersion);
    if (uninstall)
        RemoveRecord(productKey, view, 1);
    else
        WriteRecord(productKey, view, packageInfPath, target->Section);
}
