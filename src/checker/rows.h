// The Windows rows Setup.exe knows: each generation and width its platform
// table tells apart, and the settings section each one reads.
#ifndef SETUP_CHECKER_ROWS_H
#define SETUP_CHECKER_ROWS_H

#include <stdint.h>

struct CheckerRow {
    const char* section;  // what the platform table loads on this row
    const char* windows;  // for the report
    uint32_t major;       // a version Windows of this row reports
    uint32_t minor;
    int bits;
};

const int CHECKER_ROWS = 8;
extern const CheckerRow kCheckerRows[CHECKER_ROWS];

// The row that reads this section (names compared without regard to case), or -1.
int RowOfSection(const char* section);

#endif
