// The installed-driver record deployment tools detect an install by: subkey
// DETECTION_SUBKEY under the product key the installed-version query reads,
// in the same view, with REG_SZ DriverVersion (four plain numbers),
// Platform (the settings section) and InstallTime ("YYYY-MM-DD HH:MM:SS", local).
#ifndef SETUP_DRIVER_DETECTION_RECORD_H
#define SETUP_DRIVER_DETECTION_RECORD_H

#include "core/result_codes.h"
#include "core/target.h"
#include "util/platform.h"

extern const char DETECTION_SUBKEY[];

// After a run's end. An install in which DPInst ran and whose outcome counts
// as success writes the record; an uninstall that did so removes the record
// and the product's version value, so that nothing reads as installed. Any
// other run changes nothing. The trace says what was done, or why not.
void UpdateDetectionRecord(const RunOutcome* end, int uninstall, const char* packageInfPath, const Target* target);

#endif
