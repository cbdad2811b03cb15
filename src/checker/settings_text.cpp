#include "checker/settings_text.h"

#include <stdlib.h>
#include <string.h>

#include "checker/findings.h"
#include "checker/rows.h"
#include "util/bounded_string.h"
#include "util/platform.h"

namespace {

const int kNameCapacity = 64;
const int kValueCapacity = 96;
const int kLineCapacity = 512;
const int kMaxSections = 64;
const int kMaxKeys = 24;
const int kNearEnough = 2;              // edits between a typo and the name it was meant to be
const uint32_t kEmptyFileError = 1006;  // ERROR_FILE_INVALID: a file of no bytes cannot be mapped

struct Key {
    char name[kNameCapacity];
    char value[kValueCapacity];
    int line;
    int hasEquals;
};

struct Section {
    char name[kNameCapacity];
    int line;
    int duplicateOf;  // index of an earlier section of the same name, or -1
    int keyCount;
    int keysDropped;
    Key keys[kMaxKeys];
};

// On the heap: a table this size in the image would grow the exe by as much.
Section* g_Sections;
int g_SectionCount;
int g_SectionsDropped;
int g_LooseLines;  // lines outside any section or without a name
int g_FirstLooseLine;
char g_FirstLooseText[kNameCapacity];
int g_Readable;

const char* const kPlatformKeys[] = {"Path", "Default", "Silent", "Support", 0};
const char* const kDotNetKeys[] = {"Unnecessary_ID", 0};
const char* const kRequestKeys[] = {"CustomRequestCnt", "CustomRequest", 0};
const char kDotNetSection[] = "DotNET_Option";

int SameName(const char* a, const char* b) { return PfMbsICmp(a, b) == 0; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

// Edits (insert, delete, replace, swap of neighbours) from a to b, ignoring case.
int Distance(const char* a, const char* b)
{
    int la = (int)strlen(a), lb = (int)strlen(b);
    if (la >= kNameCapacity || lb >= kNameCapacity)
        return kNameCapacity;
    int d[kNameCapacity][kNameCapacity];
    for (int i = 0; i <= la; ++i)
        d[i][0] = i;
    for (int j = 0; j <= lb; ++j)
        d[0][j] = j;
    for (int i = 1; i <= la; ++i) {
        for (int j = 1; j <= lb; ++j) {
            int cost = Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1;
            int best = d[i - 1][j - 1] + cost;
            if (d[i - 1][j] + 1 < best)
                best = d[i - 1][j] + 1;
            if (d[i][j - 1] + 1 < best)
                best = d[i][j - 1] + 1;
            if (i > 1 && j > 1 && Lower(a[i - 1]) == Lower(b[j - 2]) && Lower(a[i - 2]) == Lower(b[j - 1]) &&
                d[i - 2][j - 2] + 1 < best)
                best = d[i - 2][j - 2] + 1;
            d[i][j] = best;
        }
    }
    return d[la][lb];
}

// The known name closest to name, when it is near enough to be a typo of it.
const char* Nearest(const char* name, const char* const* known)
{
    const char* best = 0;
    int bestDistance = kNearEnough + 1;
    for (; *known; ++known) {
        int distance = Distance(name, *known);
        if (distance < bestDistance && distance < (int)strlen(*known)) {
            best = *known;
            bestDistance = distance;
        }
    }
    return best;
}

// Reads the file's characters one by one whatever its encoding; a character
// beyond one byte becomes '?', which is all the lint needs of it.
struct TextCursor {
    const unsigned char* bytes;
    uint64_t size;
    uint64_t at;
    int unit;  // 1, or 2 for UTF-16
    int bigEndian;

    int Next()
    {
        if (at + unit > size)
            return -1;
        unsigned value = unit == 1   ? bytes[at]
                         : bigEndian ? (bytes[at] << 8) | bytes[at + 1]
                                     : bytes[at] | (bytes[at + 1] << 8);
        at += unit;
        return value < 0x100 ? (int)value : '?';
    }
};

void TrimInPlace(char* text)
{
    size_t start = 0;
    while (text[start] == ' ' || text[start] == '\t')
        ++start;
    size_t end = strlen(text);
    while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r'))
        --end;
    memmove(text, text + start, end - start);
    text[end - start] = 0;
}

void NoteLooseLine(int number, const char* text)
{
    if (g_LooseLines++ == 0) {
        g_FirstLooseLine = number;
        BoundedCopy(g_FirstLooseText, sizeof(g_FirstLooseText), text);
    }
}

void AddSection(const char* name, int number)
{
    if (!g_Sections || g_SectionCount == kMaxSections) {
        ++g_SectionsDropped;
        return;
    }
    Section* section = &g_Sections[g_SectionCount];
    memset(section, 0, sizeof(*section));
    BoundedCopy(section->name, sizeof(section->name), name);
    section->line = number;
    section->duplicateOf = -1;
    for (int i = 0; i < g_SectionCount; ++i)
        if (section->duplicateOf < 0 && SameName(g_Sections[i].name, name))
            section->duplicateOf = i;
    ++g_SectionCount;
}

void AddKey(char* line, int number)
{
    Section* section = g_SectionCount > 0 ? &g_Sections[g_SectionCount - 1] : 0;
    char* equals = strchr(line, '=');
    if (equals)
        *equals = 0;
    char name[kNameCapacity];
    BoundedCopy(name, sizeof(name), line);
    TrimInPlace(name);
    if (!section || !name[0]) {
        NoteLooseLine(number, line);
        return;
    }
    if (section->keyCount == kMaxKeys) {
        ++section->keysDropped;
        return;
    }
    Key* key = &section->keys[section->keyCount++];
    BoundedCopy(key->name, sizeof(key->name), name);
    key->line = number;
    key->hasEquals = equals != 0;
    BoundedCopy(key->value, sizeof(key->value), equals ? equals + 1 : "");
}

void ParseLine(char* line, int number)
{
    size_t start = 0;
    while (line[start] == ' ' || line[start] == '\t')
        ++start;
    char* text = line + start;
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == ' ' || text[length - 1] == '\t'))
        text[--length] = 0;
    if (!text[0] || text[0] == ';')
        return;
    if (text[0] == '[') {
        char* close = strchr(text, ']');
        if (!close) {
            NoteLooseLine(number, text);
            return;
        }
        *close = 0;
        char name[kNameCapacity];
        BoundedCopy(name, sizeof(name), text + 1);
        TrimInPlace(name);
        AddSection(name, number);
        return;
    }
    AddKey(text, number);
}

