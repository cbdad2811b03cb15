// The package INF queries on the simulated parser: the driver version, the
// models-section names and the gathered models text.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "driver/inf_queries.h"
#include "sim/sim.h"

namespace {

const char* const kInf = "C:\\Pkg\\Vi64\\pkg.inf";

std::string Inf(const std::string& body) { return "[Version]\r\nSignature=\"$Windows NT$\"\r\n" + body; }

class InfQueries : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    void TearDown() override
    {
        EXPECT_TRUE(sim::Machine().openHandles.empty()) << "an INF handle stayed open";
        free(text);
    }
    // The gathered models text of an INF with this body; result in gathered.
    std::string Gather(const std::string& body, int expectedResult = 1)
    {
        sim::WriteFile(kInf, Inf(body));
        EXPECT_EQ(expectedResult, loc_QueryHwIDInInf(kInf, &text, &capacity));
        return text ? std::string(text) : std::string();
    }
    char* text = 0;
    size_t capacity = 0;
};

TEST_F(InfQueries, DriverVersionIsFieldTwoOfDriverVer)
{
    const std::string long259(259, '9'), long260(260, '9');
    const struct {
        const char* label;
        std::string body;
        int result;
        std::string version;
    } table[] = {
        {"date and version", "DriverVer = 05/18/2020, 10.3.201.104\r\n", 1, "10.3.201.104"},
        {"strings tokens", "DriverVer=%D%,%V%\r\n[Strings]\r\nD=05/18/2020\r\nv=\"10.3.201.104\"\r\n", 1,
         "10.3.201.104"},
        {"date only", "DriverVer = 05/18/2020\r\n", 0, ""},
        {"no DriverVer", "Class=Mouse\r\n[Other]\r\nDriverVer=05/18/2020,1.2.3.4\r\n", 0, ""},
        {"259 characters fit 260 bytes", "DriverVer=05/18/2020," + long259 + "\r\n", 1, long259},
        {"260 characters do not", "DriverVer=05/18/2020," + long260 + "\r\n", 0, ""},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.label);
        sim::WriteFile(kInf, Inf(row.body));
        char version[260] = "stale";
        EXPECT_EQ(row.result, loc_QueryInfFilesInf(kInf, version, sizeof(version)));
        EXPECT_EQ(row.version, version);
    }
}

TEST_F(InfQueries, UnopenableInfsGiveZeroAndTouchNothing)
{
    sim::WriteFile("C:\\Pkg\\Vi64\\bad.inf", "[Manufacturer]\r\nM=Models\r\n");  // not Win4 style
    for (const char* path : {"C:\\Pkg\\Vi64\\missing.inf", "C:\\Pkg\\Vi64\\bad.inf"}) {
        SCOPED_TRACE(path);
        char version[260] = "keep";
        EXPECT_EQ(0, loc_QueryInfFilesInf(path, version, sizeof(version)));
        EXPECT_STREQ("keep", version);
        char* kept = (char*)malloc(8);
        size_t keptCapacity = 8;
        strcpy(kept, "keep");
        EXPECT_EQ(0, loc_QueryHwIDInInf(path, &kept, &keptCapacity));
        EXPECT_STREQ("keep", kept);
        EXPECT_EQ(8u, keptCapacity);
        free(kept);
    }
}

TEST_F(InfQueries, UnicodeInfGivesTheSameAnswers)
{
    std::string ansi = Inf("DriverVer=05/18/2020,10.3.201.104\r\n[Manufacturer]\r\nM=Models\r\n[Models]\r\n"
                           "D=Install,ACPI\\XYZ0001\r\n");
    std::string utf16 = "\xFF\xFE";
    for (char c : ansi)
        utf16 += std::string(1, c) + '\0';
    sim::WriteFile(kInf, utf16);
    char version[260];
    EXPECT_EQ(1, loc_QueryInfFilesInf(kInf, version, sizeof(version)));
    EXPECT_STREQ("10.3.201.104", version);
    EXPECT_EQ(1, loc_QueryHwIDInInf(kInf, &text, &capacity));
    EXPECT_STREQ("Install,ACPI\\XYZ0001", text);
}

