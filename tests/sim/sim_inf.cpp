// The simulated machine: the INF parser (Win4 style), reading files the way
// the platform's parser does: UTF-16 and single-byte files, [Strings]
// substitution at read time, quotes, comments, continuation lines, merged
// repeated sections, and ANSI answers with the platform's buffer rules.
#include <iconv.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim.h"
#include "sim/sim_internal.h"

namespace sim {

namespace {

const uint32_t kErrorExpectedSectionName = 0xE0000000u;
const uint32_t kErrorBadSectionNameLine = 0xE0000001u;
const uint32_t kErrorSectionNameTooLong = 0xE0000002u;
const uint32_t kErrorWrongInfStyle = 0xE0000100u;
const uint32_t kErrorLineNotFound = 0xE0000102u;
const uint32_t kErrorAccessDenied = 5;
const uint32_t kErrorInvalidParameter = 87;
const uint32_t kErrorFileInvalid = 0x3EE;

const size_t kMaxField = 511;        // longer values are cut without an error
const size_t kMaxSectionName = 255;  // longer names refuse the file

struct InfLine {
    bool hasKey = false;
    std::u16string key;
    std::vector<std::u16string> fields;  // as written, quotes removed, not yet substituted
};

struct InfSection {
    std::vector<InfLine> lines;  // every block of the same name, in file order
};

struct InfFile {
    std::vector<InfSection> sections;
    std::map<std::u16string, size_t> sectionIndex;     // folded name -> section
    std::map<std::u16string, std::u16string> strings;  // folded token -> value
    std::u16string windowsFolder, systemFolder;
};

std::map<PfHandle, std::shared_ptr<InfFile>> g_infs;
int g_errorLine = -1;

const InfFile* OpenInf(PfHandle handle)
{
    auto found = g_infs.find(handle);
    if (found == g_infs.end() || !Machine().openHandles.count(handle) || !FindHandle(handle, HandleKind::Inf))
        return 0;
    return found->second.get();
}

// Names and keys ignore the letter case of ASCII letters only: the platform
// tells "[modèles]" from "MODÈLES".
char16_t Fold(char16_t c) { return c >= 'A' && c <= 'Z' ? (char16_t)(c + 32) : c; }

std::u16string Folded(const std::u16string& text)
{
    std::u16string folded = text;
    for (char16_t& c : folded)
        c = Fold(c);
    return folded;
}

// ---- decoding ---------------------------------------------------------------

std::u16string FromUtf16Le(const std::string& bytes, size_t start)
{
    std::u16string text;
    text.reserve((bytes.size() - start) / 2);
    for (size_t i = start; i + 1 < bytes.size(); i += 2)
        text += (char16_t)((unsigned char)bytes[i] | ((unsigned char)bytes[i + 1] << 8));
    return text;
}

std::u16string FromUtf8(const std::string& bytes, size_t start)
{
    std::u16string text;
    text.reserve(bytes.size() - start);
    size_t i = start;
    while (i < bytes.size()) {
        unsigned char lead = (unsigned char)bytes[i];
        int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        uint32_t code = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
        bool valid = extra >= 0 && i + extra < bytes.size();
        for (int k = 1; valid && k <= extra; ++k) {
            unsigned char trail = (unsigned char)bytes[i + k];
            valid = (trail & 0xC0) == 0x80;
            code = (code << 6) | (trail & 0x3F);
        }
        if (!valid) {
            text += (char16_t)0xFFFD;
            ++i;
            continue;
        }
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            text += (char16_t)(0xD800 + (code >> 10));
            text += (char16_t)(0xDC00 + (code & 0x3FF));
        } else {
            text += (char16_t)code;
        }
    }
    return text;
}

// UTF-16 as the platform tells it: an even size, and in the first 256
// characters (a last zero byte not counted) a byte-order mark or a zero byte,
// but no U+0000 and no byte-swapped tab, line feed, carriage return or blank.
bool LooksUtf16(const std::string& bytes)
{
    size_t size = bytes.size();
    if (size % 2 != 0 || size == 0)
        return false;
    if (bytes[size - 1] == 0)
        --size;
    size_t units = std::min<size_t>(size / 2, 256);
    bool zeroByte = false;
    for (size_t i = 0; i < units; ++i) {
        unsigned low = (unsigned char)bytes[2 * i], high = (unsigned char)bytes[2 * i + 1];
        unsigned unit = low | (high << 8);
        if (unit == 0 || unit == 0x0900 || unit == 0x0A00 || unit == 0x0D00 || unit == 0x2000)
            return false;
        zeroByte = zeroByte || low == 0 || high == 0;
    }
    return zeroByte || (units > 0 && (unsigned char)bytes[0] == 0xFF && (unsigned char)bytes[1] == 0xFE);
}

// Without UTF-16 or a UTF-8 byte-order mark (followed by text) the file is
// in the ANSI code page, where zero bytes at the end count as one. A Ctrl-Z
// ends the text; a zero character inside a value reads as a space.
std::u16string DecodeInf(const std::string& bytes)
{
    std::u16string text;
    if (LooksUtf16(bytes)) {
        bool mark = (unsigned char)bytes[0] == 0xFF && (unsigned char)bytes[1] == 0xFE;
        text = FromUtf16Le(bytes, mark ? 2 : 0);
    } else if (bytes.size() > 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text = FromUtf8(bytes, 3);
    } else {
        size_t end = bytes.size();
        while (end >= 2 && bytes[end - 1] == 0 && bytes[end - 2] == 0)
            --end;
        text = AnsiToUtf16(bytes.substr(0, end));
    }
    size_t end = text.find((char16_t)0x1A);
    if (end != std::u16string::npos)
        text.erase(end);
    return text;
}

// ---- parsing ----------------------------------------------------------------

bool IsBlank(char16_t c)
{
    return (c >= 0x09 && c <= 0x0D && c != '\n') || c == ' ' || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

struct Parser {
    const std::u16string& text;
    InfFile& inf;
    size_t pos = 0;
    uint32_t line = 1;
    long section = -1;
    uint32_t strayLine = 0;  // first text outside any section
    uint32_t error = 0;
    uint32_t errorLine = 0;

    Parser(const std::u16string& source, InfFile& file) : text(source), inf(file) {}

    bool AtEnd() const { return pos >= text.size(); }
    char16_t Peek() const { return text[pos]; }
    void SkipBlanks()
    {
        while (!AtEnd() && IsBlank(Peek()))
            ++pos;
    }
    void SkipToLineEnd()
    {
        size_t end = text.find(u'\n', pos);
        pos = end == std::u16string::npos ? text.size() : end;
    }
    void PassLineEnd()
    {
        if (!AtEnd() && Peek() == '\n') {
            ++pos;
            ++line;
        }
    }

    long SectionFor(const std::u16string& name)
    {
        auto inserted = inf.sectionIndex.emplace(Folded(name), inf.sections.size());
        if (inserted.second)
            inf.sections.emplace_back();
        return (long)inserted.first->second;
    }

    // At '[': the name runs to the first ']'; the rest of the line is ignored.
    bool ParseHeader()
    {
        size_t start = ++pos;
        while (!AtEnd() && Peek() != ']' && Peek() != '\n')
            ++pos;
        if (AtEnd() || Peek() != ']')
            return Fail(kErrorBadSectionNameLine);
        if (pos - start > kMaxSectionName)
            return Fail(kErrorSectionNameTooLong);
        section = SectionFor(text.substr(start, pos - start));
        SkipToLineEnd();
        return true;
    }

    bool Fail(uint32_t code)
    {
        error = code;
        errorLine = line;
        return false;
    }

    // A backslash continues the line when only backslashes, blanks or a
    // comment follow it on this line. A run that does not is remembered, so
    // that a long run of backslashes is looked at once, not once per backslash.
    size_t plainUntil = 0;
    bool ContinuesAt(size_t at)
    {
        if (at < plainUntil)
            return false;
        while (at < text.size() && (text[at] == '\\' || IsBlank(text[at])))
            ++at;
        if (at >= text.size() || text[at] == '\n' || text[at] == ';')
            return true;
        plainUntil = at;
        return false;
    }

    void ContinueLine()
    {
        SkipToLineEnd();
        PassLineEnd();
        SkipBlanks();
    }

    // One line of a section: an optional key before the first '=' (when no
    // ',' came first), then comma-separated values. Blanks around a value are
    // dropped, blanks inside it kept; quotes keep everything up to the closing
    // quote or the line's end; a value keeps at most 511 characters.
    void ParseLine()
    {
        InfLine out;
        std::u16string field, blanks;
        bool started = false;  // the value has text (or a quote) so far
        bool keyPossible = true;
        auto append = [&](char16_t c) {
            if (field.size() < kMaxField)
                field += c;
        };
        auto takeBlanks = [&]() {
            if (started)
                for (char16_t b : blanks)
                    append(b);
            blanks.clear();
            started = true;
        };
        auto endValue = [&](std::u16string& into) {
            into = field;
            field.clear();
            blanks.clear();
            started = false;
            keyPossible = false;
        };
        while (!AtEnd() && Peek() != '\n') {
            char16_t c = Peek();
            if (c == ';') {
                SkipToLineEnd();
            } else if (c == '"') {
                takeBlanks();
                for (++pos; !AtEnd() && Peek() != '\n'; ++pos) {
                    if (Peek() == '"' && (pos + 1 >= text.size() || text[pos + 1] != '"'))
                        break;
                    pos += Peek() == '"';  // a doubled quote stands for one
                    append(Peek());
                }
                pos += !AtEnd() && Peek() == '"';
            } else if (c == ',') {
                ++pos;
                out.fields.emplace_back();
                endValue(out.fields.back());
            } else if (c == '=' && keyPossible) {
                ++pos;
                out.hasKey = true;
                endValue(out.key);
            } else if (c == '\\' && ContinuesAt(pos)) {
                blanks.clear();
                ContinueLine();
            } else if (IsBlank(c)) {
                ++pos;
                if (started)
                    blanks += c;
            } else {
                ++pos;
                takeBlanks();
                append(c == 0 ? ' ' : c);
            }
        }
        out.fields.push_back(field);
        inf.sections[(size_t)section].lines.push_back(std::move(out));
    }

    bool Parse()
    {
        while (true) {
            SkipBlanks();
            if (AtEnd())
                return true;
            char16_t c = Peek();
            if (c == '\n') {
                PassLineEnd();
            } else if (c == ';') {
                SkipToLineEnd();
            } else if (c == '[') {
                if (!ParseHeader())
                    return false;
            } else if (section < 0) {
                // Text before the first section: skipped up to a bracket or comment.
                if (!strayLine)
                    strayLine = line;
                while (!AtEnd() && Peek() != '\n' && Peek() != '[' && Peek() != ';')
                    ++pos;
            } else {
                ParseLine();
            }
        }
    }
};

// A line without '=' that holds a single value is found by that value as its key.
const std::u16string* KeyOf(const InfLine& line)
{
    if (line.hasKey)
        return &line.key;
    return line.fields.size() == 1 ? &line.fields[0] : 0;
}

const InfSection* FindSection(const InfFile& inf, const std::u16string& name)
{
    auto found = inf.sectionIndex.find(Folded(name));
    return found == inf.sectionIndex.end() ? 0 : &inf.sections[found->second];
}

void CollectStrings(InfFile& inf)
{
    const InfSection* strings = FindSection(inf, u"Strings");
    if (!strings)
        return;
    for (const InfLine& line : strings->lines)
        if (const std::u16string* key = KeyOf(line))
            inf.strings.emplace(Folded(*key), line.fields.empty() ? std::u16string() : line.fields[0]);
}

bool HasWin4Signature(const InfFile& inf)
{
    const InfSection* version = FindSection(inf, u"Version");
    if (!version)
        return false;
    for (const InfLine& line : version->lines) {
        if (!line.hasKey || Folded(line.key) != u"signature")
            continue;
        std::u16string signature = line.fields.empty() ? std::u16string() : Folded(line.fields[0]);
        return signature == u"$windows nt$" || signature == u"$chicago$" || signature == u"$windows 95$";
    }
    return false;
}

// ---- reading ----------------------------------------------------------------

// The directory ids the platform knows: false for any other number or name.
bool DirectoryId(const InfFile& inf, const std::u16string& name, std::u16string* folder)
{
    static const struct {
        const char16_t* id;
        bool system;
        const char16_t* below;
    } kIds[] = {{u"10", false, u""},      {u"11", true, u""},        {u"12", true, u"\\drivers"},
                {u"17", false, u"\\inf"}, {u"18", false, u"\\help"}, {u"20", false, u"\\fonts"}};
    for (const auto& entry : kIds)
        if (name == entry.id) {
            *folder = (entry.system ? inf.systemFolder : inf.windowsFolder) + entry.below;
            return true;
        }
    return false;
}

// Replaces %token% once, without substituting the values themselves.
std::u16string Substitute(const InfFile& inf, const std::u16string& raw)
{
    if (raw.find(u'%') == std::u16string::npos)
        return raw;
    std::u16string out;
    size_t i = 0;
    while (i < raw.size()) {
        size_t open = raw.find(u'%', i);
        size_t close = open == std::u16string::npos ? open : raw.find(u'%', open + 1);
        if (close == std::u16string::npos) {
            out.append(raw, i, std::u16string::npos);
            break;
        }
        out.append(raw, i, open - i);
        std::u16string name = raw.substr(open + 1, close - open - 1);
        i = close + 1;
        if (name.empty()) {
            out += u'%';
            continue;
        }
        auto found = inf.strings.find(Folded(name));
        if (found != inf.strings.end()) {
            out += found->second;
            continue;
        }
        std::u16string folder;
        if (DirectoryId(inf, name, &folder))
            out += folder;
        else
            out += u'%' + name + u'%';
    }
    return out;
}

const InfLine* LineAt(const PfInfContext* context, const InfFile** file)
{
    if (!context)
        return 0;
    const InfFile* open = OpenInf((PfHandle)context->currentInf);
    if (!open)
        return 0;
    const InfFile& inf = *open;
    if (context->section >= inf.sections.size() || context->line >= inf.sections[context->section].lines.size())
        return 0;
    *file = &inf;
    return &inf.sections[context->section].lines[context->line];
}

// The platform's answer rules: the size counts the zero; a buffer too small
// gets nothing and error 122; no buffer only asks for the size.
int Answer(const std::u16string& wide, char* buffer, uint32_t capacity, uint32_t* requiredSize)
{
    std::string ansi = Utf16ToAnsi(wide);
    uint32_t required = (uint32_t)ansi.size() + 1;
    if (requiredSize)
        *requiredSize = required;
    if (!buffer)
        return 1;
    if (capacity < required) {
        PfSetLastError(PF_ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(buffer, ansi.c_str(), required);
    return 1;
}

// ---- ANSI output ------------------------------------------------------------

const char16_t kHigh1252[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};

// Nearest letters for characters code page 1252 lacks (Latin Extended-A and
// the Greek letters the old OEM pages carried); others become '?'.
const char kLatinExtendedA[129] = "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi??JjKk?LlLlLlL"
                                  "lLlNnNnNn???OoOoOo??RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZz?";

char BestFit1252(char16_t c)
{
    if (c >= 0x100 && c <= 0x17F)
        return kLatinExtendedA[c - 0x100];
    if (c >= 0x2000 && c <= 0x200A)
        return ' ';
    static const struct {
        char16_t wide;
        char ansi;
    } kGreek[] = {{0x393, 'G'}, {0x398, 'T'},    {0x3A3, 'S'}, {0x3A6, 'F'}, {0x3A9, 'O'},
                  {0x3B1, 'a'}, {0x3B2, '\xDF'}, {0x3B4, 'd'}, {0x3B5, 'e'}, {0x3BC, '\xB5'},
                  {0x3C0, 'p'}, {0x3C3, 's'},    {0x3C4, 't'}, {0x3C6, 'f'}};
    for (const auto& entry : kGreek)
        if (entry.wide == c)
            return entry.ansi;
    return '?';
}

std::string Utf16To1252(const std::u16string& wide)
{
    std::string ansi;
    ansi.reserve(wide.size());
    for (char16_t c : wide) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            ansi += (char)c;
            continue;
        }
        char out = 0;
        for (int i = 0; i < 32 && !out; ++i)
            if (kHigh1252[i] == c)
                out = (char)(0x80 + i);
        if (!out)
            out = c < 0xA0 ? (char)c : BestFit1252(c);
        ansi += out;
    }
    return ansi;
}

}  // namespace

std::string Utf16ToAnsi(const std::u16string& wide)
{
    if (Machine().ansiCodePage == 1252)
        return Utf16To1252(wide);
    std::string ansi;
    std::string name = "CP" + std::to_string(Machine().ansiCodePage);
    iconv_t converter = iconv_open(name.c_str(), "UTF-16LE");
    if (converter == (iconv_t)-1)
        return std::string(wide.size(), '?');
    std::string in;
    for (char16_t c : wide) {
        in += (char)(c & 0xFF);
        in += (char)(c >> 8);
    }
    std::string out(in.size() * 2 + 4, '\0');
    char* inPtr = &in[0];
    char* outPtr = &out[0];
    size_t inLeft = in.size(), outLeft = out.size();
    while (inLeft > 0 && iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) == (size_t)-1) {
        // an unmappable character becomes '?', as WideCharToMultiByte does
        inPtr += 2;
        inLeft = inLeft >= 2 ? inLeft - 2 : 0;
        if (outLeft > 0) {
            *outPtr++ = '?';
            --outLeft;
        }
    }
    iconv_close(converter);
    ansi.assign(out.data(), out.size() - outLeft);
    return ansi;
}

