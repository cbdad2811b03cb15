// The platform layer on Windows: files and folders through handles. The
// native calls come from ntdll at run time; they exist there since Windows XP.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "util/platform.h"

namespace {

typedef LONG NtStatus;

struct UnicodeText {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};

struct ObjectAttributes {
    ULONG Length;
    HANDLE RootDirectory;
    UnicodeText* ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};

struct IoStatus {
    union {
        NtStatus Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};

struct RenameInformation {
    BOOLEAN ReplaceIfExists;
    HANDLE RootDirectory;
    ULONG FileNameLength;
    WCHAR FileName[MAX_PATH + 8];
};

// FILE_RENAME_INFORMATION_EX: flags where the older form has its BOOLEAN.
struct RenameInformationEx {
    ULONG Flags;
    HANDLE RootDirectory;
    ULONG FileNameLength;
    WCHAR FileName[MAX_PATH + 8];
};

const ULONG kObjCaseInsensitive = 0x40;
const NtStatus kStatusObjectNameCollision = (NtStatus)0xC0000035L;
const int kFileBasicInformation = 4;
const int kFileRenameInformation = 10;
const int kFileDispositionInformation = 13;
const int kFileAttributeTagInformation = 35;
const int kFileRenameInformationEx = 65;
const ULONG kFileRenameReplaceIfExists = 0x1;
const ULONG kFileRenamePosixSemantics = 0x2;
// "\??\" and "UNC" before the longest path the program builds.
const int kNameCapacity = MAX_PATH + 16;

typedef NtStatus(WINAPI* NtCreateFileFn)(PHANDLE, ACCESS_MASK, ObjectAttributes*, IoStatus*, PLARGE_INTEGER, ULONG,
                                         ULONG, ULONG, ULONG, PVOID, ULONG);
typedef NtStatus(WINAPI* NtQueryInformationFileFn)(HANDLE, IoStatus*, PVOID, ULONG, int);
typedef NtStatus(WINAPI* NtSetInformationFileFn)(HANDLE, IoStatus*, PVOID, ULONG, int);
typedef ULONG(WINAPI* RtlNtStatusToDosErrorFn)(NtStatus);
typedef NtStatus(WINAPI* NtQueryObjectFn)(HANDLE, int, PVOID, ULONG, PULONG);

FARPROC Native(const char* name)
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll ? GetProcAddress(ntdll, name) : NULL;
}

// Sets the last error as the Win32 calls do for a failed native call.
BOOL Failed(NtStatus status)
{
    RtlNtStatusToDosErrorFn toError = (RtlNtStatusToDosErrorFn)Native("RtlNtStatusToDosError");
    SetLastError(toError ? toError(status) : ERROR_GEN_FAILURE);
    return FALSE;
}

// name in UTF-16 after prefix; the number of characters, 0 when it does not fit.
int ToWide(const wchar_t* prefix, const char* name, WCHAR* out, int capacity)
{
    int used = 0;
    for (; prefix[used]; ++used)
        out[used] = prefix[used];
    int converted = MultiByteToWideChar(CP_ACP, 0, name, -1, out + used, capacity - used);
    return converted > 1 ? used + converted - 1 : 0;
}

}  // namespace

PfHandle PfNtCreateFile(PfHandle root, const char* name, uint32_t access, uint32_t share, uint32_t disposition,
                        uint32_t options, const char* sddl)
{
    NtCreateFileFn create = (NtCreateFileFn)Native("NtCreateFile");
    if (!create) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    // A full path is given to the object manager as "\??\C:\..." or "\??\UNC\server\...".
    WCHAR wide[kNameCapacity];
    const wchar_t* prefix = L"";
    if (!root)
        prefix = name[0] == '\\' && name[1] == '\\' ? L"\\??\\UNC" : L"\\??\\";
    int length = ToWide(prefix, root || name[0] != '\\' ? name : name + 1, wide, kNameCapacity);
    if (!length) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (sddl && !ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, NULL))
        return 0;
    UnicodeText text = {(USHORT)(length * sizeof(WCHAR)), (USHORT)(length * sizeof(WCHAR)), wide};
    ObjectAttributes attributes = {sizeof(ObjectAttributes), (HANDLE)root, &text,
                                   kObjCaseInsensitive,      descriptor,   NULL};
    IoStatus status;
    HANDLE handle = NULL;
    NtStatus result = create(&handle, access, &attributes, &status, NULL, FILE_ATTRIBUTE_NORMAL, share, disposition,
                             options, NULL, 0);
    if (descriptor)
        LocalFree(descriptor);
    if (result < 0) {
        // CreateFile's own mapping: a name that exists is not "already exists".
        if (result == kStatusObjectNameCollision)
            SetLastError(ERROR_FILE_EXISTS);
        else
            Failed(result);
        return 0;
    }
    return (PfHandle)handle;
}

