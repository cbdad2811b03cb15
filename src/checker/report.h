// The checker's findings for a console, or as JSON.
#ifndef SETUP_CHECKER_REPORT_H
#define SETUP_CHECKER_REPORT_H

#include <stdio.h>

#include "checker/package_checker.h"

void PrintReport(FILE* out, const CheckerOptions* options, int exitCode);
void PrintJson(FILE* out, const CheckerOptions* options, int exitCode);

#endif