int InfErrorLine() { return g_errorLine; }

int InfFieldCount(const PfInfContext* context)
{
    const InfFile* inf = 0;
    const InfLine* line = LineAt(context, &inf);
    return line ? (int)line->fields.size() : 0;
}

int InfLineCount(PfHandle handle, const char* section)
{
    const InfFile* inf = OpenInf(handle);
    if (!inf)
        return -1;
    const InfSection* lines = FindSection(*inf, AnsiToUtf16(section));
    return lines ? (int)lines->lines.size() : -1;
}

}  // namespace sim

using namespace sim;

PfHandle PfInfOpen(const char* path)
{
    g_errorLine = -1;
    SIM_FAULT_POINT(path ? path : "", 0);
    for (auto it = g_infs.begin(); it != g_infs.end();)  // forget handles a reset dropped
        it = OpenInf(it->first) ? std::next(it) : g_infs.erase(it);
    if (!path || !FileExists(path) || IsFolder(path)) {
        std::string text = path ? path : "";
        size_t slash = text.find_last_of('\\');
        bool folderThere = slash == std::string::npos || IsFolder(text.substr(0, slash));
        PfSetLastError(path && IsFolder(path) ? kErrorAccessDenied
                       : folderThere          ? PF_ERROR_FILE_NOT_FOUND
                                              : PF_ERROR_PATH_NOT_FOUND);
        return 0;
    }
    std::string bytes = ReadFile(path);
    if (bytes.empty()) {
        PfSetLastError(kErrorFileInvalid);
        return 0;
    }
    std::shared_ptr<InfFile> inf = std::make_shared<InfFile>();
    std::u16string text = DecodeInf(bytes);
    Parser parser(text, *inf);
    bool parsed = parser.Parse();
    if (parsed && parser.strayLine && !FindSection(*inf, u"Strings")) {
        parser.error = kErrorExpectedSectionName;
        parser.errorLine = parser.strayLine;
        parsed = false;
    }
    if (!parsed) {
        g_errorLine = (int)parser.errorLine;
        PfSetLastError(parser.error);
        return 0;
    }
    if (!HasWin4Signature(*inf)) {
        g_errorLine = 0;
        PfSetLastError(kErrorWrongInfStyle);
        return 0;
    }
    CollectStrings(*inf);
    inf->windowsFolder = AnsiToUtf16(Machine().windowsDirectory);
    inf->systemFolder = AnsiToUtf16(Machine().systemDirectory);
    PfHandle handle = NewHandle(HandleKind::Inf, path);
    g_infs[handle] = inf;
    return handle;
}

