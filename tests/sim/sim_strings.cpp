// Setup.exe's string tables, read from the resource script the exe is built
// from, so the simulated machine shows the texts the real one would.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>

#include "sim/sim.h"
#include "sim/sim_internal.h"

#ifndef SETUP_SOURCE_DIR
#error "SETUP_SOURCE_DIR must name the checkout whose res/strings.rc holds the texts"
#endif

namespace sim {

namespace {

// The quoted text that starts after the quote at pos: "" is a quote, \n a line
// feed, \\ a backslash. False when another escape or no closing quote is found.
bool Unquote(const std::string& line, size_t pos, std::string& text)
{
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            if (pos + 1 >= line.size() || line[pos + 1] != '"')
                return true;
            text += '"';
            ++pos;
        } else if (c == '\\') {
            char escaped = pos + 1 < line.size() ? line[++pos] : 0;
            if (escaped != 'n' && escaped != '\\')
                return false;
            text += escaped == 'n' ? '\n' : '\\';
        } else {
            text += c;
        }
    }
    return false;
}

}  // namespace

StringTables ReadStringTables(const std::string& path, std::vector<std::string>& problems)
{
    StringTables tables;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problems.push_back("cannot open " + path);
        return tables;
    }
    std::string line;
    int lineNo = 0;
    long langId = -1;
    while (std::getline(in, line)) {
        const std::string where = "line " + std::to_string(++lineNo) + ": ";
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (lineNo == 1 && line != "#pragma code_page(65001)")
            problems.push_back(where + "the script does not start with #pragma code_page(65001)");
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos)
            continue;
        const char* s = line.c_str() + start;
        if (strncmp(s, "LANGUAGE", 8) == 0) {
            const char* comma = strchr(s, ',');
            if (!comma) {
                problems.push_back(where + "bad LANGUAGE statement");
                continue;
            }
            langId = (long)((strtoul(comma + 1, nullptr, 0) << 10) | strtoul(s + 8, nullptr, 0));
            continue;
        }
        if (!isdigit((unsigned char)*s))
            continue;  // comments, STRINGTABLE, BEGIN, END
        char* end = nullptr;
        uint32_t id = (uint32_t)strtoul(s, &end, 10);
        size_t quote = line.find('"', end - line.c_str());
        std::string text;
        if (langId < 0 || quote == std::string::npos)
            problems.push_back(where + "entry outside a table or without text");
        else if (!Unquote(line, quote, text))
            problems.push_back(where + "unterminated string or unknown escape");
        else if (!tables[(uint16_t)langId].emplace(id, text).second)
            problems.push_back(where + "id " + std::to_string(id) + " defined twice");
    }
    return tables;
}

const std::map<uint32_t, std::string>& EnglishStrings()
{
    // Read once: Reset runs before every test and every fuzz input.
    static const std::map<uint32_t, std::string> english = [] {
        std::vector<std::string> problems;
        StringTables tables = ReadStringTables(SETUP_SOURCE_DIR "/res/strings.rc", problems);
        if (!problems.empty() || !tables.count(0x0409)) {
            fprintf(stderr, "simulated Windows: res/strings.rc: %s\n",
                    problems.empty() ? "no English table" : problems[0].c_str());
            abort();
        }
        return tables[0x0409];
    }();
    return english;
}

const std::string& EnglishText(uint32_t id) { return EnglishStrings().at(id); }

}  // namespace sim
