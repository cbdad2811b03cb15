#include "core/held_folders.h"

#include <string.h>

#include "core/step_trace.h"
#include "util/bounded_string.h"
#include "util/multibyte.h"

const char PROTECTED_FOLDER_SDDL[] = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
const char PRIVATE_FOLDER_SDDL[] = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

namespace {

const char kProtectedWithOwner[] = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
const char kPrivateWithOwner[] = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
const char* const kTrustedSids[] = {
    "S-1-5-32-544",                                                    // Administrators
    "S-1-5-18",                                                        // SYSTEM
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};
// Rights that let their holder change a file or folder, its entries, its
// attributes, its permissions or its owner. Generic rights count as what
// they map to for files.
const uint32_t kChangingRights = PF_FILE_WRITE_DATA | PF_FILE_APPEND_DATA | PF_FILE_WRITE_EA | PF_FILE_DELETE_CHILD |
                                 PF_FILE_WRITE_ATTRIBUTES | PF_DELETE | PF_WRITE_DAC | PF_WRITE_OWNER |
                                 PF_GENERIC_ALL | PF_GENERIC_WRITE;
const uint32_t kAceCapacity = 64;
// An extraction target may be longer than a file path; each name in it is not.
const int kShownCapacity = 1024;
// A folder is read and judged through this handle; the program's own also
// need to be given their security.
const uint32_t kFolderAccess = PF_FILE_READ_DATA | PF_FILE_TRAVERSE | PF_FILE_READ_ATTRIBUTES | PF_READ_CONTROL |
                               PF_SYNCHRONIZE;
const uint32_t kOwnFolderAccess = kFolderAccess | PF_WRITE_DAC | PF_WRITE_OWNER;
// No delete sharing: nobody may rename or remove a held folder.
const uint32_t kFolderShare = PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE;
const uint32_t kFolderOptions = PF_FILE_DIRECTORY_FILE | PF_FILE_SYNCHRONOUS_IO_NONALERT |
                                PF_FILE_OPEN_FOR_BACKUP_INTENT | PF_FILE_OPEN_REPARSE_POINT;

// Wine runs every process as one account that owns every file; its ntdll
// says so.
int RunsUnderWine()
{
    ModuleHandle ntdll = PfGetModuleHandle("ntdll.dll");
    return ntdll && PfGetProcAddress(ntdll, "wine_get_version") != 0;
}

int IsTrustedSid(const char* sid, const char* processUser)
{
    for (const char* trusted : kTrustedSids)
        if (strcmp(sid, trusted) == 0)
            return 1;
    // On Windows the account this run is also runs the same person's
    // unelevated programs. Under Wine it owns everything: distrusting it
    // would refuse every folder.
    return processUser[0] && strcmp(sid, processUser) == 0 && RunsUnderWine();
}

int IsDenyAce(uint32_t type)
{
    return type == PF_ACCESS_DENIED_ACE_TYPE || type == PF_ACCESS_DENIED_OBJECT_ACE_TYPE ||
           type == PF_ACCESS_DENIED_CALLBACK_ACE_TYPE || type == PF_ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

// The length of folder's volume root with its backslash ("C:\" or
// "\\server\share\"); 0 when it has none.
size_t RootLength(const char* folder)
{
    if (folder[0] && folder[0] != '\\' && folder[1] == ':' && folder[2] == '\\')
        return 3;
    if (folder[0] != '\\' || folder[1] != '\\' || !folder[2] || folder[2] == '\\')
        return 0;
    const char* share = NextBackslash(folder + 2);
    if (!share || !share[1] || share[1] == '\\')
        return 0;
    const char* end = NextBackslash(share + 1);
    return end ? (size_t)(end - folder) + 1 : strlen(folder);
}

// Opens name in the held folder parent (0: the root path itself) and judges
// it; shown is the path so far, for the trace. The handle, or 0.
PfHandle HoldOne(PfHandle parent, const char* name, const char* shown, int flags, int* missing)
{
    *missing = 0;
    int own = parent && (flags & HOLD_PROTECT);
    int keptPrivate = parent && (flags & HOLD_PRIVATE);
    const char* sddl = keptPrivate ? PRIVATE_FOLDER_SDDL : PROTECTED_FOLDER_SDDL;
    uint32_t disposition = parent && (flags & HOLD_CREATE_MISSING) ? PF_FILE_OPEN_IF : PF_FILE_OPEN;
    PfHandle folder = PfNtCreateFile(parent, name, own || keptPrivate ? kOwnFolderAccess : kFolderAccess,
                                     kFolderShare, disposition, kFolderOptions, sddl);
    // A folder whose permissions even administrators may not change can
    // still be used when nobody else may change it either.
    if (!folder && (own || keptPrivate) && PfGetLastError() == PF_ERROR_ACCESS_DENIED)
        folder = PfNtCreateFile(parent, name, kFolderAccess, kFolderShare, disposition, kFolderOptions, sddl);
    if (!folder) {
        uint32_t error = PfGetLastError();
        *missing = error == PF_ERROR_FILE_NOT_FOUND || error == PF_ERROR_PATH_NOT_FOUND;
        if (*missing && (flags & HOLD_EXISTING_PART))
            return 0;
        TraceLine("Folder %s not used: %s (error %u)", shown,
                  error == PF_ERROR_DIRECTORY ? "it is not a folder" : "it cannot be opened", (unsigned)error);
        return 0;
    }
    uint32_t attributes = 0, tag = 0;
    const char* refusal = 0;
    if (!PfGetFileAttributeTag(folder, &attributes, &tag))
        refusal = "its attributes cannot be read";
    else if (!(attributes & PF_FILE_ATTRIBUTE_DIRECTORY))
        refusal = "it is not a folder";
    // The handle shows a reparse point on Windows; Wine shows its links only
    // by name, and the held parents keep the name on this folder.
    else if ((attributes & PF_FILE_ATTRIBUTE_REPARSE_POINT) || (parent && IsLinkByName(shown)))
        refusal = "it is a link (a reparse point)";
    else if (own && IsChangeableByOthers(folder)) {
        if (ProtectHeldFolder(folder))
            TraceLine("Folder %s could be changed by other users: made protected", shown);
        else
            refusal = "other users may change it, and it cannot be protected";
    }
    if (refusal) {
        TraceLine("Folder %s not used: %s", shown, refusal);
        PfCloseHandle(folder);
        return 0;
    }
    // A reader of a file in it could keep that file from being replaced.
    if (keptPrivate && IsOpenableByOthers(folder)) {
        if (PfSetSecurityOnHandle(folder, kPrivateWithOwner) && !IsOpenableByOthers(folder))
            TraceLine("Folder %s could be opened by other users: made private", shown);
        else
            TraceLine("Folder %s could be opened by other users, and cannot be made private (error %u): used as it "
                      "is",
                      shown, (unsigned)PfGetLastError());
    }
    return folder;
}

}  // namespace

int IsLinkByName(const char* path)
{
    uint32_t attributes = PfGetFileAttributes(path);
    return attributes != PF_INVALID_FILE_ATTRIBUTES && (attributes & PF_FILE_ATTRIBUTE_REPARSE_POINT);
}

int HoldFolderPath(const char* folder, int flags, HeldPath* held)
{
    held->count = 0;
    size_t rootLength = folder ? RootLength(folder) : 0;
    char shown[kShownCapacity];
    if (!rootLength || BoundedCopy(shown, kShownCapacity, folder) != BOUNDED_OK) {
        TraceLine("Folder %s not used: it has no volume root or is too long", folder ? folder : "");
        return 0;
    }
    shown[rootLength] = 0;
    int missing = 0;
    PfHandle root = HoldOne(0, shown, shown, flags, &missing);
    if (!root)
        return 0;
    held->folders[held->count++] = root;

    char name[PATH_CAPACITY];
    for (const char* start = folder + rootLength; *start;) {
        const char* slash = NextBackslash(start);
        size_t length = slash ? (size_t)(slash - start) : strlen(start);
        // No folder has a longer name: it cannot exist.
        int tooLong = BoundedCopyN(name, PATH_CAPACITY, start, length) != BOUNDED_OK;
        start += length + (slash ? 1 : 0);
        if (tooLong && (flags & HOLD_EXISTING_PART))
            return 1;
        if (!name[0])
            continue;
        // Names that would lead elsewhere than down are not walked.
        if (tooLong || strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || held->count == HELD_FOLDER_DEPTH) {
            TraceLine("Folder %s not used: a name in it is too long or does not lead down", folder);
            ReleaseFolderPath(held);
            return 0;
        }
        size_t used = strlen(shown);
        if (used && shown[used - 1] != '\\')
            BoundedAppend(shown, kShownCapacity, "\\");
        BoundedAppend(shown, kShownCapacity, name);
        int deepest = 1;
        for (const char* rest = start; *rest && deepest; ++rest)
            deepest = *rest == '\\';
        int oneFlags = deepest ? flags : flags & ~HOLD_PRIVATE;
        PfHandle next = HoldOne(HeldFolder(held), name, shown, oneFlags, &missing);
        if (!next && missing && (flags & HOLD_EXISTING_PART))
            return 1;
        if (!next) {
            ReleaseFolderPath(held);
            return 0;
        }
        held->folders[held->count++] = next;
    }
    return 1;
}

PfHandle HoldFolderIn(PfHandle parent, const char* name, const char* shown, int flags)
{
    int missing = 0;
    return HoldOne(parent, name, shown, flags, &missing);
}

int HoldFolderOf(const char* path, int flags, HeldPath* held)
{
    char folder[PATH_CAPACITY];
    held->count = 0;
    if (!path || BoundedCopy(folder, PATH_CAPACITY, path) != BOUNDED_OK) {
        TraceLine("Folder of %s not used: the path is too long", path ? path : "");
        return 0;
    }
    // Cut after the last backslash: the root's own stays.
    const char* last = 0;
    for (const char* slash = NextBackslash(folder); slash; slash = NextBackslash(slash + 1))
        last = slash;
    if (!last) {
        TraceLine("Folder of %s not used: it has no volume root", path);
        return 0;
    }
    folder[last - folder + 1] = 0;
    return HoldFolderPath(folder, flags, held);
}

PfHandle HeldFolder(const HeldPath* held) { return held->count ? held->folders[held->count - 1] : 0; }

void ReleaseFolderPath(HeldPath* held)
{
    while (held->count > 0)
        PfCloseHandle(held->folders[--held->count]);
}

namespace {

// 1 when an account not trusted may do any of rights to what the handle
// holds, or its security cannot be read.
int GrantsOthers(PfHandle handle, uint32_t rights)
{
    // Read once: a package's judgement asks for every file in it.
    static char processUser[PF_SID_TEXT_CAPACITY];
    static int userRead;
    if (!userRead && PfGetProcessUserSid(processUser, PF_SID_TEXT_CAPACITY))
        userRead = 1;
    if (!userRead)
        processUser[0] = 0;
    char owner[PF_SID_TEXT_CAPACITY] = "";
    PfAce aces[kAceCapacity];
    uint32_t count = 0;
    if (!PfGetSecurityOnHandle(handle, owner, aces, kAceCapacity, &count))
        return 1;
    // An owner may always rewrite the permissions. No DACL (PF_NO_DACL)
    // admits everyone; a DACL too long to read whole is not judged trusted.
    if (count > kAceCapacity || !IsTrustedSid(owner, processUser))
        return 1;
    // A deny entry never grants; every other entry may (a callback or object
    // entry as much as a plain one), and one whose SID cannot be read is taken
    // for another user's. One that applies only to what is created inside is
    // judged on those entries themselves.
    for (uint32_t i = 0; i < count; ++i)
        if (!IsDenyAce(aces[i].type) && !(aces[i].flags & PF_INHERIT_ONLY_ACE) && (aces[i].mask & rights) &&
            !IsTrustedSid(aces[i].sid, processUser))
            return 1;
    return 0;
}

}  // namespace

int IsChangeableByOthers(PfHandle handle) { return GrantsOthers(handle, kChangingRights); }

int IsOpenableByOthers(PfHandle handle) { return GrantsOthers(handle, 0xFFFFFFFFu); }

int ProtectHeldFolder(PfHandle folder)
{
    return PfSetSecurityOnHandle(folder, kProtectedWithOwner) && !IsChangeableByOthers(folder);
}
