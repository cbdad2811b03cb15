#include "checks/package_checks.h"

#include <string.h>

#include "core/step_trace.h"
#include "util/bounded_string.h"
#include "util/program_folder.h"

namespace {

const char kInfPattern[] = "*.inf";
// What Windows reports for a path too long to use; told when a join does not fit.
const uint32_t kPathTooLong = 206;

// Sizes of the image headers the check relies on.
const uint64_t kDosHeaderSize = 64;
const uint64_t kLfanewOffset = 0x3C;
const uint64_t kNtSignatureSize = 4;
const uint64_t kFileHeaderSize = 20;
const uint64_t kOptionalHeaderSizeOffset = 16;  // within the file header

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

// Whether the headers and every section's data lie inside the file, as the
// loader needs them. Only called on headers HeadersInsideFile accepted.
int SectionsInsideFile(const unsigned char* view, uint64_t size)
{
    const uint64_t kSizeOfHeadersOffset = 60;  // within the optional header, PE32 and PE32+ alike
    const uint64_t kSectionHeaderSize = 40;
    uint64_t fileHeader = ReadLittleEndian(view + kLfanewOffset, 4) + kNtSignatureSize;
    uint64_t sections = ReadLittleEndian(view + fileHeader + 2, 2);
    uint64_t optionalSize = ReadLittleEndian(view + fileHeader + kOptionalHeaderSizeOffset, 2);
    uint64_t optional = fileHeader + kFileHeaderSize;
    if (optionalSize < kSizeOfHeadersOffset + 4 ||
        ReadLittleEndian(view + optional + kSizeOfHeadersOffset, 4) > size)
        return 0;
    uint64_t table = optional + optionalSize;
    if (table + sections * kSectionHeaderSize > size)
        return 0;
    for (uint64_t i = 0; i < sections; ++i) {
        const unsigned char* header = view + table + i * kSectionHeaderSize;
        uint64_t rawSize = ReadLittleEndian(header + 16, 4);
        uint64_t rawPointer = ReadLittleEndian(header + 20, 4);
        if (rawSize && rawPointer + rawSize > size)
            return 0;
    }
    return 1;
}

int MachineFitsWindows(uint16_t machine, int wide)
{
    int fits = machine == (wide ? PF_IMAGE_FILE_MACHINE_AMD64 : PF_IMAGE_FILE_MACHINE_I386);
    TraceLine("DPInst check: machine 0x%04X (%s) on %s Windows: %s", (unsigned)machine,
              machine == PF_IMAGE_FILE_MACHINE_AMD64  ? "x64"
              : machine == PF_IMAGE_FILE_MACHINE_I386 ? "x86"
                                                      : "other",
              wide ? "64-bit" : "32-bit", fits ? "fits" : "wrong processor");
    return fits;
}

OutcomeKind CheckMappedImage(const unsigned char* view, uint64_t size, int wide)
{
    uint16_t machine = 0;
    if (!HeadersInsideFile(view, size) || !PfImageNtHeaderMachine(view, &machine)) {
        TraceLine("DPInst check: not a Windows image");
        return OUTCOME_DPINST_NOT_AN_IMAGE;
    }
    return MachineFitsWindows(machine, wide) ? OUTCOME_GO_ON : OUTCOME_WRONG_DPINST_WIDTH;
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

RunOutcome CheckDriverFiles(Target* target, char* packageInfPath)
{
    const char* path = target->Settings.Path;
    char search[PATH_CAPACITY];
    if (!JoinToFolder(PackageFolderOf(target), path, search)) {
        TraceLine("Package check: the program's folder and Path \"%s\" make no usable path", path);
        return EndWith(OUTCOME_FILES_MISSING, kPathTooLong);
    }
    PfPathRemoveFileSpec(search);
    if (!PfPathAppend(search, kInfPattern)) {
        TraceLine("Package check: the INF search path is too long");
        return EndWith(OUTCOME_FILES_MISSING, kPathTooLong);
    }

    char infName[PATH_CAPACITY] = "";
    if (!FindInfName(search, infName)) {
        uint32_t error = PfGetLastError();
        TraceLine("Package check: no INF found as %s (error %u)", search, (unsigned)error);
        return EndWith(OUTCOME_FILES_MISSING, error);
    }
    PfPathRemoveFileSpec(search);
    char folder[PATH_CAPACITY];
    BoundedCopy(folder, PATH_CAPACITY, search);
    // A cut INF path would name another file: a name that does not fit is refused.
    if (!PfPathAppend(search, infName)) {
        TraceLine("Package check: the INF path is too long");
        return EndWith(OUTCOME_FILES_MISSING, kPathTooLong);
    }
    BoundedCopy(target->PackageDriverFolder, PATH_CAPACITY, folder);
    BoundedCopy(packageInfPath, PATH_CAPACITY, search);
    TraceLine("Package check: INF %s", packageInfPath);
    return GoOn();
}

RunOutcome CheckExeAndPlatform(const Target* target, int* complete)
{
    const char* path = target->Settings.Path;
    char dpinst[PATH_CAPACITY];
    if (!JoinToFolder(PackageFolderOf(target), path, dpinst)) {
        TraceLine("DPInst check: the program's folder and Path \"%s\" make no usable path", path);
        return EndWith(OUTCOME_FILES_MISSING, kPathTooLong);
    }
    TraceLine("DPInst check: %s", dpinst);
    PfHandle file = PfOpenFileForRead(dpinst);
    if (!file) {
        uint32_t error = PfGetLastError();
        TraceLine("DPInst check: cannot be opened (error %u)", (unsigned)error);
        return EndWith(OUTCOME_FILES_MISSING, error);
    }

    const unsigned char* view = 0;
    uint64_t size = 0;
    PfHandle mapping = PfMapFileReadOnly(file, &view, &size);
    OutcomeKind accepted = OUTCOME_DPINST_NOT_AN_IMAGE;
    if (mapping && view) {
        accepted = CheckMappedImage(view, size, target->Wide);
        if (complete && accepted == OUTCOME_GO_ON)
            *complete = SectionsInsideFile(view, size);
    } else
        TraceLine("DPInst check: cannot be mapped (error %u)", (unsigned)PfGetLastError());

    if (view)
        PfUnmapView(view);
    if (mapping)
        PfCloseHandle(mapping);
    PfCloseHandle(file);
    return EndWith(accepted);
}
