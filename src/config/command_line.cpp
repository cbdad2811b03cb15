#include "config/command_line.h"

#include <string.h>

#include "util/bounded_string.h"
#include "util/command_text.h"
#include "util/multibyte.h"
// The one include that runs up a floor: the EXTRACTDRIVERS property extracts
// the drivers while the command line is read, before the run goes on.
#include "actions/extraction.h"

namespace {

const int kMaxTokens = 7;
const size_t kModeSwitchCapacity = 11;
const size_t kCustomRequestCapacity = 11;
const size_t kExtractTargetCapacity = 520;

// Value cuts try these names in this order, not in the order they occur.
const char* const kPropertyNames[] = {"EXTRACTDRIVERS", "FORCE", "FRESHINSTALL", "FORCERESTART",
                                      "LOGFILE",        "DEBUG", "EXITCODES",    "UNINSTALL"};

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
    BoundedCopyN(destination, capacity, source, WholeCharsLength(source, limit));
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

// Sets flag from "NAME=true|false" when the token holds it; 0, or -1 for another value.
int ParseFlagProperty(const char* token, const char* nameWithEquals, int* flag)
{
    if (!strstr(token, nameWithEquals))
        return 0;
    char value[PATH_CAPACITY];
    PropertyValue(token, nameWithEquals, value, sizeof(value));
    int parsed = TrueFalse(value);
    if (parsed < 0)
        return -1;
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

// The next token at or after cursor, cut to the token buffer; 0 when none is left.
const char* NextToken(const char* cursor, char* token)
{
    const char* slash = PfMbsStr(cursor, "/");
    if (slash)
        CopyWholeChars(token, PATH_CAPACITY, slash, TokenLength(slash));
    return slash;
}

// A token the property parser reads: "/v" in lower case, as it searches for it.
int IsPropertyToken(const char* token) { return strncmp(token, "/v", 2) == 0; }

}  // namespace

int TrueFalse(const char* value)
{
    if (EqualsIgnoringAsciiCase(value, "true"))
        return 1;
    if (EqualsIgnoringAsciiCase(value, "false"))
        return 0;
    return -1;
}

RunOutcome ParseCommandLine(const char* typed, char* commandLine, char* customRequestSection, const Target* target)
{
    const SettingsRecord* settings = &target->Settings;
    char token[PATH_CAPACITY] = "";
    char modeSwitch[kModeSwitchCapacity] = "";
    char propertyText[PATH_CAPACITY] = "";
    int sawModeSwitch = 0;
    int publicProperties = (settings->Support & SUPPORT_PUBLIC_PROPERTIES) != 0;

    const char* cursor = typed;
    for (int count = 0; count < kMaxTokens; ++count) {
        const char* slash = NextToken(cursor, token);
        if (!slash)
            break;

        RunOutcome result = GoOn();
        if (IsModeSwitch(token)) {
            CopyWholeChars(modeSwitch, sizeof(modeSwitch), token, strlen(token));
            sawModeSwitch = 1;
        } else if (PfMbsNICmp(token, "/v", 2) == 0) {
            if (publicProperties) {
                BoundedCopy(propertyText, sizeof(propertyText), token);
                result = ParsePublicProperties(target, propertyText);
            }
        } else if (PfMbsNICmp(token, "/f", 2) == 0) {
            if (publicProperties) {
                BoundedCopy(propertyText, sizeof(propertyText), token);
                ParseLogFileSwitch(propertyText);
            }
        } else {
            // A token cut down to nothing ("//") names an empty request too.
            const char* name = token[0] ? token + 1 : token;
            CopyWholeChars(customRequestSection, kCustomRequestCapacity, name, strlen(name));
        }
        if (result.outcome != OUTCOME_GO_ON)
            return result;

        cursor = slash + 1;
        if (*cursor == 0)
            break;
    }

    if (sawModeSwitch)
        BoundedCopy(commandLine, PATH_CAPACITY, modeSwitch);
    return g_State.DriversExtracted ? EndWith(OUTCOME_EXTRACTED) : GoOn();
}

RunOutcome ParsePublicProperties(const Target* target, const char* token)
{
    if (!strstr(token, "/v"))
        return GoOn();
    if (strstr(token, "EXTRACTDRIVERS=")) {
        char destination[kExtractTargetCapacity];
        PropertyValue(token, "EXTRACTDRIVERS=", destination, sizeof(destination));
        g_State.DriversExtracted = 1;
        // The properties after a finished extraction are still read.
        RunOutcome extracted = ExtractDrivers(target, destination);
        return extracted.outcome == OUTCOME_EXTRACTION_FAILED ? extracted : GoOn();
    }

    if (ParseFlagProperty(token, "FORCE=", &g_State.Force) != 0 ||
        ParseFlagProperty(token, "FRESHINSTALL=", &g_State.FreshInstall) != 0 ||
        ParseFlagProperty(token, "FORCERESTART=", &g_State.ForceRestart) != 0)
        return EndWith(OUTCOME_BAD_COMMAND_LINE);

    if (strstr(token, "LOGFILE=")) {
        char value[PATH_CAPACITY];
        PropertyValue(token, "LOGFILE=", value, sizeof(value));
        if (value[0])
            BoundedCopy(g_State.LogFilePath, PATH_CAPACITY, value);
    }

    // "false" leaves Debug as "/f2DEBUG" may have set it.
    int debug = 0;
    if (ParseFlagProperty(token, "DEBUG=", &debug) != 0)
        return EndWith(OUTCOME_BAD_COMMAND_LINE);
    if (debug)
        g_State.Debug = 1;
    return GoOn();
}

int ReadStartProperty(const char* typed, const char* nameWithEquals, int (*accepted)(const char* value), char* value,
                      size_t capacity)
{
    int found = 0;
    char token[PATH_CAPACITY] = "";
    char one[PATH_CAPACITY];
    for (const char* slash = NextToken(typed, token); slash; slash = NextToken(slash + 1, token)) {
        if (!IsPropertyToken(token) || !strstr(token, nameWithEquals))
            continue;
        PropertyValue(token, nameWithEquals, one, sizeof(one));
        BoundedCopy(value, capacity, one);
        if (!accepted(one))
            return -1;
        found = 1;
    }
    return found;
}

void ParseLogFileSwitch(const char* token)
{
    if (strncmp(token, "/f2", 3) != 0)
        return;
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
}