void ParseText(TextCursor* cursor)
{
    char line[kLineCapacity];
    size_t length = 0;
    int number = 1;
    for (;;) {
        int c = cursor->Next();
        if (c < 0 || c == '\n') {
            line[length] = 0;
            ParseLine(line, number++);
            length = 0;
            if (c < 0)
                return;
            continue;
        }
        if (length + 1 < sizeof(line))
            line[length++] = (char)c;
    }
}

// Picks the encoding from the byte-order mark and says what Windows' reader makes of it.
void ReadEncoding(TextCursor* cursor)
{
    const unsigned char* b = cursor->bytes;
    uint64_t size = cursor->size;
    cursor->unit = 1;
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        cursor->unit = 2;
        cursor->at = 2;
        AddFinding(PACKAGE_GROUP, VERDICT_OK, "encoding", "settings file saved as UTF-16 with a byte-order mark");
        return;
    }
    if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        cursor->unit = 2;
        cursor->bigEndian = 1;
        cursor->at = 2;
        AddFinding(PACKAGE_GROUP, VERDICT_WARNING, "encoding",
                   "settings file saved as UTF-16 big-endian, which Windows' settings reader does not read; "
                   "save it as ANSI (or UTF-16 little-endian)");
        return;
    }
    if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        cursor->at = 3;
        AddFinding(PACKAGE_GROUP, VERDICT_WARNING, "encoding",
                   "settings file saved as UTF-8 with a byte-order mark: Windows' settings reader takes the mark "
                   "as part of the first line, so the first section is not found on Windows; save it as ANSI");
        return;
    }
    if (memchr(b, 0, (size_t)size)) {
        AddFinding(PACKAGE_GROUP, VERDICT_WARNING, "encoding",
                   "settings file holds zero bytes (UTF-16 without a byte-order mark, or not text at all): "
                   "Windows' settings reader cannot read it; save it as ANSI");
        g_Readable = 0;
    }
}

