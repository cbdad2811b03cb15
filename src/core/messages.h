// Localized message boxes and the usage screen.
#ifndef SETUP_CORE_MESSAGES_H
#define SETUP_CORE_MESSAGES_H

#include <stdint.h>

#include "core/result_codes.h"
#include "core/setup_state.h"

// String table ids, present in every language.
enum StringId : uint32_t {
    IDS_CAPTION = 1,
    IDS_UNSUPPORTED_OS = 2,
    IDS_FILES_MISSING = 3,
    IDS_SAME_VERSION = 4,
    IDS_OLDER_VERSION = 5,
    IDS_LAUNCH_FAILED = 6,
};

const int USAGE_CAPACITY = 2048;

// Yes/No question with the question icon; returns MessageBoxA's answer.
int AskYesNo(ModuleHandle instance, uint32_t textId, uint32_t captionId, uint32_t extraStyle);
// A box as it would be shown: text, caption and MessageBoxA style.
struct BoxText {
    char text[PATH_CAPACITY];
    char caption[PATH_CAPACITY];
    uint32_t style;
};

// The box a refusal tells the user with; 0 for an outcome that shows none.
int DescribeRefusalBox(ModuleHandle instance, const RunOutcome* end, BoxText* box);
// Shows that box, if there is one, through the one box routine.
void ShowRefusalBox(ModuleHandle instance, const RunOutcome* end);
// Builds the "/?" text for the package's Support bits into a 2048-character buffer.
void BuildUsageText(const SettingsRecord* settings, char* out, int capacity);
// Shows the "/?" screen.
void ShowUsage(ModuleHandle instance, const SettingsRecord* settings);

#endif
