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

const ULONG kObjCaseInsensitive = 0x40;
const NtStatus kStatusObjectNameCollision = (NtStatus)0xC0000035L;
const int kFileBasicInformation = 4;
const int kFileRenameInformation = 10;
const int kFileDispositionInformation = 13;
const int kFileAttributeTagInformation = 35;
// "\??\" and "UNC" before the longest path the program builds.
const int kNameCapacity = MAX_PATH + 16;

typedef NtStatus(WINAPI* NtCreateFileFn)(PHANDLE, ACCESS_MASK, ObjectAttributes*, IoStatus*, PLARGE_INTEGER, ULONG,
                                         ULONG, ULONG, ULONG, PVOID, ULONG);
typedef NtStatus(WINAPI* NtQueryInformationFileFn)(HANDLE, IoStatus*, PVOID, ULONG, int);
typedef NtStatus(WINAPI* NtSetInformationFileFn)(HANDLE, IoStatus*, PVOID, ULONG, int);
typedef ULONG(WINAPI* RtlNtStatusToDosErrorFn)(NtStatus);

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

int PfNtRenameFile(PfHandle file, PfHandle root, const char* name, int replace)
{
    NtSetInformationFileFn set = (NtSetInformationFileFn)Native("NtSetInformationFile");
    if (!set) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    RenameInformation rename;
    ZeroMemory(&rename, sizeof(rename));
    int length = ToWide(L"", name, rename.FileName, MAX_PATH + 8);
    if (!length) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    rename.ReplaceIfExists = replace ? TRUE : FALSE;
    rename.RootDirectory = (HANDLE)root;
    rename.FileNameLength = (ULONG)(length * sizeof(WCHAR));
    IoStatus status;
    NtStatus result = set((HANDLE)file, &status, &rename, sizeof(rename), kFileRenameInformation);
    return result < 0 ? Failed(result) : 1;
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
            aces[i].mask = 0;
            aces[i].sid[0] = 0;
            // Allowed and denied entries share one layout; others keep no SID here.
            if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
                ACCESS_ALLOWED_ACE* ace = (ACCESS_ALLOWED_ACE*)header;
                aces[i].mask = ace->Mask;
                if (ConvertSidToStringSidA((PSID)&ace->SidStart, &text)) {
                    lstrcpynA(aces[i].sid, text, PF_SID_TEXT_CAPACITY);
                    LocalFree(text);
                }
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

uint32_t PfCallGetTempPath2A(PfProc proc, char* buffer, uint32_t capacity)
{
    typedef DWORD(WINAPI * GetTempPath2Fn)(DWORD, LPSTR);
    return ((GetTempPath2Fn)proc)(capacity, buffer);
}
