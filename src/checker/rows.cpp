#include "checker/rows.h"

#include "util/platform.h"

// One version each row's Windows reports; Setup.exe's platform table maps
// every version of a generation to the same section.
const CheckerRow kCheckerRows[CHECKER_ROWS] = {
    {"W864", "Windows 8, 8.1, 10 and later, 64-bit", 10, 0, 64},
    {"W832", "Windows 8, 8.1, 10 and later, 32-bit", 10, 0, 32},
    {"W764", "Windows 7, 64-bit", 6, 1, 64},
    {"W732", "Windows 7, 32-bit", 6, 1, 32},
    {"Vi64", "Windows Vista, 64-bit", 6, 0, 64},
    {"Vi32", "Windows Vista, 32-bit", 6, 0, 32},
    // 5.1 with 64 bits is the one Windows on which the prerequisite step also
    // wants the imaging component: the row checks for both installers.
    {"XP64", "Windows XP and Server 2003, 64-bit", 5, 1, 64},
    {"XP32", "Windows XP and Server 2003, 32-bit", 5, 1, 32},
};

int RowOfSection(const char* section)
{
    for (int r = 0; r < CHECKER_ROWS; ++r)
        if (PfMbsICmp(section, kCheckerRows[r].section) == 0)
            return r;
    return -1;
}
