#include "config/command_line.h"

#include <string.h>

#include "core/result_codes.h"
#include "util/bounded_string.h"
// The one include that runs up a floor: the EXTRACTDRIVERS property extracts
// the drivers while the command line is read, before the run goes on.
#include "actions/extraction.h"

namespace {

const int kMaxTokens = 7;
const size_t kModeSwitchCapacity = 11;
const size_t kCustomRequestCapacity = 11;
const size_t kExtractTargetCapacity = 520;

// Value cuts try these names in this order, not in the order they occur.
const char* const kPropertyNames[] = {"EXTRACTDRIVERS", "FORCE", "FRESHINSTALL", "FORCERESTART", "LOGFILE", "DEBUG"};

// Bytes taken by the character at text: two for a lead byte with its trail.
size_t CharLength(const char* text) { return (PfIsLeadByte((unsigned char)text[0]) && text[1] != 0) ? 2 : 1; }

// Start of the last whole character that begins before index (index > 0).
size_t LastCharStart(const char* text, size_t index)
{
    size_t start = 0;
    for (size_t i = 0; i < index; i += CharLength(text + i))
        start = i;
    return start;
}

// Copies at most count bytes, never splitting a double-byte character at the cut.
void CopyWholeChars(char* destination, size_t capacity, const char* source, size_t count)
{
    size_t limit = count < capacity - 1 ? count : capacity - 1;
    size_t taken = 0;
    while (taken < limit && source[taken] != 0) {
        size_t next = taken + CharLength(source + taken);
        if (next > limit)
            break;
        taken = next;
    }
    BoundedCopyN(destination, capacity, source, taken);
}

// Drops one leading double quote and then, when text remains, one final one.
void StripQuotes(const char** text, size_t* length)
{
    if (*length > 0 && (*text)[0] == '"') {
        ++*text;
        --*length;
    }
    if (*length > 0 && (*text)[*length - 1] == '"')
        --*length;
}

// Case-insensitive over ASCII only, as the C runtime compares in the "C" locale.
int EqualsIgnoringAsciiCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        char ca = (*a >= 'A' && *a <= 'Z') ? (char)(*a + 32) : *a;
        char cb = (*b >= 'A' && *b <= 'Z') ? (char)(*b + 32) : *b;
        if (ca != cb)
            return 0;
        if (ca == 0)
            return 1;
    }
}

// The value of "NAME=" in token: quotes dropped, then cut before the first
// property name of the list that it holds, together with the character
// before that name (normally the blank that separates two properties).
void PropertyValue(const char* token, const char* nameWithEquals, char* value, size_t capacity)
{
    const char* start = strstr(token, nameWithEquals) + strlen(nameWithEquals);
    size_t length = strlen(start);
    StripQuotes(&start, &length);
    CopyWholeChars(value, capacity, start, length);
    for (const char* name : kPropertyNames) {
        const char* found = strstr(value, name);
        if (found) {
            size_t index = (size_t)(found - value);
            value[index == 0 ? 0 : LastCharStart(value, index)] = 0;
            return;
        }
    }
}

// 1 for "true", 0 for "false", -1 for anything else.
int TrueFalse(const char* value)
{
    if (EqualsIgnoringAsciiCase(value, "true"))
        return 1;
    if (EqualsIgnoringAsciiCase(value, "false"))
        return 0;
    return -1;
}

// Sets flag from "NAME=true|false" when the token holds it; 0, or UNKNOWN_OPTION.
int ParseFlagProperty(const char* token, const char* nameWithEquals, int* flag)
{
    if (!strstr(token, nameWithEquals))
        return 0;
    char value[PATH_CAPACITY];
    PropertyValue(token, nameWithEquals, value, sizeof(value));
    int parsed = TrueFalse(value);
    if (parsed < 0)
        return UNKNOWN_OPTION;
    *flag = parsed;
    return 0;
}

int IsModeSwitch(const char* token)
{
    return PfMbsICmp(token, "/q") == 0 || PfMbsICmp(token, "/s") == 0 || PfMbsICmp(token, "/?") == 0 ||
           PfMbsICmp(token, "/extract_all") == 0;
}