const char* const* KnownKeysOf(const char* section)
{
    if (RowOfSection(section) >= 0)
        return kPlatformKeys;
    if (SameName(section, kDotNetSection))
        return kDotNetKeys;
    return 0;
}

int HasRequestKey(const Section* section)
{
    for (int k = 0; k < section->keyCount; ++k)
        for (const char* const* known = kRequestKeys; *known; ++known)
            if (SameName(section->keys[k].name, *known))
                return 1;
    return 0;
}

// The row a finding about this section belongs to: its own, or the one of the
// platform section it is a typo of.
int RowFor(const char* section)
{
    int row = RowOfSection(section);
    if (row >= 0)
        return row;
    static const char* platformSections[CHECKER_ROWS + 1];
    for (int r = 0; r < CHECKER_ROWS; ++r)
        platformSections[r] = kCheckerRows[r].section;
    const char* near = Nearest(section, platformSections);
    return near ? RowOfSection(near) : PACKAGE_GROUP;
}

void LintUnknownSection(const Section* section)
{
    static const char* known[CHECKER_ROWS + 2];
    for (int r = 0; r < CHECKER_ROWS; ++r)
        known[r] = kCheckerRows[r].section;
    known[CHECKER_ROWS] = kDotNetSection;
    const char* near = Nearest(section->name, known);
    if (near)
        AddFinding(RowFor(section->name), VERDICT_WARNING, "unknown-section",
                   "section [%s] (line %d) is never read by Setup.exe; did you mean [%s]?", section->name,
                   section->line, near);
    else
        AddFinding(PACKAGE_GROUP, VERDICT_WARNING, "unknown-section",
                   "section [%s] (line %d) is never read by Setup.exe: it is no platform section "
                   "(W864, W832, W764, W732, Vi64, Vi32, XP64, XP32), not DotNET_Option, and has no "
                   "CustomRequestCnt or CustomRequest key of a custom request",
                   section->name, section->line);
}

void LintKeys(const Section* section, const char* const* known)
{
    int row = RowFor(section->name);
    for (int k = 0; k < section->keyCount; ++k) {
        const Key* key = &section->keys[k];
        if (!key->hasEquals) {
            AddFinding(row, VERDICT_WARNING, "no-value",
                       "line %d of [%s] has no \"=\": Setup.exe reads nothing from \"%s\"", key->line, section->name,
                       key->name);
            continue;
        }
        const char* const* match = known;
        while (*match && !SameName(*match, key->name))
            ++match;
        if (!*match) {
            const char* near = Nearest(key->name, known);
            AddFinding(row, VERDICT_WARNING, "unknown-key",
                       "key %s in [%s] (line %d) is never read by Setup.exe%s%s%s", key->name, section->name,
                       key->line, near ? "; did you mean " : "", near ? near : "", near ? "?" : "");
            continue;
        }
        for (int earlier = 0; earlier < k; ++earlier)
            if (SameName(section->keys[earlier].name, key->name)) {
                AddFinding(row, VERDICT_WARNING, "duplicate-key",
                           "%s appears twice in [%s] (lines %d and %d): Setup.exe reads only one of them", key->name,
                           section->name, section->keys[earlier].line, key->line);
                break;
            }
    }
    if (section->keysDropped)
        AddFinding(row, VERDICT_WARNING, "unknown-key", "[%s] has %d more keys than the checker looks at",
                   section->name, section->keysDropped);
}

}  // namespace