int PfGetFileAttributeTag(PfHandle file, uint32_t* attributes, uint32_t* reparseTag)
{
    NtQueryInformationFileFn query = (NtQueryInformationFileFn)Native("NtQueryInformationFile");
    if (!query) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    IoStatus status;
    ULONG tag[2] = {0, 0};
    NtStatus result = query((HANDLE)file, &status, tag, sizeof(tag), kFileAttributeTagInformation);
    if (result >= 0) {
        *attributes = tag[0];
        *reparseTag = tag[1];
        return 1;
    }
    // Four times, then the attributes: FILE_BASIC_INFORMATION.
    LARGE_INTEGER basic[5];
    result = query((HANDLE)file, &status, basic, sizeof(basic), kFileBasicInformation);
    if (result < 0)
        return Failed(result);
    *attributes = basic[4].LowPart;
    *reparseTag = 0;
    return 1;
}

namespace {

// Both rename structures name the new name's folder, its length and the name
// alike; only their first field (a flag, or flags) differs.
template <typename Info>
int SetRenameInformation(PfHandle file, PfHandle root, const char* name, Info* rename, int infoClass)
{
    NtSetInformationFileFn set = (NtSetInformationFileFn)Native("NtSetInformationFile");
    if (!set) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    int length = ToWide(L"", name, rename->FileName, MAX_PATH + 8);
    if (!length) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    rename->RootDirectory = (HANDLE)root;
    rename->FileNameLength = (ULONG)(length * sizeof(WCHAR));
    IoStatus status;
    NtStatus result = set((HANDLE)file, &status, rename, sizeof(*rename), infoClass);
    return result < 0 ? Failed(result) : 1;
}

}  // namespace

int PfNtRenameFile(PfHandle file, PfHandle root, const char* name, int replace)
{
    RenameInformation rename;
    ZeroMemory(&rename, sizeof(rename));
    rename.ReplaceIfExists = replace ? TRUE : FALSE;
    return SetRenameInformation(file, root, name, &rename, kFileRenameInformation);
}

int PfNtRenameFilePosix(PfHandle file, PfHandle root, const char* name)
{
    RenameInformationEx rename;
    ZeroMemory(&rename, sizeof(rename));
    rename.Flags = kFileRenameReplaceIfExists | kFileRenamePosixSemantics;
    return SetRenameInformation(file, root, name, &rename, kFileRenameInformationEx);
}

int PfNtSetDeleteDisposition(PfHandle file)
{
    NtSetInformationFileFn set = (NtSetInformationFileFn)Native("NtSetInformationFile");
    if (!set) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    BOOLEAN deleteFile = TRUE;
    IoStatus status;
    NtStatus result = set((HANDLE)file, &status, &deleteFile, sizeof(deleteFile), kFileDispositionInformation);
    return result < 0 ? Failed(result) : 1;
}

namespace {

// One of NtQueryObject's answers that begin with a UNICODE_STRING (the name
// and type information), as ANSI text; a letter the code page lacks becomes
// '?', never a look-alike.
int QueryObjectText(NtQueryObjectFn query, HANDLE object, int infoClass, char* text, uint32_t capacity)
{
    union {
        UnicodeText string;
        BYTE bytes[2048];
    } info;
    ULONG size = 0;
    NtStatus result = query(object, infoClass, &info, sizeof(info), &size);
    if (result < 0)
        return Failed(result);
    int length = info.string.Length / (int)sizeof(WCHAR);
    int written = length ? WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, info.string.Buffer, length, text,
                                               (int)capacity - 1, NULL, NULL)
                         : 0;
    if (length && !written)
        return 0;
    text[written] = 0;
    return 1;
}

}  // namespace

int PfQueryObjectTypeAndName(PfHandle object, char* type, uint32_t typeCapacity, char* name, uint32_t nameCapacity)
{
    const int kObjectNameInformation = 1;
    const int kObjectTypeInformation = 2;
    type[0] = name[0] = 0;
    NtQueryObjectFn query = (NtQueryObjectFn)Native("NtQueryObject");
    if (!query) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    return QueryObjectText(query, (HANDLE)object, kObjectTypeInformation, type, typeCapacity) &&
           QueryObjectText(query, (HANDLE)object, kObjectNameInformation, name, nameCapacity);
}

int PfReadFile(PfHandle file, void* buffer, uint32_t size, uint32_t* read)
{
    DWORD done = 0;
    BOOL ok = ReadFile((HANDLE)file, buffer, size, &done, NULL);
    *read = ok ? done : 0;
    return ok;
}

int PfGetFileSize(PfHandle file, uint64_t* size)
{
    LARGE_INTEGER bytes;
    if (!GetFileSizeEx((HANDLE)file, &bytes))
        return 0;
    *size = (uint64_t)bytes.QuadPart;
    return 1;
}

int PfGetLastWriteTime(PfHandle file, uint64_t* time)
{
    FILETIME written;
    if (!GetFileTime((HANDLE)file, NULL, NULL, &written))
        return 0;
    *time = ((uint64_t)written.dwHighDateTime << 32) | written.dwLowDateTime;
    return 1;
}

int PfSetLastWriteTime(PfHandle file, uint64_t time)
{
    FILETIME written;
    written.dwLowDateTime = (DWORD)time;
    written.dwHighDateTime = (DWORD)(time >> 32);
    return SetFileTime((HANDLE)file, NULL, NULL, &written);
}

