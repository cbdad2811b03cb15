// The platform layer on Windows: device enumeration and the INF parser.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <setupapi.h>

#include "util/platform.h"

static_assert(sizeof(PfInfContext) == sizeof(INFCONTEXT), "INFCONTEXT layout");

// {4D36E96F-E325-11CE-BFC1-08002BE10318}
static const GUID kMouseClass = {0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

PfHandle PfOpenPresentMouseDevices()
{
    HDEVINFO devices = SetupDiGetClassDevsA(&kMouseClass, NULL, NULL, DIGCF_PRESENT);
    return devices == INVALID_HANDLE_VALUE ? 0 : (PfHandle)devices;
}

static BOOL DeviceAt(PfHandle devices, uint32_t index, SP_DEVINFO_DATA* device)
{
    ZeroMemory(device, sizeof(*device));
    device->cbSize = sizeof(*device);
    return SetupDiEnumDeviceInfo((HDEVINFO)devices, index, device);
}

int PfEnumDevice(PfHandle devices, uint32_t index)
{
    SP_DEVINFO_DATA device;
    return DeviceAt(devices, index, &device);
}

int PfGetDeviceHardwareIds(PfHandle devices, uint32_t index, unsigned char* buffer, uint32_t capacity,
                           uint32_t* requiredSize)
{
    SP_DEVINFO_DATA device;
    if (!DeviceAt(devices, index, &device))
        return 0;
    DWORD type = 0;
    DWORD required = 0;
    BOOL read = SetupDiGetDeviceRegistryPropertyA((HDEVINFO)devices, &device, SPDRP_HARDWAREID, &type, buffer,
                                                  capacity, &required);
    *requiredSize = required;
    return read;
}

void PfCloseDevices(PfHandle devices) { SetupDiDestroyDeviceInfoList((HDEVINFO)devices); }

PfHandle PfInfOpen(const char* path)
{
    HINF inf = SetupOpenInfFileA(path, NULL, INF_STYLE_WIN4, NULL);
    return inf == INVALID_HANDLE_VALUE ? 0 : (PfHandle)inf;
}

void PfInfClose(PfHandle inf) { SetupCloseInfFile((HINF)inf); }

int PfInfFindFirstLine(PfHandle inf, const char* section, const char* key, PfInfContext* context)
{
    return SetupFindFirstLineA((HINF)inf, section, key, (INFCONTEXT*)context);
}

int PfInfFindNextLine(const PfInfContext* context, PfInfContext* next)
{
    return SetupFindNextLine((INFCONTEXT*)context, (INFCONTEXT*)next);
}

int PfInfGetStringField(const PfInfContext* context, uint32_t field, char* buffer, uint32_t capacity,
                        uint32_t* requiredSize)
{
    // setupapi leaves the size alone for a missing field: so does this wrapper.
    DWORD required = requiredSize ? *requiredSize : 0;
    BOOL read = SetupGetStringFieldA((INFCONTEXT*)context, field, buffer, capacity, requiredSize ? &required : NULL);
    if (requiredSize)
        *requiredSize = required;
    return read;
}

int PfInfGetLineText(const PfInfContext* context, char* buffer, uint32_t capacity, uint32_t* requiredSize)
{
    DWORD required = requiredSize ? *requiredSize : 0;
    BOOL read =
        SetupGetLineTextA((INFCONTEXT*)context, NULL, NULL, NULL, buffer, capacity, requiredSize ? &required : NULL);
    if (requiredSize)
        *requiredSize = required;
    return read;
}
