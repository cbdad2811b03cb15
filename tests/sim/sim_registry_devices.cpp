// The simulated machine: registry views and the Mouse-class devices.
#include <string.h>

#include <string>

#include "sim/sim.h"
#include "sim/sim_internal.h"

using namespace sim;

namespace {

// A 32-bit program on 64-bit Windows sees the 64-bit view only when it asks.
bool Visible(View view, bool wants64)
{
    if (!Machine().is64Bit || view == View::Both)
        return true;
    return wants64 ? view == View::Only64 : view == View::Only32;
}

bool KeyExists(const std::string& key, bool wants64)
{
    for (const RegistryValue& value : Machine().registry)
        if (strcasecmp(value.key.c_str(), key.c_str()) == 0 && Visible(value.view, wants64))
            return true;
    for (const std::string& existing : Machine().registryKeys)
        if (strcasecmp(existing.c_str(), key.c_str()) == 0)
            return true;
    return false;
}

// The view a write in the asked view lands in.
View WrittenView(bool wants64)
{
    if (!Machine().is64Bit)
        return View::Both;
    return wants64 ? View::Only64 : View::Only32;
}

// Removes a value from one view: one stored in both stays in the other.
// False when the view shows no such value.
bool RemoveValue(const std::string& key, const std::string& name, bool wants64)
{
    std::vector<RegistryValue>& registry = Machine().registry;
    for (size_t i = 0; i < registry.size(); ++i) {
        RegistryValue& value = registry[i];
        if (strcasecmp(value.key.c_str(), key.c_str()) != 0 || strcasecmp(value.name.c_str(), name.c_str()) != 0 ||
            !Visible(value.view, wants64))
            continue;
        if (value.view == View::Both && Machine().is64Bit)
            value.view = wants64 ? View::Only32 : View::Only64;
        else
            registry.erase(registry.begin() + (long)i);
        return true;
    }
    return false;
}

// Deletes a key without subkeys and its values in one view.
int32_t DeleteKey(const std::string& path, bool wants64)
{
    if (!KeyExists(path, wants64))
        return PF_ERROR_FILE_NOT_FOUND;
    const std::string below = path + "\\";
    for (const RegistryValue& value : Machine().registry)
        if (strncasecmp(value.key.c_str(), below.c_str(), below.size()) == 0 && Visible(value.view, wants64))
            return PF_ERROR_ACCESS_DENIED;  // RegDeleteKey leaves a key with subkeys
    std::vector<std::string> names;
    for (const RegistryValue& value : Machine().registry)
        if (strcasecmp(value.key.c_str(), path.c_str()) == 0 && Visible(value.view, wants64))
            names.push_back(value.name);
    for (const std::string& name : names)
        RemoveValue(path, name, wants64);
    std::vector<std::string>& keys = Machine().registryKeys;
    for (size_t i = keys.size(); i-- > 0;)
        if (strcasecmp(keys[i].c_str(), path.c_str()) == 0)
            keys.erase(keys.begin() + (long)i);
    return 0;
}

}  // namespace

int sim::g_regDeleteKeyExProc;

const RegistryValue* sim::FindRegistryValue(const std::string& key, const std::string& name, bool wants64)
{
    for (const RegistryValue& value : Machine().registry)
        if (strcasecmp(value.key.c_str(), key.c_str()) == 0 && strcasecmp(value.name.c_str(), name.c_str()) == 0 &&
            Visible(value.view, wants64))
            return &value;
    return 0;
}

bool sim::HasRegDeleteKeyEx() { return Machine().major >= 6 || Machine().is64Bit; }

int32_t PfRegCreateKey(PfHandle root, const char* subKey, uint32_t access, PfHandle* key)
{
    *key = 0;
    SIM_FAULT_POINT(subKey, (int32_t)PfGetLastError());
    if (root != PF_HKEY_LOCAL_MACHINE)
        return PF_ERROR_FILE_NOT_FOUND;
    bool wants64 = (access & PF_KEY_WOW64_64KEY) != 0;
    if (!KeyExists(subKey, wants64))
        Machine().registryKeys.push_back(subKey);
    Machine().calls.push_back(std::string("RegCreateKeyExA ") + subKey + (wants64 ? " 64-bit view" : ""));
    *key = NewHandle(HandleKind::Key, subKey);
    FindHandle(*key, HandleKind::Key)->wide64View = wants64;
    return 0;
}

int32_t PfRegSetString(PfHandle key, const char* name, const char* text)
{
    SIM_FAULT_POINT(HandlePath(key) + "\\" + name, (int32_t)PfGetLastError());
    HandleData* opened = FindHandle(key, HandleKind::Key);
    if (!opened)
        return PF_ERROR_INVALID_HANDLE;
    RemoveValue(opened->path, name, opened->wide64View);
    Machine().registry.push_back({opened->path, name, std::string(text) + '\0', WrittenView(opened->wide64View)});
    return 0;
}