void PfInfClose(PfHandle inf)
{
    if (OpenInf(inf))
        PfCloseHandle(inf);
    g_infs.erase(inf);
}

int PfInfFindFirstLine(PfHandle handle, const char* section, const char* key, PfInfContext* context)
{
    SIM_FAULT_POINT(section ? section : "", 0);
    const InfFile* open = OpenInf(handle);
    if (!open || !section || !context) {
        PfSetLastError(kErrorInvalidParameter);
        return 0;
    }
    const InfFile& inf = *open;
    auto index = inf.sectionIndex.find(Folded(AnsiToUtf16(section)));
    if (index != inf.sectionIndex.end()) {
        const std::vector<InfLine>& lines = inf.sections[index->second].lines;
        std::u16string wanted = key ? Folded(AnsiToUtf16(key)) : std::u16string();
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::u16string* lineKey = KeyOf(lines[i]);
            if (key && !(lineKey && Folded(Substitute(inf, *lineKey)) == wanted))
                continue;
            context->inf = context->currentInf = (void*)handle;
            context->section = (uint32_t)index->second;
            context->line = (uint32_t)i;
            return 1;
        }
    }
    PfSetLastError(kErrorLineNotFound);
    return 0;
}

int PfInfFindNextLine(const PfInfContext* context, PfInfContext* next)
{
    SIM_FAULT_POINT("", 0);
    const InfFile* inf = 0;
    if (!LineAt(context, &inf) || !next) {
        PfSetLastError(kErrorInvalidParameter);
        return 0;
    }
    PfInfContext moved = *context;
    ++moved.line;
    if (moved.line >= inf->sections[moved.section].lines.size()) {
        PfSetLastError(kErrorLineNotFound);
        return 0;
    }
    *next = moved;
    return 1;
}

