#include "core/trace_file.h"

#include "core/held_folders.h"
#include "core/step_trace.h"
#include "util/bounded_string.h"

namespace {

const int kNameAttempts = 100;

}  // namespace

uint32_t TempFolder(char* folder)
{
    ModuleHandle kernel = PfGetModuleHandle("kernel32.dll");
    PfProc tempPath2 = kernel ? PfGetProcAddress(kernel, "GetTempPath2A") : 0;
    if (tempPath2)
        return PfCallGetTempPath2A(tempPath2, folder, (uint32_t)PATH_CAPACITY);
    return PfGetTempPath(folder, (uint32_t)PATH_CAPACITY);
}

void TraceProgramName(ModuleHandle instance, char* program)
{
    if (PfGetModuleFileName(instance, program, (uint32_t)PATH_CAPACITY) == 0)
        BoundedCopy(program, PATH_CAPACITY, "Setup");
    PfPathStripPath(program);
    PfPathRemoveExtension(program);
}

int OpenStepTrace(ModuleHandle instance, const PfSystemTime* startTime)
{
    uint32_t lastError = PfGetLastError();
    char folder[PATH_CAPACITY];
    char program[PATH_CAPACITY];
    char name[PATH_CAPACITY];
    char path[PATH_CAPACITY] = "";
    PfHandle file = 0;
    // Holding the folder traces its refusals: into no earlier run's trace.
    StartStepTrace(0, "");
    HeldPath held;
    uint32_t length = TempFolder(folder);
    if (length == 0 || length >= (uint32_t)PATH_CAPACITY || !HoldFolderPath(folder, HOLD_EXISTING, &held)) {
        PfSetLastError(lastError);
        return 0;
    }
    TraceProgramName(instance, program);
    // Any user may make entries in the temporary folder, and may read the
    // program, start time and process id from the process list: the random
    // part keeps them from preparing the name, and a name that exists in any
    // form, a link included, is never opened.
    for (int attempt = 1; attempt <= kNameAttempts && !file; ++attempt) {
        uint32_t random = 0;
        if (!PfGenRandom(&random, sizeof(random)))
            random = (uint32_t)attempt * 0x9E3779B9u;
        BoundedFormat(name, PATH_CAPACITY, "%s_%04u%02u%02u_%02u%02u%02u_%u_%08x.log", program,
                      (unsigned)startTime->wYear, (unsigned)startTime->wMonth, (unsigned)startTime->wDay,
                      (unsigned)startTime->wHour, (unsigned)startTime->wMinute, (unsigned)startTime->wSecond,
                      (unsigned)PfGetCurrentProcessId(), (unsigned)random);
        BoundedCopy(path, PATH_CAPACITY, folder);
        if (!PfPathAppend(path, name))
            break;
        file = PfNtCreateFile(
            HeldFolder(&held), name, PF_GENERIC_WRITE | PF_SYNCHRONIZE, PF_FILE_SHARE_READ, PF_FILE_CREATE,
            PF_FILE_NON_DIRECTORY_FILE | PF_FILE_SYNCHRONOUS_IO_NONALERT | PF_FILE_OPEN_REPARSE_POINT, 0);
        if (!file && PfGetLastError() != PF_ERROR_FILE_EXISTS)
            break;
    }
    ReleaseFolderPath(&held);
    StartStepTrace(file, path);
    PfSetLastError(lastError);
    return file != 0;
}
