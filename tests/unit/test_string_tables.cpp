// Checks on res/strings.rc, the message texts compiled into Setup.exe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <string>

namespace {

using Table = std::map<int, std::string>;  // string id -> UTF-8 text
using Tables = std::map<unsigned, Table>;  // LANGID -> table

// Reads the subset of resource-script syntax strings.rc uses:
//   LANGUAGE <primary>, <sub>     selects the LANGID for what follows
//   <id>, "<text>"                one entry ("" is a quote, \n a line feed)
// Everything else (comments, STRINGTABLE, BEGIN, END) is skipped.
Tables loadTables() {
    Tables tables;
    std::ifstream in(SETUP_SOURCE_DIR "/res/strings.rc", std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot open " SETUP_SOURCE_DIR "/res/strings.rc";
        return tables;
    }
    std::string line;
    int lineNo = 0;
    long langId = -1;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lineNo == 1) {
            EXPECT_EQ(line, "#pragma code_page(65001)");
        }
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos) continue;
        const std::string s = line.substr(start);

        if (s.compare(0, 8, "LANGUAGE") == 0) {
            const auto comma = s.find(',');
            if (comma == std::string::npos) {
                ADD_FAILURE() << "line " << lineNo << ": bad LANGUAGE statement";
                continue;
            }
            const unsigned long primary = std::stoul(s.substr(8), nullptr, 0);
            const unsigned long sub = std::stoul(s.substr(comma + 1), nullptr, 0);
            langId = static_cast<long>((sub << 10) | primary);
            continue;
        }
        if (!std::isdigit(static_cast<unsigned char>(s[0]))) continue;

        size_t pos = 0;
        const int id = std::stoi(s, &pos);
        pos = s.find('"', pos);
        if (langId < 0 || pos == std::string::npos) {
            ADD_FAILURE() << "line " << lineNo << ": entry outside a table or without text";
            continue;
        }
        std::string text;
        bool closed = false;
        for (++pos; pos < s.size() && !closed; ++pos) {
            const char c = s[pos];
            if (c == '"') {
                if (pos + 1 < s.size() && s[pos + 1] == '"') {
                    text += '"';
                    ++pos;
                } else {
                    closed = true;
                }
            } else if (c == '\\' && pos + 1 < s.size()) {
                const char e = s[++pos];
                if (e == 'n') {
                    text += '\n';
                } else if (e == '\\') {
                    text += '\\';
                } else {
                    ADD_FAILURE() << "line " << lineNo << ": unexpected escape \\" << e;
                }
            } else {
                text += c;
            }
        }
        EXPECT_TRUE(closed) << "line " << lineNo << ": unterminated string";
        const bool fresh = tables[static_cast<unsigned>(langId)].emplace(id, text).second;
        EXPECT_TRUE(fresh) << "line " << lineNo << ": id " << id << " defined twice";
    }
    return tables;
}

TEST(StringTables, ThirtyLanguagesEachWithIdsOneToSix) {
    const std::set<unsigned> expected = {
        0x001E, 0x0401, 0x0404, 0x0405, 0x0406, 0x0407, 0x0408, 0x0409, 0x040B, 0x040C,
        0x040D, 0x040E, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0418,
        0x0419, 0x041A, 0x041B, 0x041D, 0x041F, 0x0424, 0x0804, 0x080A, 0x0816, 0x0C0A};
    const Tables tables = loadTables();

    std::set<unsigned> present;
    for (const auto& entry : tables) present.insert(entry.first);
    EXPECT_EQ(present, expected);

    for (const auto& [langId, table] : tables) {
        std::set<int> ids;
        for (const auto& [id, text] : table) {
            ids.insert(id);
            EXPECT_FALSE(text.empty()) << std::hex << "LANGID 0x" << langId << std::dec << " id " << id;
        }
        EXPECT_EQ(ids, (std::set<int>{1, 2, 3, 4, 5, 6})) << std::hex << "LANGID 0x" << langId;
    }
}

TEST(StringTables, RulesSharedByAllLanguages) {
    for (const auto& [langId, table] : loadTables()) {
        SCOPED_TRACE(testing::Message() << std::hex << "LANGID 0x" << langId);
        const auto caption = table.find(1);
        EXPECT_TRUE(caption != table.end() && caption->second == "Setup.exe");

        // The texts go to the message box as they are, never through a format call.
        for (const auto& [id, text] : table) {
            EXPECT_EQ(text.find('%'), std::string::npos) << "id " << id;
        }

        // The unsupported-system message is laid out as two lines.
        const std::string unsupported = table.count(2) ? table.at(2) : std::string();
        EXPECT_EQ(std::count(unsupported.begin(), unsupported.end(), '\n'), 1);
    }
}

TEST(StringTables, EnglishTexts) {
    const Table english = {
        {1, "Setup.exe"},
        {2, "This software does not work on your operating system. \nClick OK to exit setup."},
        {3, "The setup program has detected that some of the driver files are missing. "
            "Click OK to exit setup."},
        {4, "You are attempting to install a driver that is the same version as the one that is "
            "currently installed on your system.  Do you wish to proceed with the installation?"},
        {5, "You are attempting to install a driver that is an older version than the one that is "
            "currently installed on your system.  Do you wish to proceed with the installation?"},
        {6, "Could not launch the installer."},
    };
    const Tables tables = loadTables();
    const auto it = tables.find(0x0409);
    ASSERT_NE(it, tables.end());
    EXPECT_EQ(it->second, english);
}

}  // namespace
