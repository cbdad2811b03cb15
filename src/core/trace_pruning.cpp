// Keeping the temporary folder's traces bounded: every run adds one, and an
// elevated run writes where SYSTEM's runs gather.
#include <string.h>

#include "core/held_folders.h"
#include "core/step_trace.h"
#include "core/trace_file.h"
#include "util/bounded_string.h"
#include "util/platform.h"

namespace {

const int kOthersKept = STEP_TRACES_KEPT - 1;

struct Pruning {
    const char* folder;  // with its trailing backslash
    PfHandle held;
    char program[PATH_CAPACITY];
    const char* own;  // this run's trace name
    // Where GetFinalPathNameByHandleA exists: the held folder's final path.
    // A handle whose final path is not it plus the name reached the file
    // through a link, which some file systems (Wine's) show nowhere else.
    PfProc finalPath;
    char folderFinal[PATH_CAPACITY];
    // The newest others so far, oldest first: each the name after "<program>_".
    int kept;
    char newest[kOthersKept][PATH_CAPACITY];
};

int Digits(const char* text, int count)
{
    for (int i = 0; i < count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return 0;
    return 1;
}

// The part after "<program>_" of a name OpenStepTrace makes,
// "YYYYMMDD_HHMMSS_<pid>_<8 hex>.log"; 0 for any other name. Its text
// order is the traces' order in time.
const char* TraceStamp(const Pruning* pruning, const char* name)
{
    size_t length = strlen(pruning->program);
    if (PfMbsNICmp(name, pruning->program, length) != 0 || name[length] != '_')
        return 0;
    const char* stamp = name + length + 1;
    const char* p = stamp;
    if (!Digits(p, 8) || p[8] != '_' || !Digits(p + 9, 6) || p[15] != '_')
        return 0;
    p += 16;
    int pidDigits = 0;
    while (p[pidDigits] >= '0' && p[pidDigits] <= '9')
        ++pidDigits;
    if (pidDigits < 1 || pidDigits > 10 || p[pidDigits] != '_')
        return 0;
    p += pidDigits + 1;
    for (int i = 0; i < 8; ++i)
        if (!((p[i] >= '0' && p[i] <= '9') || (p[i] >= 'a' && p[i] <= 'f')))
            return 0;
    return strcmp(p + 8, ".log") == 0 ? stamp : 0;
}

// 1 when the file's final path is the held folder's and name, or when
// Windows cannot tell (XP, which has no links to files).
int ReachedByItsName(const Pruning* pruning, PfHandle file, const char* name)
{
    if (!pruning->finalPath)
        return 1;
    char final[PATH_CAPACITY];
    char expected[PATH_CAPACITY];
    uint32_t length = PfCallGetFinalPathNameByHandleA(pruning->finalPath, file, final, sizeof(final));
    return length > 0 && length < sizeof(final) &&
           BoundedFormat(expected, sizeof(expected), "%s\\%s", pruning->folderFinal, name) == BOUNDED_OK &&
           PfMbsICmp(final, expected) == 0;
}

// Opens name in the held folder as a plain file, never through a link; 0 for
// a folder, a link or reparse point, or what cannot be opened.
PfHandle OpenPlainFile(const Pruning* pruning, const char* name, uint32_t access)
{
    char path[PATH_CAPACITY];
    if (BoundedFormat(path, sizeof(path), "%s%s", pruning->folder, name) != BOUNDED_OK)
        return 0;
    PfHandle file =
        PfNtCreateFile(pruning->held, name, access | PF_FILE_READ_ATTRIBUTES | PF_SYNCHRONIZE,
                       PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE, PF_FILE_OPEN,
                       PF_FILE_NON_DIRECTORY_FILE | PF_FILE_OPEN_REPARSE_POINT | PF_FILE_SYNCHRONOUS_IO_NONALERT, 0);
    uint32_t attributes = 0, tag = 0;
    if (file && PfGetFileAttributeTag(file, &attributes, &tag) &&
        !(attributes & (PF_FILE_ATTRIBUTE_DIRECTORY | PF_FILE_ATTRIBUTE_REPARSE_POINT)) && !IsLinkByName(path) &&
        ReachedByItsName(pruning, file, name))
        return file;
    if (file)
        PfCloseHandle(file);
    return 0;
}

// Another run's trace: a plain file of this program's name form. Its stamp, or 0.
const char* OtherTrace(const Pruning* pruning, const char* name)
{
    const char* stamp = TraceStamp(pruning, name);
    if (!stamp || PfMbsICmp(name, pruning->own) == 0)
        return 0;
    PfHandle file = OpenPlainFile(pruning, name, 0);
    if (!file)
        return 0;
    PfCloseHandle(file);
    return stamp;
}

// Keeps stamp among the newest others, in order.
void Consider(Pruning* pruning, const char* stamp)
{
    int at = 0;
    while (at < pruning->kept && strcmp(pruning->newest[at], stamp) < 0)
        ++at;
    if (pruning->kept == kOthersKept) {
        if (at == 0)
            return;  // older than every one kept
        memmove(pruning->newest[0], pruning->newest[1], (size_t)(at - 1) * PATH_CAPACITY);
        --at;
    } else {
        memmove(pruning->newest[at + 1], pruning->newest[at], (size_t)(pruning->kept - at) * PATH_CAPACITY);
        ++pruning->kept;
    }
    BoundedCopy(pruning->newest[at], PATH_CAPACITY, stamp);
}

// Calls visit for each entry name of the folder; 0 when it cannot be listed.
template <typename Visit>
int ForEachName(const Pruning* pruning, Visit visit)
{
    char pattern[PATH_CAPACITY];
    char name[PATH_CAPACITY];
    if (BoundedFormat(pattern, sizeof(pattern), "%s*", pruning->folder) != BOUNDED_OK)
        return 0;
    PfHandle search = PfFindFirstFile(pattern, name, sizeof(name));
    if (!search)
        return 0;
    do
        visit(name);
    while (PfFindNextFile(search, name, sizeof(name)));
    PfFindClose(search);
    return 1;
}

Pruning g_pruning;

}  // namespace

int PruneStepTraces(ModuleHandle instance)
{
    const char* own = StepTracePath();
    if (!own[0])
        return 0;
    char folder[PATH_CAPACITY];
    BoundedCopy(folder, sizeof(folder), own);
    if (!PfPathRemoveFileSpec(folder))
        return 0;
    size_t length = strlen(folder);
    if (length && folder[length - 1] != '\\' && BoundedAppend(folder, sizeof(folder), "\\") != BOUNDED_OK)
        return 0;
    HeldPath held;
    if (!HoldFolderPath(folder, HOLD_EXISTING, &held))
        return 0;
    Pruning* pruning = &g_pruning;
    memset(pruning, 0, sizeof(*pruning));
    pruning->folder = folder;
    pruning->held = HeldFolder(&held);
    pruning->own = own + strlen(folder);
    TraceProgramName(instance, pruning->program);
    ModuleHandle kernel = PfGetModuleHandle("kernel32.dll");
    pruning->finalPath = kernel ? PfGetProcAddress(kernel, "GetFinalPathNameByHandleA") : 0;
    if (pruning->finalPath) {
        uint32_t length =
            PfCallGetFinalPathNameByHandleA(pruning->finalPath, pruning->held, pruning->folderFinal, PATH_CAPACITY);
        if (length == 0 || length >= PATH_CAPACITY) {
            ReleaseFolderPath(&held);
            return 0;  // nothing can be told apart from a link
        }
        // A volume root's final path ends in its backslash, a folder's does not.
        if (pruning->folderFinal[length - 1] == '\\')
            pruning->folderFinal[length - 1] = 0;
    }

    ForEachName(pruning, [pruning](const char* name) {
        if (const char* stamp = OtherTrace(pruning, name))
            Consider(pruning, stamp);
    });
    int removed = 0;
    // Only what is older than the oldest one kept goes: a trace that appears
    // meanwhile is newer and stays.
    if (pruning->kept == kOthersKept) {
        ForEachName(pruning, [pruning, &removed](const char* name) {
            const char* stamp = TraceStamp(pruning, name);
            if (!stamp || strcmp(stamp, pruning->newest[0]) >= 0 || PfMbsICmp(name, pruning->own) == 0)
                return;
            PfHandle file = OpenPlainFile(pruning, name, PF_DELETE);
            if (file && PfNtSetDeleteDisposition(file))
                ++removed;
            else if (file)
                TraceLine("Step traces: %s%s not removed (error %u)", pruning->folder, name,
                          (unsigned)PfGetLastError());
            if (file)
                PfCloseHandle(file);
        });
    }
    ReleaseFolderPath(&held);
    if (removed)
        TraceLine("Step traces: %d older ones removed, the newest %d kept", removed, STEP_TRACES_KEPT);
    return removed;
}