TEST_F(InfQueries, ModelsSectionsAreGatheredInListOrder)
{
    const struct {
        const char* label;
        const char* body;
        const char* text;
    } table[] = {
        {"only the decorated section exists",
         "[Manufacturer]\r\nM=Models,NTx86,NTamd64\r\n[Models.NTamd64]\r\nD=I,ACPI\\A64\r\n", "I,ACPI\\A64"},
        {"first line's sections before the second's",
         "[Manufacturer]\r\nM=Second\r\nN=First,NTamd64\r\n[First.NTamd64]\r\nD=C\r\n[First]\r\nD=B\r\n"
         "[Second]\r\nD=A\r\n",
         "ABC"},
        {"lines are glued without a separator", "[Manufacturer]\r\nM=Models\r\n[Models]\r\nX=A,B\r\nY=C,D\r\n",
         "A,BC,D"},
        {"a repeated name is gathered once", "[Manufacturer]\r\nM=Models\r\nN=Models\r\n[Models]\r\nX=A\r\n", "A"},
        {"a name repeated in other spellings and lists, at its first place",
         "[Manufacturer]\r\nM=First,NTamd64\r\nN=Second,NTamd64\r\nO=FIRST,ntAMD64,x\r\n[First.NTamd64]\r\nD=A\r\n"
         "[Second.NTamd64]\r\nD=B\r\n[Second]\r\nD=C\r\n[First]\r\nD=D\r\n",
         "DACB"},
        {"no [Manufacturer]", "[Models]\r\nX=A\r\n", ""},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.label);
        free(text);
        text = 0;
        capacity = 0;
        EXPECT_EQ(row.text, Gather(row.body));
    }
}

TEST_F(InfQueries, GatheredTextIsAppendedToWhatTheCallerHas)
{
    capacity = 4;
    text = (char*)malloc(capacity);
    strcpy(text, "abc");
    EXPECT_EQ("abcI,ACPI\\XYZ0001", Gather("[Manufacturer]\r\nM=Models\r\n[Models]\r\nD=I,ACPI\\XYZ0001\r\n"));
    EXPECT_GE(capacity, strlen(text) + 1);
}

// Beyond the old limits: 99-character line texts, 49-character fields,
// 48-character base names, 50 names and 10,000 bytes of text.
TEST_F(InfQueries, LongIdsAndManyModelsLinesSurviveWhole)
{
    const std::string base(120, 'B'), decoration(70, 'N'), id(500, 'I');
    std::string manufacturer = "M=" + base + "," + decoration;
    std::string sections = "[" + base + "]\r\n", expected;
    for (int n = 0; n < 3000; ++n) {
        sections += "Dev=Install,HID\\VID_" + std::to_string(n) + "\r\n";
        expected += "Install,HID\\VID_" + std::to_string(n);
    }
    std::string longLine = "Install";
    for (int n = 0; n < 30; ++n)
        longLine += ",ACPI\\" + std::to_string(n) + id;
    sections += "[" + base + "." + decoration + "]\r\nDev=" + longLine + "\r\n";
    expected += longLine;
    for (int n = 0; n < 80; ++n) {
        manufacturer += ",D" + std::to_string(n);
        expected += "Install,ACPI\\VEN_" + std::to_string(n);
    }
    for (int n = 79; n >= 0; --n)  // file order is not list order
        sections += "[" + base + ".D" + std::to_string(n) + "]\r\nDev=Install,ACPI\\VEN_" + std::to_string(n) +
                    "\r\n";
    std::string gathered = Gather("[Manufacturer]\r\n" + manufacturer + "\r\n" + sections);
    EXPECT_EQ(expected.size(), gathered.size());
    EXPECT_TRUE(expected == gathered);  // too long to print
}

TEST_F(InfQueries, ManufacturerNamesKeepOrderLengthAndDuplicates)
{
    std::string longName(300, 'L');
    sim::WriteFile(kInf, Inf("[Manufacturer]\r\nM=Models,NTx86,NTamd64\r\nN=" + longName + "\r\nO=Models\r\n"));
    PfHandle inf = PfInfOpen(kInf);
    ASSERT_NE(0u, inf);
    char* names = 0;
    size_t namesCapacity = 0;
    ASSERT_EQ(5, loc_QueryInfManufacturer(inf, &names, &namesCapacity));
    std::string list(names, namesCapacity);
    EXPECT_EQ(std::string("Models\0Models.NTx86\0Models.NTamd64\0", 35) + longName + std::string("\0Models\0", 8),
              list.substr(0, 35 + 300 + 8));
    free(names);
    PfInfClose(inf);
}

// Backslashes are looked at for a line continuation; a long run of them
// must still be read in one pass (a rescan per backslash takes minutes here).
TEST_F(InfQueries, LongBackslashRunIsReadInOnePass)
{
    std::string value = "ACPI" + std::string(300000, '\\') + "X";
    std::string text = Gather("[Manufacturer]\r\nM=Models\r\n[Models]\r\nD=I," + value + ",Y\r\n");
    EXPECT_EQ("I," + value.substr(0, 511) + ",Y", text);  // the parser keeps 511 characters of a value
}

}  // namespace
