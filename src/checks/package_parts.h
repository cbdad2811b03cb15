// What of the package a run uses, judged where it lies or copied whole into
// the protected copy (checks/package_copy.h): the settings file first, then,
// once the settings chose a row, only what that row can read and start.
#ifndef SETUP_CHECKS_PACKAGE_PARTS_H
#define SETUP_CHECKS_PACKAGE_PARTS_H

#include "core/result_codes.h"
#include "core/target.h"

// Before the settings are read: holds the target's package folder and judges
// it and the settings file beside the program. When the folder cannot be held
// or others may change either, the settings file is copied first and the
// target's package moves to the copy. Goes on, or
// OUTCOME_FILES_MISSING with the Windows error when the copy cannot be made.
RunOutcome ProtectSettingsFile(Target* target);

// After the settings are read: the folder of the target's Path and the parts
// (folders or files relative to the package's folder, such as the
// prerequisite installers this Windows may start and the folders an
// extraction copies) are judged in place, or all copied when others may
// change any of them, when they hold a link or cannot be judged, or when the
// settings file was already copied. Same outcomes as ProtectSettingsFile.
RunOutcome ProtectPackageParts(Target* target, const char* const* parts, int count);

#endif
