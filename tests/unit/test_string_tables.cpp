// Checks on res/strings.rc, the message texts compiled into Setup.exe.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace {

using Table = std::map<uint32_t, std::string>;  // string id -> UTF-8 text

sim::StringTables loadTables()
{
    std::vector<std::string> problems;
    sim::StringTables tables = sim::ReadStringTables(SETUP_SOURCE_DIR "/res/strings.rc", problems);
    for (const std::string& problem : problems)
        ADD_FAILURE() << "res/strings.rc " << problem;
    return tables;
}

TEST(StringTables, ThirtyLanguagesEachWithIdsOneToSix)
{
    const std::set<unsigned> expected = {0x001E, 0x0401, 0x0404, 0x0405, 0x0406, 0x0407, 0x0408, 0x0409,
                                         0x040B, 0x040C, 0x040D, 0x040E, 0x0410, 0x0411, 0x0412, 0x0413,
                                         0x0414, 0x0415, 0x0416, 0x0418, 0x0419, 0x041A, 0x041B, 0x041D,
                                         0x041F, 0x0424, 0x0804, 0x080A, 0x0816, 0x0C0A};
    const sim::StringTables tables = loadTables();

    std::set<unsigned> present;
    for (const auto& entry : tables)
        present.insert(entry.first);
    EXPECT_EQ(present, expected);

    for (const auto& [langId, table] : tables) {
        std::set<uint32_t> ids;
        for (const auto& [id, text] : table) {
            ids.insert(id);
            EXPECT_FALSE(text.empty()) << std::hex << "LANGID 0x" << langId << std::dec << " id " << id;
        }
        EXPECT_EQ(ids, (std::set<uint32_t>{1, 2, 3, 4, 5, 6})) << std::hex << "LANGID 0x" << langId;
    }
}

TEST(StringTables, RulesSharedByAllLanguages)
{
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

TEST(StringTables, EnglishTexts)
{
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
    const sim::StringTables tables = loadTables();
    const auto it = tables.find(0x0409);
    ASSERT_NE(it, tables.end());
    EXPECT_EQ(it->second, english);
}

}  // namespace