void ReadSettingsText(const char* path)
{
    g_SectionCount = 0;
    g_SectionsDropped = 0;
    g_LooseLines = 0;
    g_Readable = 0;
    if (!g_Sections)
        g_Sections = (Section*)calloc(kMaxSections, sizeof(Section));
    PfHandle file = PfOpenFileForRead(path);
    if (!file) {
        uint32_t error = PfGetLastError();
        if (error == PF_ERROR_FILE_NOT_FOUND || error == PF_ERROR_PATH_NOT_FOUND)
            AddFinding(PACKAGE_GROUP, VERDICT_WARNING, "settings-file",
                       "no settings file %s: every row reads the defaults (Path .\\DPInst.exe, Support 0)", path);
        else
            AddFinding(PACKAGE_GROUP, VERDICT_ERROR, "settings-file", "settings file %s cannot be read (error %u)",
                       path, (unsigned)error);
        return;
    }
    const unsigned char* view = 0;
    uint64_t size = 0;
    PfHandle mapping = PfMapFileReadOnly(file, &view, &size);
    if (mapping && view) {
        AddFinding(PACKAGE_GROUP, VERDICT_OK, "settings-file", "settings file %s", path);
        TextCursor cursor = {view, size, 0, 1, 0};
        g_Readable = 1;
        ReadEncoding(&cursor);
        if (g_Readable)
            ParseText(&cursor);
    } else if (PfGetLastError() == kEmptyFileError) {
        AddFinding(PACKAGE_GROUP, VERDICT_WARNING, "settings-file",
                   "settings file %s is empty: every row reads the defaults (Path .\\DPInst.exe, Support 0)", path);
    } else {
        AddFinding(PACKAGE_GROUP, VERDICT_ERROR, "settings-file", "settings file %s cannot be read (error %u)", path,
                   (unsigned)PfGetLastError());
    }
    if (view)
        PfUnmapView(view);
    if (mapping)
        PfCloseHandle(mapping);
    PfCloseHandle(file);
}

int SettingsSectionPresent(const char* name)
{
    for (int i = 0; i < g_SectionCount; ++i)
        if (SameName(g_Sections[i].name, name))
            return 1;
    return 0;
}

const char* SettingsSectionTypo(const char* name)
{
    for (int i = 0; i < g_SectionCount; ++i) {
        const char* section = g_Sections[i].name;
        if (!KnownKeysOf(section) && !HasRequestKey(&g_Sections[i]) && RowFor(section) == RowOfSection(name))
            return section;
    }
    return 0;
}

const char* SettingsRawValue(const char* section, const char* key)
{
    for (int i = 0; i < g_SectionCount; ++i) {
        if (!SameName(g_Sections[i].name, section))
            continue;
        for (int k = 0; k < g_Sections[i].keyCount; ++k)
            if (SameName(g_Sections[i].keys[k].name, key))
                return g_Sections[i].keys[k].value;
        return 0;
    }
    return 0;
}

void LintSettingsText()
{
    for (int i = 0; i < g_SectionCount; ++i) {
        const Section* section = &g_Sections[i];
        if (section->duplicateOf >= 0) {
            AddFinding(RowFor(section->name), VERDICT_WARNING, "duplicate-section",
                       "section [%s] appears twice (lines %d and %d): Setup.exe reads only one of them; merge them",
                       section->name, g_Sections[section->duplicateOf].line, section->line);
            continue;
        }
        const char* const* known = KnownKeysOf(section->name);
        if (known)
            LintKeys(section, known);
        else if (HasRequestKey(section))
            LintKeys(section, kRequestKeys);
        else
            LintUnknownSection(section);
    }
    if (g_SectionsDropped)
        AddFinding(PACKAGE_GROUP, VERDICT_WARNING, "unknown-section", "%d more sections than the checker looks at",
                   g_SectionsDropped);
    if (g_LooseLines)
        AddFinding(PACKAGE_GROUP, VERDICT_WARNING, "unread-line",
                   "%d line%s Setup.exe cannot use (no section before it, no key name, or a section header "
                   "without \"]\"), the first at line %d: \"%s\"",
                   g_LooseLines, g_LooseLines == 1 ? "" : "s", g_FirstLooseLine, g_FirstLooseText);
}