int32_t PfRegDeleteValue(PfHandle key, const char* name)
{
    SIM_FAULT_POINT(HandlePath(key) + "\\" + name, (int32_t)PfGetLastError());
    HandleData* opened = FindHandle(key, HandleKind::Key);
    if (!opened)
        return PF_ERROR_INVALID_HANDLE;
    return RemoveValue(opened->path, name, opened->wide64View) ? 0 : PF_ERROR_FILE_NOT_FOUND;
}

int32_t PfRegDeleteKey(PfHandle key, const char* subKey)
{
    SIM_FAULT_POINT(HandlePath(key) + "\\" + subKey, (int32_t)PfGetLastError());
    HandleData* opened = FindHandle(key, HandleKind::Key);
    if (!opened)
        return PF_ERROR_INVALID_HANDLE;
    Machine().calls.push_back(std::string("RegDeleteKeyA ") + subKey);
    // Without RegDeleteKeyEx there is only the one view.
    return DeleteKey(opened->path + "\\" + subKey, opened->wide64View);
}

int32_t PfCallRegDeleteKeyExA(PfProc proc, PfHandle key, const char* subKey, uint32_t access)
{
    SIM_FAULT_POINT(HandlePath(key) + "\\" + subKey, (int32_t)PfGetLastError());
    HandleData* opened = FindHandle(key, HandleKind::Key);
    if (proc != (PfProc)&g_regDeleteKeyExProc || !opened)
        return PF_ERROR_INVALID_HANDLE;
    bool wants64 = (access & PF_KEY_WOW64_64KEY) != 0;
    Machine().calls.push_back(std::string("RegDeleteKeyExA ") + subKey + (wants64 ? " 64-bit view" : ""));
    return DeleteKey(opened->path + "\\" + subKey, wants64);
}

int32_t PfRegOpenKey(PfHandle root, const char* subKey, uint32_t access, PfHandle* key)
{
    *key = 0;
    SIM_FAULT_POINT(subKey, (int32_t)PfGetLastError());
    bool wants64 = (access & PF_KEY_WOW64_64KEY) != 0;
    if (root != PF_HKEY_LOCAL_MACHINE || !KeyExists(subKey, wants64))
        return PF_ERROR_FILE_NOT_FOUND;
    *key = NewHandle(HandleKind::Key, subKey);
    FindHandle(*key, HandleKind::Key)->wide64View = wants64;
    return 0;
}

int32_t PfRegQueryValue(PfHandle key, const char* name, void* data, uint32_t* size)
{
    SIM_FAULT_POINT(HandlePath(key) + "\\" + name, (int32_t)PfGetLastError());
    HandleData* opened = FindHandle(key, HandleKind::Key);
    if (!opened)
        return 6;  // ERROR_INVALID_HANDLE
    for (const RegistryValue& value : Machine().registry) {
        if (strcasecmp(value.key.c_str(), opened->path.c_str()) != 0 || strcasecmp(value.name.c_str(), name) != 0 ||
            !Visible(value.view, opened->wide64View))
            continue;
        uint32_t room = *size;
        *size = (uint32_t)value.data.size();
        if (value.data.size() > room)
            return PF_ERROR_MORE_DATA;
        memcpy(data, value.data.data(), value.data.size());
        return 0;
    }
    return PF_ERROR_FILE_NOT_FOUND;
}

int32_t PfRegCloseKey(PfHandle key) { return PfCloseHandle(key) ? 0 : 6; }

PfHandle PfOpenPresentMouseDevices()
{
    SIM_FAULT_POINT("", 0);
    if (Machine().deviceClassFails)
        return 0;
    return NewHandle(HandleKind::Devices);
}

namespace {

bool DeviceAt(PfHandle devices, uint32_t index)
{
    if (!FindHandle(devices, HandleKind::Devices) || index >= Machine().devices.size()) {
        PfSetLastError(259);  // ERROR_NO_MORE_ITEMS
        return false;
    }
    return true;
}

}  // namespace

int PfEnumDevice(PfHandle devices, uint32_t index)
{
    SIM_FAULT_POINT(std::to_string(index), 0);
    return DeviceAt(devices, index);
}

int PfGetDeviceHardwareIds(PfHandle devices, uint32_t index, unsigned char* buffer, uint32_t capacity,
                           uint32_t* requiredSize)
{
    SIM_FAULT_POINT(std::to_string(index), 0);
    if (!DeviceAt(devices, index))
        return 0;
    Machine().calls.push_back("SetupDiGetDeviceRegistryPropertyA " + std::to_string(index) + " " +
                              std::to_string(capacity));
    const Device& device = Machine().devices[index];
    if (!device.hasHardwareIds) {
        *requiredSize = capacity;
        PfSetLastError(PF_ERROR_INVALID_DATA);
        return 0;
    }
    *requiredSize = (uint32_t)device.hardwareIds.size();
    if (device.hardwareIds.size() > capacity) {
        PfSetLastError(PF_ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(buffer, device.hardwareIds.data(), device.hardwareIds.size());
    return 1;
}

void PfCloseDevices(PfHandle devices) { PfCloseHandle(devices); }