int PfInfGetStringField(const PfInfContext* context, uint32_t field, char* buffer, uint32_t capacity,
                        uint32_t* requiredSize)
{
    SIM_FAULT_POINT(std::to_string(field), 0);
    const InfFile* inf = 0;
    const InfLine* line = LineAt(context, &inf);
    if (!line) {
        PfSetLastError(kErrorInvalidParameter);
        return 0;
    }
    // A line without a key answers field 0 with its value when it has just one.
    if (field == 0 && line->hasKey)
        return Answer(Substitute(*inf, line->key), buffer, capacity, requiredSize);
    if (field == 0 && line->fields.size() == 1)
        return Answer(Substitute(*inf, line->fields[0]), buffer, capacity, requiredSize);
    if (field == 0 || field > line->fields.size())
        return 0;  // no error code and no size, as the platform does
    return Answer(Substitute(*inf, line->fields[field - 1]), buffer, capacity, requiredSize);
}

int PfInfGetLineText(const PfInfContext* context, char* buffer, uint32_t capacity, uint32_t* requiredSize)
{
    SIM_FAULT_POINT("", 0);
    const InfFile* inf = 0;
    const InfLine* line = LineAt(context, &inf);
    if (!line) {
        PfSetLastError(kErrorInvalidParameter);
        return 0;
    }
    std::u16string text;
    for (size_t i = 0; i < line->fields.size(); ++i) {
        if (i)
            text += u',';
        text += Substitute(*inf, line->fields[i]);
    }
    return Answer(text, buffer, capacity, requiredSize);
}
