#include "checker/report.h"

#include "checker/findings.h"
#include "checker/rows.h"
#include "checker/targeting.h"
#include "util/platform.h"

namespace {

const char* const kVerdicts[] = {"OK", "WARNING", "ERROR"};

// A control byte of package text as an escape: a CR, LF or ESC written raw
// could forge a line of the report or drive the terminal that shows it.
// Neither such byte nor DEL is ever the second byte of a double-byte character.
void PrintControl(FILE* out, unsigned char c)
{
    if (c == '\r')
        fputs("\\r", out);
    else if (c == '\n')
        fputs("\\n", out);
    else if (c == '\t')
        fputs("\\t", out);
    else
        fprintf(out, "\\x%02X", c);
}

void PrintEscaped(FILE* out, const char* text)
{
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
        if (*p < 0x20 || *p == 0x7F)
            PrintControl(out, *p);
        else
            fputc(*p, out);
    }
}

// A box text on one line: the box's own CR LF line breaks shown as "\n".
void PrintOneLine(FILE* out, const char* text)
{
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
        if (*p == '\r')
            continue;
        if (*p < 0x20 || *p == 0x7F)
            PrintControl(out, *p);
        else
            fputc(*p, out);
    }
}

void PrintGroup(FILE* out, int row)
{
    for (int i = 0; i < FindingCount(); ++i) {
        const Finding* finding = GetFinding(i);
        if (finding->row != row)
            continue;
        fprintf(out, "%-8s", kVerdicts[finding->verdict]);
        PrintEscaped(out, finding->text);
        if (!finding->refuses) {
            fputc('\n', out);
            continue;
        }
        fprintf(out, " -- Setup.exe: %s, ", OutcomeName(finding->outcome));
        if (finding->boxCaption[0]) {
            fputs("box \"", out);
            PrintOneLine(out, finding->boxCaption);
            fputs("\": \"", out);
            PrintOneLine(out, finding->boxText);
            fputs("\", ", out);
        } else {
            fputs("no box, ", out);
        }
        fprintf(out, "exit code %d (msi %d)\n", finding->exitCode, finding->msiExitCode);
    }
}

// A JSON string: text in the ANSI code page, written as ASCII with \u escapes.
void PrintJsonString(FILE* out, const char* text)
{
    uint16_t wide[2 * FINDING_TEXT_CAPACITY];
    int length = PfAnsiToWide(text, -1, wide, (int)(sizeof(wide) / sizeof(wide[0])));
    fputc('"', out);
    for (int i = 0; i < length && wide[i]; ++i) {
        uint16_t c = wide[i];
        if (c == '"' || c == '\\')
            fprintf(out, "\\%c", (char)c);
        else if (c >= 0x20 && c < 0x7F)
            fputc((char)c, out);
        else
            fprintf(out, "\\u%04x", (unsigned)c);
    }
    fputc('"', out);
}

void PrintJsonGroup(FILE* out, int row)
{
    const char* separator = "";
    for (int i = 0; i < FindingCount(); ++i) {
        const Finding* finding = GetFinding(i);
        if (finding->row != row)
            continue;
        fprintf(out, "%s\n      {\"verdict\": \"%s\", \"check\": ", separator, kVerdicts[finding->verdict]);
        PrintJsonString(out, finding->check);
        fputs(", \"text\": ", out);
        PrintJsonString(out, finding->text);
        if (finding->refuses) {
            fputs(", \"setup\": {\"outcome\": ", out);
            PrintJsonString(out, OutcomeName(finding->outcome));
            fputs(", \"box\": ", out);
            if (finding->boxCaption[0]) {
                fputs("{\"caption\": ", out);
                PrintJsonString(out, finding->boxCaption);
                fputs(", \"text\": ", out);
                PrintJsonString(out, finding->boxText);
                fputs("}", out);
            } else {
                fputs("null", out);
            }
            fprintf(out, ", \"exit_code\": %d, \"msi_exit_code\": %d}", finding->exitCode, finding->msiExitCode);
        }
        fputs("}", out);
        separator = ",";
    }
}

}  // namespace

void PrintReport(FILE* out, const CheckerOptions* options, int exitCode)
{
    fprintf(out, "Package %s\n", options->folder);
    PrintGroup(out, PACKAGE_GROUP);
    for (int r = 0; r < CHECKER_ROWS; ++r) {
        fprintf(out, "\n[%s] %s\n", kCheckerRows[r].section, kCheckerRows[r].windows);
        PrintGroup(out, r);
    }
    if (DroppedFindings())
        fprintf(out, "\n%d more findings left out\n", DroppedFindings());
    fprintf(out, "\n%s\n", exitCode == 2 ? "ERRORS found" : exitCode == 1 ? "WARNINGS only" : "clean");
}

void PrintJson(FILE* out, const CheckerOptions* options, int exitCode)
{
    fputs("{\n  \"package\": ", out);
    PrintJsonString(out, options->folder);
    fprintf(out, ",\n  \"exit_code\": %d,\n  \"left_out\": %d,\n  \"findings\": [", exitCode, DroppedFindings());
    PrintJsonGroup(out, PACKAGE_GROUP);
    fputs("\n  ],\n  \"rows\": [", out);
    for (int r = 0; r < CHECKER_ROWS; ++r) {
        fprintf(out, "%s\n    {\"section\": \"%s\", \"windows\": \"%s\", \"bits\": %d, \"findings\": [",
                r ? "," : "", kCheckerRows[r].section, kCheckerRows[r].windows, kCheckerRows[r].bits);
        PrintJsonGroup(out, r);
        fputs("\n    ], \"hardware_ids\": [", out);
        for (int i = 0; const char* id = TargetId(r, i); ++i) {
            fputs(i ? ", " : "", out);
            PrintJsonString(out, id);
        }
        fputs("], \"device_keys\": [", out);
        for (int i = 0; const char* key = DeviceKey(r, i); ++i) {
            fputs(i ? ", " : "", out);
            PrintJsonString(out, key);
        }
        fputs("]}", out);
    }
    fputs("\n  ]\n}\n", out);
}
