#include "checker/findings.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "util/bounded_string.h"

namespace {

// A hostile package (thousands of unknown keys) must not grow the report without end.
const int kMaxFindings = 400;

// On the heap: a table this size in the image would grow the exe by as much.
Finding* g_Findings;
Finding g_Scratch;
int g_Count;
int g_Dropped;
int g_Worst;

}  // namespace

void ClearFindings()
{
    if (!g_Findings)
        g_Findings = (Finding*)calloc(kMaxFindings, sizeof(Finding));
    g_Count = 0;
    g_Dropped = 0;
    g_Worst = VERDICT_OK;
}

Finding* AddFinding(int row, int verdict, const char* check, const char* format, ...)
{
    if (verdict > g_Worst)
        g_Worst = verdict;
    Finding* finding = &g_Scratch;
    if (g_Findings && g_Count < kMaxFindings)
        finding = &g_Findings[g_Count++];
    else
        ++g_Dropped;
    memset(finding, 0, sizeof(*finding));
    finding->row = row;
    finding->verdict = verdict;
    BoundedCopy(finding->check, sizeof(finding->check), check);
    va_list arguments;
    va_start(arguments, format);
    BoundedFormatV(finding->text, sizeof(finding->text), format, arguments);
    va_end(arguments);
    return finding;
}

int FindingCount() { return g_Count; }

const Finding* GetFinding(int index) { return &g_Findings[index]; }

int DroppedFindings() { return g_Dropped; }

int FindingsExitCode() { return g_Worst; }