namespace {

// The SID of an entry, where its type's layout is known and the SID lies
// whole inside the entry; NULL otherwise (a compound entry, an unknown type).
PSID AceSid(ACE_HEADER* header)
{
    BYTE* start = (BYTE*)header;
    DWORD offset = 0;
    switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        offset = FIELD_OFFSET(ACCESS_ALLOWED_ACE, SidStart);
        break;
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: {
        // Header, mask, flags, then each GUID its flags say is present.
        offset = sizeof(ACE_HEADER) + 2 * sizeof(DWORD);
        if (header->AceSize < offset)
            return NULL;
        DWORD flags = ((ACCESS_ALLOWED_OBJECT_ACE*)header)->Flags;
        offset += (flags & ACE_OBJECT_TYPE_PRESENT ? sizeof(GUID) : 0) +
                  (flags & ACE_INHERITED_OBJECT_TYPE_PRESENT ? sizeof(GUID) : 0);
        break;
    }
    default:
        return NULL;
    }
    // The fixed part of a SID, then its sub-authorities.
    const DWORD fixed = 8;
    if (header->AceSize < offset + fixed)
        return NULL;
    PSID sid = (PSID)(start + offset);
    DWORD length = fixed + 4 * (DWORD)start[offset + 1];
    return header->AceSize >= offset + length && IsValidSid(sid) ? sid : NULL;
}

}  // namespace

int PfGetSecurityOnHandle(PfHandle handle, char* owner, PfAce* aces, uint32_t capacity, uint32_t* count)
{
    PSID ownerSid = NULL;
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    *count = 0;
    owner[0] = 0;
    DWORD error = GetSecurityInfo((HANDLE)handle, SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &ownerSid, NULL, &dacl,
                                  NULL, &descriptor);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return 0;
    }
    int ok = 1;
    char* text = NULL;
    if (ownerSid && ConvertSidToStringSidA(ownerSid, &text)) {
        lstrcpynA(owner, text, PF_SID_TEXT_CAPACITY);
        LocalFree(text);
    }
    if (!dacl) {
        *count = PF_NO_DACL;
    } else {
        *count = dacl->AceCount;
        for (DWORD i = 0; i < dacl->AceCount && i < capacity; ++i) {
            ACE_HEADER* header = NULL;
            if (!GetAce(dacl, i, (LPVOID*)&header)) {
                ok = 0;
                break;
            }
            aces[i].type = header->AceType;
            aces[i].flags = header->AceFlags;
            aces[i].mask = header->AceSize >= sizeof(ACE_HEADER) + sizeof(DWORD)
                               ? ((ACCESS_ALLOWED_ACE*)header)->Mask
                               : 0xFFFFFFFFu;
            aces[i].sid[0] = 0;
            PSID sid = AceSid(header);
            if (sid && ConvertSidToStringSidA(sid, &text)) {
                lstrcpynA(aces[i].sid, text, PF_SID_TEXT_CAPACITY);
                LocalFree(text);
            }
        }
    }
    LocalFree(descriptor);
    return ok;
}

int PfSetSecurityOnHandle(PfHandle handle, const char* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, NULL))
        return 0;
    PSID owner = NULL;
    PACL dacl = NULL;
    BOOL defaulted = FALSE, present = FALSE;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    DWORD error =
        SetSecurityInfo((HANDLE)handle, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                        owner, NULL, dacl, NULL);
    LocalFree(descriptor);
    SetLastError(error);
    return error == ERROR_SUCCESS;
}

int PfGetProcessUserSid(char* sid, uint32_t capacity)
{
    sid[0] = 0;
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    // TOKEN_USER holds one SID pointer; the SID follows it in the buffer.
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } tokenUser;
    DWORD size = 0;
    char* text = NULL;
    BOOL ok = GetTokenInformation(token, TokenUser, &tokenUser, sizeof(tokenUser), &size) &&
              ConvertSidToStringSidA(tokenUser.user.User.Sid, &text);
    CloseHandle(token);
    if (ok) {
        lstrcpynA(sid, text, (int)capacity);
        LocalFree(text);
    }
    return ok;
}

int PfGenRandom(void* buffer, uint32_t size)
{
    typedef BOOLEAN(WINAPI * GenRandomFn)(PVOID, ULONG);
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    GenRandomFn generate = advapi ? (GenRandomFn)GetProcAddress(advapi, "SystemFunction036") : NULL;
    return generate && generate(buffer, size);
}

uint32_t PfCallGetFinalPathNameByHandleA(PfProc proc, PfHandle file, char* buffer, uint32_t capacity)
{
    typedef DWORD(WINAPI * GetFinalPathFn)(HANDLE, LPSTR, DWORD, DWORD);
    return ((GetFinalPathFn)proc)((HANDLE)file, buffer, capacity, 0);
}

uint32_t PfCallGetTempPath2A(PfProc proc, char* buffer, uint32_t capacity)
{
    typedef DWORD(WINAPI * GetTempPath2Fn)(DWORD, LPSTR);
    return ((GetTempPath2Fn)proc)(capacity, buffer);
}
