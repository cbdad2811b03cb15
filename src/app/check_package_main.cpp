// CheckPackage.exe: judges a driver package as Setup.exe would on every
// Windows row, before it ships. Everything but the command line lives in src/checker.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "checker/package_checker.h"
#include "checker/report.h"
#include "core/target.h"
#include "util/bounded_string.h"

namespace {

const int kUsageError = 2;

const char kUsage[] = "usage: CheckPackage.exe [FOLDER] [--device HARDWARE_ID]... [--json]\n"
                      "Checks the driver package in FOLDER (default: this program's folder) as Setup.exe\n"
                      "would on every Windows version and width. --device gives the hardware IDs of one\n"
                      "touch pad, first ID first, to see whether the package accepts it. Exit code: 0 clean,\n"
                      "1 warnings only, 2 errors.\n";

// The package folder as a full path without a trailing backslash, as Setup.exe sees its own folder.
int SetFolder(const char* given, char* folder)
{
    char full[PATH_CAPACITY];
    DWORD length = GetFullPathNameA(given, PATH_CAPACITY, full, 0);
    if (length == 0 || length >= PATH_CAPACITY)
        return 0;
    size_t end = strlen(full);
    while (end > 3 && full[end - 1] == '\\')
        full[--end] = 0;
    return BoundedCopy(folder, PATH_CAPACITY, full) == BOUNDED_OK;
}

}  // namespace

int main(int argc, char** argv)
{
    static CheckerOptions options;
    const char* folder = 0;
    int json = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--json") == 0) {
            json = 1;
        } else if (strcmp(argv[i], "--device") == 0 && i + 1 < argc) {
            if (options.deviceIdCount == DEVICE_ID_SLOTS) {
                fprintf(stderr, "at most %d --device IDs\n", DEVICE_ID_SLOTS);
                return kUsageError;
            }
            BoundedCopy(options.deviceIds[options.deviceIdCount++], PATH_CAPACITY, argv[++i]);
        } else if (argv[i][0] == '-' || (argv[i][0] == '/' && strlen(argv[i]) == 2) || folder) {
            fputs(kUsage, argv[i][1] == 'h' || argv[i][1] == '?' ? stdout : stderr);
            return argv[i][1] == 'h' || argv[i][1] == '?' ? 0 : kUsageError;
        } else {
            folder = argv[i];
        }
    }
    // Without a folder named, the checker's own folder is the package's.
    Target own;
    if (!folder && ReadProgramPackage(&own, 0))
        folder = own.PackageFolder;
    if (!folder || !SetFolder(folder, options.folder)) {
        fprintf(stderr, "ERROR   the package folder cannot be named (a path of at most %d characters)\n",
                PATH_CAPACITY - 1);
        return kUsageError;
    }
    int exitCode = CheckPackage(GetModuleHandleA(0), &options);
    if (json)
        PrintJson(stdout, &options, exitCode);
    else
        PrintReport(stdout, &options, exitCode);
    return exitCode;
}
