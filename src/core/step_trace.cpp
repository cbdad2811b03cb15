#include "core/step_trace.h"

#include <stdarg.h>

#include "core/held_folders.h"
#include "util/bounded_string.h"

namespace {

const uint32_t kTextCapacity = 4096;                    // one event as formatted
const uint32_t kLineCapacity = kTextCapacity * 4 + 64;  // escaped, in UTF-8, with its stamp
// Ordinary lines stop this far below the limit, so that the notice of the cut
// and the run's last line always fit.
const uint32_t kReserve = kLineCapacity + 128;
const int kNameAttempts = 100;
const char kCutNotice[] = "Trace limit reached: the steps up to the last line are left out";

PfHandle g_file;
uint32_t g_written;
int g_cut;
char g_path[PATH_CAPACITY];
char g_text[kTextCapacity];
uint16_t g_wide[kTextCapacity];
char g_line[kLineCapacity];

// Appends one character (a UTF-16 unit or a surrogate pair) as UTF-8, control
// characters escaped C-style. The caller leaves room for 4 bytes.
size_t PutChar(char* out, uint32_t c)
{
    static const char kHex[] = "0123456789ABCDEF";
    if (c < 0x20) {
        out[0] = '\\';
        out[1] = c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\t' ? 't' : 'x';
        if (out[1] != 'x')
            return 2;
        out[2] = kHex[c >> 4];
        out[3] = kHex[c & 0xF];
        return 4;
    }
    if (c < 0x80) {
        out[0] = (char)c;
        return 1;
    }
    if (c < 0x800) {
        out[0] = (char)(0xC0 | (c >> 6));
        out[1] = (char)(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = (char)(0xE0 | (c >> 12));
        out[1] = (char)(0x80 | ((c >> 6) & 0x3F));
        out[2] = (char)(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = (char)(0xF0 | (c >> 18));
    out[1] = (char)(0x80 | ((c >> 12) & 0x3F));
    out[2] = (char)(0x80 | ((c >> 6) & 0x3F));
    out[3] = (char)(0x80 | (c & 0x3F));
    return 4;
}

// The stamped, escaped UTF-8 line for g_text in g_line; returns its length.
size_t BuildLine()
{
    PfSystemTime now;
    PfGetLocalTime(&now);
    BoundedFormat(g_line, kLineCapacity, "%04u-%02u-%02u %02u:%02u:%02u.%03u  ", (unsigned)now.wYear,
                  (unsigned)now.wMonth, (unsigned)now.wDay, (unsigned)now.wHour, (unsigned)now.wMinute,
                  (unsigned)now.wSecond, (unsigned)now.wMilliseconds);
    size_t length = 0;
    while (g_line[length])
        ++length;
    // The text is in the ANSI code page; UTF-16 is the way to UTF-8.
    int units = PfAnsiToWide(g_text, -1, g_wide, (int)kTextCapacity);
    if (units <= 0) {  // unconvertible: keep what is plain ASCII
        for (units = 0; g_text[units]; ++units)
            g_wide[units] = (unsigned char)g_text[units] < 0x80 ? (unsigned char)g_text[units] : '?';
        g_wide[units++] = 0;
    }
    for (int i = 0; i < units && g_wide[i]; ++i) {
        uint32_t c = g_wide[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && g_wide[i + 1] >= 0xDC00 && g_wide[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (g_wide[++i] - 0xDC00);
        length += PutChar(g_line + length, c);
    }
    g_line[length++] = '\r';
    g_line[length++] = '\n';
    return length;
}

void Write(const void* bytes, size_t length)
{
    if (!PfWriteFile(g_file, bytes, (uint32_t)length)) {
        // A full disk or a lost volume: stop tracing rather than leave torn lines.
        PfCloseHandle(g_file);
        g_file = 0;
        return;
    }
    g_written += (uint32_t)length;
}

void Emit(int last)
{
    size_t length = BuildLine();
    uint32_t room = last ? STEP_TRACE_LIMIT : STEP_TRACE_LIMIT - kReserve;
    if (g_written + length <= room) {
        Write(g_line, length);
        return;
    }
    if (!g_cut) {
        g_cut = 1;
        BoundedCopy(g_text, kTextCapacity, kCutNotice);
        Write(g_line, BuildLine());
    }
}

// Callers may be about to report GetLastError's value: tracing keeps it.
void FormatAndEmit(int last, const char* format, va_list args)
{
    if (!g_file)
        return;
    uint32_t lastError = PfGetLastError();
    BoundedFormatV(g_text, kTextCapacity, format, args);
    Emit(last);
    PfSetLastError(lastError);
}

}  // namespace

uint32_t TempFolder(char* folder)
{
    ModuleHandle kernel = PfGetModuleHandle("kernel32.dll");
    PfProc tempPath2 = kernel ? PfGetProcAddress(kernel, "GetTempPath2A") : 0;
    if (tempPath2)
        return PfCallGetTempPath2A(tempPath2, folder, (uint32_t)PATH_CAPACITY);
    return PfGetTempPath(folder, (uint32_t)PATH_CAPACITY);
}

void TraceProgramName(ModuleHandle instance, char* program)
{
    if (PfGetModuleFileName(instance, program, (uint32_t)PATH_CAPACITY) == 0)
        BoundedCopy(program, PATH_CAPACITY, "Setup");
    PfPathStripPath(program);
    PfPathRemoveExtension(program);
}

int OpenStepTrace(ModuleHandle instance, const PfSystemTime* startTime)
{
    uint32_t lastError = PfGetLastError();
    char folder[PATH_CAPACITY];
    char program[PATH_CAPACITY];
    char name[PATH_CAPACITY];
    g_file = 0;
    g_written = 0;
    g_cut = 0;
    g_path[0] = 0;
    HeldPath held;
    uint32_t length = TempFolder(folder);
    if (length == 0 || length >= (uint32_t)PATH_CAPACITY || !HoldFolderPath(folder, HOLD_EXISTING, &held)) {
        PfSetLastError(lastError);
        return 0;
    }
    TraceProgramName(instance, program);
    // Any user may make entries in the temporary folder, and may read the
    // program, start time and process id from the process list: the random
    // part keeps them from preparing the name, and a name that exists in any
    // form, a link included, is never opened.
    for (int attempt = 1; attempt <= kNameAttempts && !g_file; ++attempt) {
        uint32_t random = 0;
        if (!PfGenRandom(&random, sizeof(random)))
            random = (uint32_t)attempt * 0x9E3779B9u;
        BoundedFormat(name, PATH_CAPACITY, "%s_%04u%02u%02u_%02u%02u%02u_%u_%08x.log", program,
                      (unsigned)startTime->wYear, (unsigned)startTime->wMonth, (unsigned)startTime->wDay,
                      (unsigned)startTime->wHour, (unsigned)startTime->wMinute, (unsigned)startTime->wSecond,
                      (unsigned)PfGetCurrentProcessId(), (unsigned)random);
        BoundedCopy(g_path, PATH_CAPACITY, folder);
        if (!PfPathAppend(g_path, name))
            break;
        g_file = PfNtCreateFile(
            HeldFolder(&held), name, PF_GENERIC_WRITE | PF_SYNCHRONIZE, PF_FILE_SHARE_READ, PF_FILE_CREATE,
            PF_FILE_NON_DIRECTORY_FILE | PF_FILE_SYNCHRONOUS_IO_NONALERT | PF_FILE_OPEN_REPARSE_POINT, 0);
        if (!g_file && PfGetLastError() != PF_ERROR_FILE_EXISTS)
            break;
    }
    ReleaseFolderPath(&held);
    if (g_file) {
        static const unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
        Write(kByteOrderMark, sizeof(kByteOrderMark));
    }
    if (!g_file)
        g_path[0] = 0;
    PfSetLastError(lastError);
    return g_file != 0;
}

void TraceLine(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatAndEmit(0, format, args);
    va_end(args);
}

void CloseStepTrace(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatAndEmit(1, format, args);
    va_end(args);
    if (g_file)
        PfCloseHandle(g_file);
    g_file = 0;
}

const char* StepTracePath() { return g_path; }
