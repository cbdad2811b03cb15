#include "log/runtime_log.h"

#include <string.h>

#include "core/result_codes.h"
#include "log/debug_report.h"
#include "log/log_files.h"
#include "log/safe_files.h"
#include "util/bounded_string.h"
#include "util/multibyte.h"

namespace {

const char kDefaultLogFile[] = "C:\\TouchPad\\log\\Setup.log";
const char kStartBanner[] = "===============> Update Package application started <===============\r\n";
const char kSeparator[] = "============================================================\r\n";
const char kRebootLine[] = "Update ready to be applied at reboot\r\n";
const char kDebugBanner[] = "\r\n================> Report Information for Debugging <================\r\n";
const char kTimeFormat[] = "%u-%u-%u %u:%u:%u\r\n";
const char kLineEnd[] = "\r\n";

int LogGateOpen(const SettingsRecord* settings)
{
    if (g_State.RuntimeLogEnabled)
        return 1;
    int supported = settings && (settings->Support & SUPPORT_RUNTIME_LOG);
    return supported && (IsSilentMode() || g_State.DriversExtracted);
}

void AppendTime(char* text, const PfSystemTime& time)
{
    char line[TEXT_CAPACITY];
    BoundedFormat(line, TEXT_CAPACITY, kTimeFormat, (unsigned)time.wYear, (unsigned)time.wMonth, (unsigned)time.wDay,
                  (unsigned)time.wHour, (unsigned)time.wMinute, (unsigned)time.wSecond);
    BoundedAppend(text, TEXT_CAPACITY, line);
}

void AppendLabelled(char* text, const char* label, const char* value)
{
    BoundedAppend(text, TEXT_CAPACITY, label);
    BoundedAppend(text, TEXT_CAPACITY, value);
    BoundedAppend(text, TEXT_CAPACITY, kLineEnd);
}

// Everything after the command line: the start date to the debugging banner.
void BuildLogTail(char* tail, PfSystemTime startTime, int result, int exitCode)
{
    tail[0] = 0;
    BoundedAppend(tail, TEXT_CAPACITY, "Date:");
    AppendTime(tail, startTime);
    BoundedAppend(tail, TEXT_CAPACITY, kSeparator);
    AppendLabelled(tail, "  Installed version:", g_State.InstalledVersion);
    AppendLabelled(tail, "  Package version:", g_State.PackageVersion);
    if (result == REBOOT_REQUIRED)
        BoundedAppend(tail, TEXT_CAPACITY, kRebootLine);
    char line[TEXT_CAPACITY];
    BoundedFormat(line, TEXT_CAPACITY, "Exit code = %d\r\n", exitCode);
    BoundedAppend(tail, TEXT_CAPACITY, line);
    PfSystemTime endTime;
    PfGetLocalTime(&endTime);
    AppendTime(tail, endTime);
    if (g_State.Debug == 1)
        BoundedAppend(tail, TEXT_CAPACITY, kDebugBanner);
}

// Appends as much of source as room allows and takes it off room.
void AppendWithin(char* text, const char* source, size_t* room)
{
    size_t used = strlen(text);
    size_t length = WholeCharsLength(source, *room);
    BoundedCopyN(text + used, TEXT_CAPACITY - used, source, length);
    *room -= length;
}

// The byte-order mark, then the text as UTF-16 little-endian without its zero.
void WriteUtf16Text(PfHandle file, const char* text)
{
    static const unsigned char kByteOrderMark[2] = {0xFF, 0xFE};
    PfWriteFile(file, kByteOrderMark, sizeof(kByteOrderMark));

    PfSetUserLocale();
    // Each ANSI byte gives at most one UTF-16 unit, so the text always fits.
    uint16_t wide[TEXT_CAPACITY];
    int units = PfAnsiToWide(text, -1, 0, 0);
    if (units <= 1 || units > TEXT_CAPACITY)
        return;
    units = PfAnsiToWide(text, -1, wide, TEXT_CAPACITY);
    if (units <= 1)
        return;
    unsigned char bytes[2 * TEXT_CAPACITY];
    for (int i = 0; i < units - 1; ++i) {
        bytes[2 * i] = (unsigned char)(wide[i] & 0xFF);
        bytes[2 * i + 1] = (unsigned char)(wide[i] >> 8);
    }
    PfWriteFile(file, bytes, (uint32_t)(2 * (units - 1)));
}

}  // namespace

void BuildLogText(ModuleHandle instance, char* out, const char* commandLine, PfSystemTime startTime, int result,
                  int exitCode)
{
    char program[PATH_CAPACITY] = "";
    PfGetModuleFileName(instance, program, PATH_CAPACITY);
    char tail[TEXT_CAPACITY];
    BuildLogTail(tail, startTime, result, exitCode);

    char text[TEXT_CAPACITY] = "";
    BoundedAppend(text, TEXT_CAPACITY, kStartBanner);
    BoundedAppend(text, TEXT_CAPACITY, "Command:");
    // The command line may be far longer than the log: it gets only the room
    // the other lines leave, so that the versions, exit code and end time stay.
    size_t fixed = strlen(text) + strlen(kLineEnd) + strlen(tail);
    size_t room = fixed < TEXT_CAPACITY - 1 ? TEXT_CAPACITY - 1 - fixed : 0;
    AppendWithin(text, program, &room);
    AppendWithin(text, " ", &room);
    AppendWithin(text, commandLine ? commandLine : "", &room);
    BoundedAppend(text, TEXT_CAPACITY, kLineEnd);
    BoundedAppend(text, TEXT_CAPACITY, tail);
    BoundedCopy(out, TEXT_CAPACITY, text);
}

void WriteRuntimeLog(ModuleHandle instance, const char* commandLine, int result, int exitCode,
                     PfSystemTime startTime, const SettingsRecord* settings)
{
    if (!LogGateOpen(settings))
        return;
    if (IsReportMode(commandLine)) {
        WriteReportAt(g_State.LogFilePath);
        return;
    }
    // The default log's folders sit where any user may make folders first:
    // they are the program's own, protected before use. Nobody else may open
    // the log itself: a reader would keep the next run from replacing it.
    HeldPath held;
    if (!HoldFolderOf(kDefaultLogFile, HOLD_CREATE_MISSING | HOLD_PROTECT | HOLD_PRIVATE, &held))
        return;
    FileBeside beside;
    if (CreateFileBeside(HeldFolder(&held), FileNameOf(kDefaultLogFile), kDefaultLogFile, 0, &beside)) {
        char text[TEXT_CAPACITY];
        BuildLogText(instance, text, commandLine, startTime, result, exitCode);
        WriteUtf16Text(beside.file, text);
        FinishLogFile(&beside);
    }
    ReleaseFolderPath(&held);
}