// Length of the token that starts at the "/" in slash: up to, not including,
// the character before the next "/", without trailing blanks.
size_t TokenLength(const char* slash)
{
    const char* next = PfMbsStr(slash + 1, "/");
    size_t length = next ? LastCharStart(slash, (size_t)(next - slash)) : strlen(slash);
    while (length > 0 && slash[length - 1] == ' ')
        --length;
    return length;
}

}  // namespace

int ParseCommandLine(const char* typed, char* commandLine, char* customRequestSection, ModuleHandle instance,
                     const SettingsRecord* settings)
{
    char token[PATH_CAPACITY] = "";
    char modeSwitch[kModeSwitchCapacity] = "";
    char propertyText[PATH_CAPACITY] = "";
    int sawModeSwitch = 0;
    int publicProperties = (settings->Support & SUPPORT_PUBLIC_PROPERTIES) != 0;

    const char* cursor = typed;
    for (int count = 0; count < kMaxTokens; ++count) {
        const char* slash = PfMbsStr(cursor, "/");
        if (!slash)
            break;
        CopyWholeChars(token, sizeof(token), slash, TokenLength(slash));

        int result = 0;
        if (IsModeSwitch(token)) {
            CopyWholeChars(modeSwitch, sizeof(modeSwitch), token, strlen(token));
            sawModeSwitch = 1;
        } else if (PfMbsNICmp(token, "/v", 2) == 0) {
            if (publicProperties) {
                BoundedCopy(propertyText, sizeof(propertyText), token);
                result = ParsePublicProperties(instance, propertyText);
            }
        } else if (PfMbsNICmp(token, "/f", 2) == 0) {
            if (publicProperties) {
                BoundedCopy(propertyText, sizeof(propertyText), token);
                result = ParseLogFileSwitch(instance, propertyText);
            }
        } else {
            // A token cut down to nothing ("//") names an empty request too.
            const char* name = token[0] ? token + 1 : token;
            CopyWholeChars(customRequestSection, kCustomRequestCapacity, name, strlen(name));
        }
        if (result == UNKNOWN_OPTION || result == DEP_SOFT_ERROR)
            return result;

        cursor = slash + 1;
        if (*cursor == 0)
            break;
    }

    if (sawModeSwitch)
        BoundedCopy(commandLine, PATH_CAPACITY, modeSwitch);
    return g_State.DriversExtracted ? EXTRACT_DONE : 0;
}

int ParsePublicProperties(ModuleHandle instance, const char* token)
{
    if (!strstr(token, "/v"))
        return 0;
    if (strstr(token, "EXTRACTDRIVERS=")) {
        char target[kExtractTargetCapacity];
        PropertyValue(token, "EXTRACTDRIVERS=", target, sizeof(target));
        g_State.DriversExtracted = 1;
        return ExtractDrivers(instance, target);
    }

    if (ParseFlagProperty(token, "FORCE=", &g_State.Force) != 0 ||
        ParseFlagProperty(token, "FRESHINSTALL=", &g_State.FreshInstall) != 0 ||
        ParseFlagProperty(token, "FORCERESTART=", &g_State.ForceRestart) != 0)
        return UNKNOWN_OPTION;

    if (strstr(token, "LOGFILE=")) {
        char value[PATH_CAPACITY];
        PropertyValue(token, "LOGFILE=", value, sizeof(value));
        if (value[0])
            BoundedCopy(g_State.LogFilePath, PATH_CAPACITY, value);
    }

    // "false" leaves Debug as "/f2DEBUG" may have set it.
    int debug = 0;
    if (ParseFlagProperty(token, "DEBUG=", &debug) != 0)
        return UNKNOWN_OPTION;
    if (debug)
        g_State.Debug = 1;
    return 0;
}

int ParseLogFileSwitch(ModuleHandle, const char* token)
{
    if (strncmp(token, "/f2", 3) != 0)
        return 0;
    const char* path = token + 3;
    if (strncmp(token, "/f2DEBUG", 8) == 0) {
        g_State.Debug = 1;
        path = token + 8;
    }
    // One separator character of any kind follows the marker.
    if (*path)
        path += CharLength(path);

    size_t length = strlen(path);
    StripQuotes(&path, &length);
    if (length > 0)
        CopyWholeChars(g_State.LogFilePath, PATH_CAPACITY, path, length);
    return 0;
}
