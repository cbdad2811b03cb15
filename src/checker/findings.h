// What the package checker found: one line per finding, grouped by Windows row.
#ifndef SETUP_CHECKER_FINDINGS_H
#define SETUP_CHECKER_FINDINGS_H

#include "core/result_codes.h"
#include "core/setup_state.h"

enum Verdict { VERDICT_OK, VERDICT_WARNING, VERDICT_ERROR };

const int PACKAGE_GROUP = -1;  // a finding about the whole package, not one row
const int FINDING_TEXT_CAPACITY = 768;
const int BOX_TEXT_CAPACITY = 2 * PATH_CAPACITY;

struct Finding {
    int row;  // index of the checker's row, or PACKAGE_GROUP
    int verdict;
    char check[24];  // which check, for JSON readers
    char text[FINDING_TEXT_CAPACITY];
    // Where Setup.exe would refuse: the outcome, the box a user gets (none
    // when the caption is empty) and the exit code in each profile.
    int refuses;
    OutcomeKind outcome;
    char boxCaption[PATH_CAPACITY];
    char boxText[BOX_TEXT_CAPACITY];
    int exitCode;
    int msiExitCode;
};

void ClearFindings();
// Adds a finding; the text is cut to fit. Returns it for a refusal to be
// attached, or a scratch entry once the list is full.
Finding* AddFinding(int row, int verdict, const char* check, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;
int FindingCount();
const Finding* GetFinding(int index);
// How many findings did not fit the list.
int DroppedFindings();
// 2 with errors, 1 with warnings only, 0 when clean.
int FindingsExitCode();

#endif
