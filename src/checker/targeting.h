// Which machines each row installs for: the hardware IDs its INF's models
// sections list, and the device keys under HKLM\SYSTEM\CurrentControlSet\Enum
// a machine with such a touch pad has, for deployment tools' requirement rules.
#ifndef SETUP_CHECKER_TARGETING_H
#define SETUP_CHECKER_TARGETING_H

#include <stddef.h>

void ClearTargeting();
// Adds a models ID to the row's list, once.
void AddTargetId(int row, const char* id);
// The row's IDs in their order: index 0 on; 0 past the last.
const char* TargetId(int row, int index);
// The device key of an ID on the ACPI bus, the only IDs Setup.exe takes for a
// touch pad; 0 for any other ID.
int DeviceKeyOf(const char* id, char* key, size_t capacity);
// The row's device keys, each once, in the order of their IDs; 0 past the last.
const char* DeviceKey(int row, int index);
// The row's targeting finding: its device keys, or a warning when no ID is
// on the ACPI bus.
void ReportTargeting(int row);

#endif
