// Prints what setupapi answers for an INF, as the records the host tests
// compare the simulated INF parser with (the shared corpus's FORMAT.md).
//
//   infdump.exe INF_PATH > RECORDS
//
// It opens the INF in Win4 style, reads [Version]'s DriverVer line, every
// [Manufacturer] line, and every line of the models sections those name:
// each field and line text with a large buffer, and again with a small one
// where the text needs it. The path is opened with '\\' and printed with '/'.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <setupapi.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

static const DWORD kNotWritten = 0xA5A5A5A5u;
static char g_big[65536];

static std::string Quoted(const char* bytes, size_t length)
{
    std::string out = "\"";
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = (unsigned char)bytes[i];
        char hex[8];
        if (c == '\\' || c == '"') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20 || c >= 0x7F) {
            snprintf(hex, sizeof(hex), "\\x%02X", c);
            out += hex;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

static std::string Size(DWORD size)
{
    char text[16];
    if (size == kNotWritten)
        return "-";
    snprintf(text, sizeof(text), "%lu", (unsigned long)size);
    return text;
}

static std::string Error(DWORD error)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%08lX", (unsigned long)error);
    return text;
}

struct Read {
    BOOL ok;
    DWORD required;
    std::string text;
    std::string tokens;
};

// field < 0: the line text.
static Read DoRead(INFCONTEXT* context, int field, char* buffer, DWORD capacity)
{
    Read read;
    read.required = kNotWritten;
    memset(buffer, 0xCC, capacity);
    SetLastError(0);
    read.ok = field < 0 ? SetupGetLineTextA(context, NULL, NULL, NULL, buffer, capacity, &read.required)
                        : SetupGetStringFieldA(context, (DWORD)field, buffer, capacity, &read.required);
    if (read.ok) {
        read.text.assign(buffer, strnlen(buffer, capacity));
        read.tokens = "OK " + Size(read.required) + " " + Quoted(read.text.data(), read.text.size());
        return read;
    }
    read.tokens = "FAIL " + Error(GetLastError()) + " " + Size(read.required);
    size_t changed = 0;
    while (changed < capacity && buffer[changed] == (char)0xCC)
        ++changed;
    if (changed == capacity) {
        read.text = "UNTOUCHED";
    } else {
        size_t zero = strnlen(buffer, capacity);
        read.text = zero < capacity ? "BUF " + Quoted(buffer, zero) : "BUFNONUL " + Quoted(buffer, capacity);
    }
    return read;
}

static Read Big(INFCONTEXT* context, int field) { return DoRead(context, field, g_big, sizeof(g_big)); }

static void Small(const Read& big, const std::string& label, DWORD limit, INFCONTEXT* context, int field)
{
    if (!big.ok || big.required < limit)
        return;
    std::vector<char> small(limit);
    Read read = DoRead(context, field, small.data(), limit);
    printf("SMALL %s %lu %s%s\n", label.c_str(), (unsigned long)limit, read.tokens.c_str(),
           read.ok ? "" : (" " + read.text).c_str());
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: infdump INF_PATH\n");
        return 2;
    }
    std::string shown = argv[1], opened = argv[1];
    for (size_t i = 0; i < shown.size(); ++i) {
        shown[i] = shown[i] == '\\' ? '/' : shown[i];
        opened[i] = opened[i] == '/' ? '\\' : opened[i];
    }
    const char* path = opened.c_str();
    typedef const char*(__cdecl * WineVersion)(void);
    WineVersion wineVersion = (WineVersion)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version");
    printf("INFDUMP 1\nWINE \"%s\"\nACP %u\nFILE %s\n", wineVersion ? wineVersion() : "none", GetACP(),
           Quoted(shown.data(), shown.size()).c_str());
    SetLastError(0);
    HINF inf = SetupOpenInfFileA(path, NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        UINT line = kNotWritten;
        SetupOpenInfFileA(path, NULL, INF_STYLE_WIN4, &line);
        printf("OPEN FAIL %s %s\nEND\n", Error(error).c_str(), Size(line).c_str());
        return 0;
    }
    printf("OPEN OK\n");

    INFCONTEXT context;
    SetLastError(0);
    if (SetupFindFirstLineA(inf, "Version", "DriverVer", &context)) {
        DWORD count = SetupGetFieldCount(&context);
        printf("DRIVERVER OK %lu\n", (unsigned long)count);
        for (int n = 0; n <= (int)(count + 1 > 2 ? count + 1 : 2); ++n) {
            Read big = Big(&context, n);
            printf("DVFIELD %d %s\n", n, big.tokens.c_str());
            if (n == 2)
                Small(big, "DVFIELD 2", 260, &context, 2);
        }
    } else {
        printf("DRIVERVER FAIL %s\n", Error(GetLastError()).c_str());
    }

    std::vector<std::string> names;
    SetLastError(0);
    if (SetupFindFirstLineA(inf, "Manufacturer", NULL, &context)) {
        printf("MANUFACTURER OK %ld\n", (long)SetupGetLineCountA(inf, "Manufacturer"));
        int i = 0;
        do {
            DWORD count = SetupGetFieldCount(&context);
            printf("MLINE %d %lu\n", i, (unsigned long)count);
            std::vector<Read> fields;
            for (int n = 0; n <= (int)count + 1; ++n) {
                fields.push_back(Big(&context, n));
                printf("MFIELD %d %d %s\n", i, n, fields.back().tokens.c_str());
                if (n >= 1)
                    Small(fields.back(), "MFIELD " + std::to_string(i) + " " + std::to_string(n), 50, &context, n);
            }
            if (fields.size() > 1 && fields[1].ok) {
                names.push_back(fields[1].text);
                for (size_t n = 2; n < fields.size() && fields[n].ok; ++n)
                    names.push_back(fields[1].text + "." + fields[n].text);
            }
            ++i;
        } while (SetupFindNextLine(&context, &context));
    } else {
        printf("MANUFACTURER FAIL %s\n", Error(GetLastError()).c_str());
    }

    for (size_t k = 0; k < names.size(); ++k)
        printf("MODELS %u %s\n", (unsigned)k, Quoted(names[k].data(), names[k].size()).c_str());
    for (size_t k = 0; k < names.size(); ++k) {
        SetLastError(0);
        if (!SetupFindFirstLineA(inf, names[k].c_str(), NULL, &context)) {
            printf("SECTION %u FAIL %s\n", (unsigned)k, Error(GetLastError()).c_str());
            continue;
        }
        printf("SECTION %u OK %ld\n", (unsigned)k, (long)SetupGetLineCountA(inf, names[k].c_str()));
        int j = 0;
        do {
            DWORD count = SetupGetFieldCount(&context);
            std::string line = std::to_string(k) + " " + std::to_string(j);
            Read text = Big(&context, -1);
            printf("LINE %s %lu %s\n", line.c_str(), (unsigned long)count, text.tokens.c_str());
            Small(text, "LINE " + line, 100, &context, -1);
            for (int n = 0; n <= (int)count; ++n)
                printf("LFIELD %s %d %s\n", line.c_str(), n, Big(&context, n).tokens.c_str());
            ++j;
        } while (SetupFindNextLine(&context, &context));
    }
    SetupCloseInfFile(inf);
    printf("END\n");
    return 0;
}
