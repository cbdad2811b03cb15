// The platform layer on Windows: mapped images, their headers and version resources.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/win32/win32_modules.h"
#include "util/platform.h"

PfHandle PfMapFileReadOnly(PfHandle file, const unsigned char** view, uint64_t* size)
{
    *view = 0;
    *size = 0;
    LARGE_INTEGER length;
    if (!GetFileSizeEx((HANDLE)file, &length))
        return 0;
    HANDLE mapping = CreateFileMappingA((HANDLE)file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (!mapping)
        return 0;
    const void* mapped = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (!mapped) {
        CloseHandle(mapping);
        return 0;
    }
    *view = (const unsigned char*)mapped;
    *size = (uint64_t)length.QuadPart;
    return (PfHandle)mapping;
}

void PfUnmapView(const unsigned char* view) { UnmapViewOfFile(view); }

int PfImageNtHeaderMachine(const unsigned char* view, uint16_t* machine)
{
    typedef PIMAGE_NT_HEADERS(WINAPI * ImageNtHeaderFn)(PVOID);
    ImageNtHeaderFn imageNtHeader = (ImageNtHeaderFn)SystemProc("dbghelp.dll", "ImageNtHeader");
    if (!imageNtHeader)
        return 0;
    PIMAGE_NT_HEADERS headers = imageNtHeader((PVOID)view);
    if (!headers)
        return 0;
    *machine = headers->FileHeader.Machine;
    return 1;
}

uint32_t PfGetFileVersionInfoSize(const char* path)
{
    typedef DWORD(WINAPI * SizeFn)(LPCSTR, LPDWORD);
    SizeFn getSize = (SizeFn)SystemProc("version.dll", "GetFileVersionInfoSizeA");
    DWORD handle = 0;
    return getSize ? getSize(path, &handle) : 0;
}

int PfGetFileVersionInfo(const char* path, uint32_t size, void* block)
{
    typedef BOOL(WINAPI * InfoFn)(LPCSTR, DWORD, DWORD, LPVOID);
    InfoFn getInfo = (InfoFn)SystemProc("version.dll", "GetFileVersionInfoA");
    return getInfo ? getInfo(path, 0, size, block) : 0;
}

int PfVerQueryString(const void* block, const char* subBlock, const char** value)
{
    typedef BOOL(WINAPI * QueryFn)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    QueryFn query = (QueryFn)SystemProc("version.dll", "VerQueryValueA");
    void* found = NULL;
    UINT length = 0;
    if (!query || !query(block, subBlock, &found, &length) || !found)
        return 0;
    *value = (const char*)found;
    return 1;
}
