#include "checks/package_checks.h"

#include <string.h>

#include "checks/platform_selection.h"
#include "core/messages.h"
#include "core/step_trace.h"
#include "util/bounded_string.h"
#include "util/program_folder.h"

namespace {

const char kInfPattern[] = "*.inf";
// What Windows reports for a path too long to use; shown when a join does not fit.
const uint32_t kPathTooLong = 206;

// Sizes of the image headers the check relies on.
const uint64_t kDosHeaderSize = 64;
const uint64_t kLfanewOffset = 0x3C;
const uint64_t kNtSignatureSize = 4;
const uint64_t kFileHeaderSize = 20;
const uint64_t kOptionalHeaderSizeOffset = 16;  // within the file header

// The program's folder with path appended. A join that does not fit leaves
// the shell's buffer empty, which would then name the current folder: refuse it.
int JoinToProgramFolder(ModuleHandle instance, const char* path, char* joined)
{
    if (!GetProgramFolder(instance, joined)) {
        joined[0] = 0;
        return 0;
    }
    return PfPathAppend(joined, path);
}

uint32_t ReadLittleEndian(const unsigned char* bytes, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

// Whether the DOS header, the NT signature, the file header and the optional
// header it declares all lie inside the file. Only then may the image's
// headers be located: a hostile e_lfanew must not send a read past the view.
int HeadersInsideFile(const unsigned char* view, uint64_t size)
{
    if (size < kDosHeaderSize)
        return 0;
    uint64_t ntHeaders = ReadLittleEndian(view + kLfanewOffset, 4);
    uint64_t fileHeader = ntHeaders + kNtSignatureSize;
    if (fileHeader + kFileHeaderSize > size)
        return 0;
    uint64_t optionalSize = ReadLittleEndian(view + fileHeader + kOptionalHeaderSizeOffset, 2);
    return fileHeader + kFileHeaderSize + optionalSize <= size;
}

int MachineFitsWindows(uint16_t machine)
{
    int wide = Is64BitWindows();
    int fits = machine == (wide ? PF_IMAGE_FILE_MACHINE_AMD64 : PF_IMAGE_FILE_MACHINE_I386);
    TraceLine("DPInst check: machine 0x%04X (%s) on %s Windows: %s", (unsigned)machine,
              machine == PF_IMAGE_FILE_MACHINE_AMD64  ? "x64"
              : machine == PF_IMAGE_FILE_MACHINE_I386 ? "x86"
                                                      : "other",
              wide ? "64-bit" : "32-bit", fits ? "fits" : "wrong processor");
    return fits;
}

// 1 = the image fits; 0 = wrong processor (message shown) or not an image.
int CheckMappedImage(ModuleHandle instance, const unsigned char* view, uint64_t size)
{
    uint16_t machine = 0;
    if (!HeadersInsideFile(view, size) || !PfImageNtHeaderMachine(view, &machine)) {
        TraceLine("DPInst check: not a Windows image");
        return 0;
    }
    if (MachineFitsWindows(machine))
        return 1;
    ShowInfoMessage(instance, IDS_UNSUPPORTED_OS, IDS_CAPTION, 0);
    return 0;
}

int HasInfExtension(const char* name)
{
    const char* extension = strrchr(name, '.');  // '.' is never the second byte of a character
    return extension && PfMbsICmp(extension, ".inf") == 0;
}

// The first name the search gives whose long extension is ".inf". "*.inf"
// also matches 8.3 short names: "Driver.inf_old" (DRIVER~1.INF) is no INF.
// 0 with the last error set, ERROR_FILE_NOT_FOUND when only such names match.
int FindInfName(const char* pattern, char* name)
{
    PfHandle search = PfFindFirstFile(pattern, name, PATH_CAPACITY);
    if (!search)
        return 0;
    int found = 1;
    while (found && !HasInfExtension(name))
        found = PfFindNextFile(search, name, PATH_CAPACITY);
    uint32_t error = PfGetLastError();
    PfFindClose(search);
    if (!found) {
        name[0] = 0;
        PfSetLastError(error == PF_ERROR_NO_MORE_FILES ? PF_ERROR_FILE_NOT_FOUND : error);
    }
    return found;
}

}  // namespace

int CheckDriverFiles(ModuleHandle instance, const char* path, char* packageInfPath)
{
    char search[PATH_CAPACITY];
    if (!JoinToProgramFolder(instance, path, search)) {
        TraceLine("Package check: the program's folder and Path \"%s\" make no usable path", path);
        ShowInfoMessage(instance, IDS_FILES_MISSING, IDS_CAPTION, kPathTooLong);
        return 0;
    }
    PfPathRemoveFileSpec(search);
    if (!PfPathAppend(search, kInfPattern)) {
        TraceLine("Package check: the INF search path is too long");
        ShowInfoMessage(instance, IDS_FILES_MISSING, IDS_CAPTION, kPathTooLong);
        return 0;
    }

    char infName[PATH_CAPACITY] = "";
    if (!FindInfName(search, infName)) {
        TraceLine("Package check: no INF found as %s (error %u)", search, (unsigned)PfGetLastError());
        ShowInfoMessage(instance, IDS_FILES_MISSING, IDS_CAPTION, PfGetLastError());
        return 0;
    }
    PfPathRemoveFileSpec(search);
    char folder[PATH_CAPACITY];
    BoundedCopy(folder, PATH_CAPACITY, search);
    // A cut INF path would name another file: a name that does not fit is refused.
    if (!PfPathAppend(search, infName)) {
        TraceLine("Package check: the INF path is too long");
        ShowInfoMessage(instance, IDS_FILES_MISSING, IDS_CAPTION, kPathTooLong);
        return 0;
    }
    BoundedCopy(g_State.PackageDriverFolder, PATH_CAPACITY, folder);
    BoundedCopy(packageInfPath, PATH_CAPACITY, search);
    TraceLine("Package check: INF %s", packageInfPath);
    return 1;
}

int CheckExeAndPlatform(ModuleHandle instance, const char* path)
{
    char dpinst[PATH_CAPACITY];
    if (!JoinToProgramFolder(instance, path, dpinst)) {
        TraceLine("DPInst check: the program's folder and Path \"%s\" make no usable path", path);
        ShowInfoMessage(instance, IDS_FILES_MISSING, IDS_CAPTION, kPathTooLong);
        return 0;
    }
    TraceLine("DPInst check: %s", dpinst);
    PfHandle file = PfOpenFileForRead(dpinst);
    if (!file) {
        TraceLine("DPInst check: cannot be opened (error %u)", (unsigned)PfGetLastError());
        ShowInfoMessage(instance, IDS_FILES_MISSING, IDS_CAPTION, PfGetLastError());
        return 0;
    }

    const unsigned char* view = 0;
    uint64_t size = 0;
    PfHandle mapping = PfMapFileReadOnly(file, &view, &size);
    int accepted = 0;
    if (mapping && view)
        accepted = CheckMappedImage(instance, view, size);
    else
        TraceLine("DPInst check: cannot be mapped (error %u)", (unsigned)PfGetLastError());

    if (view)
        PfUnmapView(view);
    if (mapping)
        PfCloseHandle(mapping);
    PfCloseHandle(file);
    return accepted;
}
