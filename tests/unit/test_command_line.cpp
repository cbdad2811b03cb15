// The command line: how it splits into switches and what each switch sets.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "actions/extraction.h"
#include "app/setup_sequence.h"
#include "config/command_line.h"
#include "core/result_codes.h"
#include "core/setup_state.h"
#include "sim/sim.h"
#include "util/bounded_string.h"

namespace {

const uint32_t kBothSwitchBits = SUPPORT_PUBLIC_PROPERTIES | SUPPORT_EXTRACT_ALL;

struct PropertyCase {
    const char* typed;
    int result;
    int force, freshInstall, forceRestart, debug;
    const char* logFile;
};

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        ResetOptions();
        sim::RunTarget().Settings.Support = kBothSwitchBits;
    }

    // As the setup sequence does it: the typed text into CommandLine, then parse.
    int Parse(const std::string& typed)
    {
        BoundedCopy(g_State.CommandLine, PATH_CAPACITY, typed.c_str());
        return ParseCommandLine(typed.c_str(), g_State.CommandLine, g_State.CustomRequestSection,
                                sim::CurrentTarget())
            .outcome;
    }

    // Parses the case on a fresh machine and checks every option it may set.
    void ExpectParsed(const PropertyCase& c)
    {
        SCOPED_TRACE(c.typed);
        SetUp();
        EXPECT_EQ(c.result, Parse(c.typed));
        EXPECT_EQ(c.force, g_State.Force);
        EXPECT_EQ(c.freshInstall, g_State.FreshInstall);
        EXPECT_EQ(c.forceRestart, g_State.ForceRestart);
        EXPECT_EQ(c.debug, g_State.Debug);
        EXPECT_STREQ(c.logFile, g_State.LogFilePath);
    }

    void WritePackage()
    {
        sim::WriteFile("C:\\Pkg\\Vi32\\drv.inf", "x86 inf");
        sim::WriteFile("C:\\Pkg\\Vi64\\drv.inf", "x64 inf");
    }
};

// ---- where one switch ends and the next begins ------------------------------

struct SplitCase {
    const char* typed;
    const char* commandLine;  // after parsing
    const char* customRequest;
};

TEST_F(CommandLineTest, SplitsTokensAtTheCharacterBeforeEachSlash)
{
    const SplitCase cases[] = {
        {"/OEM1 /s", "/s", "OEM1"},
        {"/ABCDEFGHIJKL", "/ABCDEFGHIJKL", "ABCDEFGHIJ"},  // names keep 10 characters
        {"/s/q", "/q", ""},                                // first token is "/" alone
        {"/OEM1/s", "/s", "OEM"},                          // its last letter is lost
        {"//", "//", ""},                                  // a token cut to nothing
        {"setup.exe   /s   ", "/s", ""},                   // text before the first "/" ignored
        {"/s   /OEM2   ", "/s", "OEM2"},                   // trailing blanks trimmed
        {"/OEM\t", "/OEM\t", "OEM\t"},                     // only blanks are trimmed
        {"no switches here", "no switches here", ""},
        {"/a /b /c /d /e /f /g /s", "/a /b /c /d /e /f /g /s", "g"},  // eighth not looked at
        {"/a /b /c /d /e /f /s /OEM", "/s", "e"},                     // seventh still counts
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.typed);
        SetUp();
        EXPECT_EQ(0, Parse(c.typed));
        EXPECT_STREQ(c.commandLine, g_State.CommandLine);
        EXPECT_STREQ(c.customRequest, g_State.CustomRequestSection);
    }
}

TEST_F(CommandLineTest, FillsEveryBufferToItsEdgeWithoutOverrun)
{
    // 259 characters, one token: the name is cut to 10, the text stays.
    std::string one = "/" + std::string(258, 'N');
    EXPECT_EQ(0, Parse(one));
    EXPECT_EQ(one, g_State.CommandLine);
    EXPECT_STREQ("NNNNNNNNNN", g_State.CustomRequestSection);

    // Nothing but slashes: seven empty tokens, then the loop stops.
    SetUp();
    EXPECT_EQ(0, Parse(std::string(300, '/')));
    EXPECT_EQ(std::string(259, '/'), g_State.CommandLine);
    EXPECT_STREQ("", g_State.CustomRequestSection);

    // A property token as long as the command line allows.
    SetUp();
    std::string log = "/vLOGFILE=C:\\" + std::string(300, 'L');
    EXPECT_EQ(0, Parse(log));
    EXPECT_EQ(log.substr(10, 249), g_State.LogFilePath);
}

TEST_F(CommandLineTest, NeverSplitsADoubleByteCharacter)
{
    const std::string a = "\x82\xA0";  // one two-byte character of code page 932
    struct {
        std::string typed, customRequest;
    } cases[] = {
        // the character before the next "/" is dropped whole, not just its trail byte
        {"/OEM" + a + "/s", "OEM"},
        // a cut at 10 bytes would leave a lone lead byte: the name keeps 9
        {"/ABCDEFGHI" + a, "ABCDEFGHI"},
        {"/" + a + a + a + a + a + a, a + a + a + a + a},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.typed));
        SetUp();
        sim::Machine().ansiCodePage = 932;
        EXPECT_EQ(0, Parse(c.typed));
        EXPECT_EQ(c.customRequest, g_State.CustomRequestSection);
    }
}

// ---- mode switches ---------------------------------------------------------------

TEST_F(CommandLineTest, LastModeSwitchReplacesTheCommandLine)
{
    const SplitCase cases[] = {
        {"/S", "/S", ""},
        {"/q", "/q", ""},
        {"/s /q /?", "/?", ""},
        {"/? /s", "/s", ""},
        {"/s /extract_all", "/extract_a", ""},  // cancels the silent mode
        {"/EXTRACT_ALL", "/EXTRACT_A", ""},
        {"/sx", "/sx", "sx"},  // not a mode switch
        {"/OEM1 /s", "/s", "OEM1"},
        {"/s /OEM1 /OEM2", "/s", "OEM2"},  // a later request replaces an earlier one
        {"/s /extract_all:C:\\Out", "/s", "extract_al"},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.typed);
        SetUp();
        EXPECT_EQ(0, Parse(c.typed));
        EXPECT_STREQ(c.commandLine, g_State.CommandLine);
        EXPECT_STREQ(c.customRequest, g_State.CustomRequestSection);
    }
}

// ---- public properties -------------------------------------------------------------

TEST_F(CommandLineTest, PublicPropertiesFollowTheValueRule)
{
    const PropertyCase cases[] = {
        {"/s /vDEBUG=true", 0, 1, 0, 0, 1, ""},
        {"/vFORCE=false FRESHINSTALL=true", 0, 0, 1, 0, 0, ""},
        {"/vFORCE=TRUE FORCERESTART=False", 0, 1, 0, 0, 0, ""},
        {"/vFORCERESTART=true FORCE=false", 0, 0, 0, 1, 0, ""},
        {"/v\"FORCE=false FORCERESTART=true LOGFILE=C:\\x.log\"", 0, 0, 0, 1, 0, "C:\\x.log"},
        {"/vLOGFILE=\"C:\\My Logs\\x.log\"", 0, 1, 0, 0, 0, "C:\\My Logs\\x.log"},
        {"/vforce=false", 0, 1, 0, 0, 0, ""},  // names are case-sensitive
        {"/VFORCE=false", 0, 1, 0, 0, 0, ""},  // so is the "/v"
        {"/vUNKNOWN=1", 0, 1, 0, 0, 0, ""},
        // cut before the first name of the list the value holds, with the character before it
        {"/vLOGFILE=C:\\Logs\\DEBUG\\x.log", 0, 1, 0, 0, 0, "C:\\Logs"},
        {"/vLOGFILE=C:\\DEBUG\\FORCE\\x.log", 0, 1, 0, 0, 0, "C:\\DEBUG"},  // list order wins
        {"/vLOGFILE=FORCE.log", 0, 1, 0, 0, 0, ""},                         // name first: empty, ignored
        {"/vLOGFILE=", 0, 1, 0, 0, 0, ""},
        // bad true/false values stop at once
        {"/vFORCE=yes FRESHINSTALL=true", OUTCOME_BAD_COMMAND_LINE, 1, 0, 0, 0, ""},
        {"/vFORCE=", OUTCOME_BAD_COMMAND_LINE, 1, 0, 0, 0, ""},
        {"/vFORCE=\"\"", OUTCOME_BAD_COMMAND_LINE, 1, 0, 0, 0, ""},
        {"/vDEBUG=maybe FORCE=false", OUTCOME_BAD_COMMAND_LINE, 0, 0, 0, 0, ""},  // FORCE is looked at first
        {"/vDEBUG=false", 0, 1, 0, 0, 0, ""},
        {"/vFORCE=false /vFRESHINSTALL=true", 0, 0, 1, 0, 0, ""},
    };
    for (const PropertyCase& c : cases)
        ExpectParsed(c);
}

TEST_F(CommandLineTest, BadValueKeepsTheTypedTextAndSkipsLaterSwitches)
{
    EXPECT_EQ(OUTCOME_BAD_COMMAND_LINE, Parse("/s /vFORCE=bad /OEM1 /q"));
    EXPECT_STREQ("/s /vFORCE=bad /OEM1 /q", g_State.CommandLine);
    EXPECT_STREQ("", g_State.CustomRequestSection);
}

TEST_F(CommandLineTest, EmptyLogFileKeepsAnEarlierOne)
{
    EXPECT_EQ(0, Parse("/f2 C:\\a.log /vLOGFILE= /vLOGFILE=\"\""));
    EXPECT_STREQ("C:\\a.log", g_State.LogFilePath);
}

// ---- "/f2" ------------------------------------------------------------------------

TEST_F(CommandLineTest, LogFileSwitchTakesThePathAfterOneSeparator)
{
    const PropertyCase cases[] = {
        {"/f2 C:\\x.log", 0, 1, 0, 0, 0, "C:\\x.log"},
        {"/f2DEBUG \"C:\\My Logs\\x.log\"", 0, 1, 0, 0, 1, "C:\\My Logs\\x.log"},
        {"/f2DEBUG x.log /vDEBUG=false", 0, 1, 0, 0, 1, "x.log"},
        {"/f2C:\\x.log", 0, 1, 0, 0, 0, ":\\x.log"},  // the first character is the separator
        {"/f2DEBUG", 0, 1, 0, 0, 1, ""},
        {"/f2   ", 0, 1, 0, 0, 0, ""},
        {"/f2 LOGFILE=x", 0, 1, 0, 0, 0, "LOGFILE=x"},  // no property names are cut
        {"/F2 C:\\x.log", 0, 1, 0, 0, 0, ""},           // case-sensitive
        {"/f2debug x.log", 0, 1, 0, 0, 0, "ebug x.log"},
    };
    for (const PropertyCase& c : cases) {
        ExpectParsed(c);
        EXPECT_STREQ("", g_State.CustomRequestSection) << c.typed;  // "/f" tokens never name a request
    }
}

TEST_F(CommandLineTest, LogFileSwitchSkipsAWholeDoubleByteSeparator)
{
    sim::Machine().ansiCodePage = 932;
    EXPECT_EQ(0, Parse("/f2\x82\xA0x.log"));
    EXPECT_STREQ("x.log", g_State.LogFilePath);
}

TEST_F(CommandLineTest, DirectCallsWithOverlongTokensStayInBounds)
{
    std::string path(2000, 'p');
    std::string flag = "/vFORCE=" + std::string(2000, 't') + " DEBUG=true";
    ParseLogFileSwitch(("/f2 " + path).c_str());
    EXPECT_EQ(path.substr(0, 259), g_State.LogFilePath);
    EXPECT_EQ(OUTCOME_BAD_COMMAND_LINE, ParsePublicProperties(sim::CurrentTarget(), flag.c_str()).outcome);
    EXPECT_EQ(0, ParsePublicProperties(sim::CurrentTarget(), ("/vLOGFILE=" + path).c_str()).outcome);
    EXPECT_EQ(path.substr(0, 259), g_State.LogFilePath);
}

// ---- Support bits ----------------------------------------------------------------

TEST_F(CommandLineTest, PropertiesNeedThePublicPropertiesBit)
{
    const char* typed[] = {"/s /vDEBUG=true", "/s /f2DEBUG C:\\x.log", "/s /vEXTRACTDRIVERS=C:\\Out"};
    for (const char* t : typed) {
        SCOPED_TRACE(t);
        SetUp();
        sim::RunTarget().Settings.Support = SUPPORT_EXTRACT_ALL | 0xFFFFFFC0u;
        EXPECT_EQ(0, Parse(t));
        EXPECT_EQ(0, g_State.Debug);
        EXPECT_STREQ("", g_State.LogFilePath);
        EXPECT_STREQ("", g_State.CustomRequestSection);  // ignored, not a custom request
        EXPECT_STREQ("/s", g_State.CommandLine);
        EXPECT_EQ(0, g_State.DriversExtracted);
        EXPECT_TRUE(sim::Machine().systemCommands.empty());
    }
}

// ---- extraction requests ------------------------------------------------------------

TEST_F(CommandLineTest, ExtractDriversRunsDuringParsing)
{
    WritePackage();
    EXPECT_EQ(OUTCOME_EXTRACTED, Parse("/vEXTRACTDRIVERS=C:\\Out LOGFILE=C:\\x.log"));
    EXPECT_EQ(1, g_State.DriversExtracted);
    EXPECT_STREQ("", g_State.LogFilePath);               // the rest of the token is not looked at
    EXPECT_TRUE(sim::Machine().systemCommands.empty());  // copied in the process
    EXPECT_EQ("x86 inf", sim::ReadFile("C:\\Out\\production\\Windows7-x86\\drv.inf"));
    EXPECT_EQ("x64 inf", sim::ReadFile("C:\\Out\\production\\Windows8.1-x64\\drv.inf"));

    SetUp();
    WritePackage();
    EXPECT_EQ(OUTCOME_EXTRACTED, Parse("/vEXTRACTDRIVERS=\"C:\\My Out\" /vLOGFILE=C:\\x.log"));
    EXPECT_STREQ("C:\\x.log", g_State.LogFilePath);
    EXPECT_EQ("x86 inf", sim::ReadFile("C:\\My Out\\production\\Windows7-x86\\drv.inf"));
}

TEST_F(CommandLineTest, FailedExtractDriversEndsParsingWithThree)
{
    EXPECT_EQ(OUTCOME_EXTRACTION_FAILED, Parse("/vEXTRACTDRIVERS=C:\\Out /s"));  // no Vi32
    EXPECT_EQ(1, g_State.DriversExtracted);
    EXPECT_STREQ("/vEXTRACTDRIVERS=C:\\Out /s", g_State.CommandLine);
    EXPECT_FALSE(sim::FileExists("C:\\Out"));
}

}  // namespace

// ---- the whole run: what each command line leads to -----------------------------

namespace {

struct RunCase {
    const char* typed;
    uint32_t support;
    int exitCode;
    const char* dpinstOptions;  // null: DPInst not started
    size_t extractedFolders;
    bool usage;
};

class RunWithCommandLineTest : public ::testing::Test {
protected:
    void Prepare(uint32_t support, bool vi32 = true, bool vi64 = true)
    {
        sim::Reset();
        sim::WriteFile("C:\\Pkg\\Setup.ini",
                       "[W864]\r\nPath=\\x64\\DPInst.exe\r\nSupport=" + std::to_string(support) + "\r\n");
        sim::WriteFile("C:\\Pkg\\x64\\DPInst.exe", sim::PeImage(PF_IMAGE_FILE_MACHINE_AMD64));
        sim::WriteFile("C:\\Pkg\\x64\\drv.inf", "");  // the package check wants an INF beside DPInst
        sim::Machine().programs["C:\\Pkg\\x64\\DPInst.exe"].exitCode = 1;
        if (vi32)
            sim::WriteFile("C:\\Pkg\\Vi32\\drv.inf", "x86 inf");
        if (vi64)
            sim::WriteFile("C:\\Pkg\\Vi64\\drv.inf", "x64 inf");
    }
};

}  // namespace

TEST_F(RunWithCommandLineTest, CommandLineDecidesBetweenUsageExtractionAndInstall)
{
    const uint32_t all = SUPPORT_PUBLIC_PROPERTIES | SUPPORT_EXTRACT_ALL | SUPPORT_EXIT_CODE;
    // Switches past the first 259 characters count as much as any other.
    const std::string longLogFile = "/vLOGFILE=C:\\" + std::string(290, 'l') + ".log";
    const std::string longSilent = longLogFile + " /s";
    const std::string longExtractAll = longLogFile + " /extract_all:C:\\Out";
    const RunCase cases[] = {
        {"/S", all, 0, " /f /sw /se", 0, false},
        {longSilent.c_str(), all, 0, " /f /sw /se", 0, false},
        {longExtractAll.c_str(), all, 0, nullptr, 6, false},
        {"/s /q /?", all, 0, nullptr, 0, true},
        {"/a /b /c /d /e /f /g /s", all, 0, " /f", 0, false},
        {"/vFORCE=yes", all, UNKNOWN_OPTION, nullptr, 0, false},
        {"/vFORCE=yes", all & ~SUPPORT_EXIT_CODE, 0, nullptr, 0, false},
        {"/extract_all:\"C:\\My Out\"", all, 0, nullptr, 6, false},
        {"/extract_all:C:\\Out", all & ~SUPPORT_EXTRACT_ALL, 0, " /f", 0, false},
        {"/s /extract_all:C:\\Out", all, 0, " /f /sw /se", 0, false},
        {"/vEXTRACTDRIVERS=C:\\Out LOGFILE=C:\\x.log", all, 0, nullptr, 6, false},
        {"/extract_all:C:\\Out\" & echo x > C:\\x.txt & \"", all, DEP_SOFT_ERROR, nullptr, 0, false},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.typed);
        Prepare(c.support);
        EXPECT_EQ(c.exitCode, RunSetup(0, c.typed));
        const auto& processes = sim::Machine().processes;
        if (c.dpinstOptions) {
            ASSERT_EQ(1u, processes.size());
            EXPECT_EQ(std::string("\"C:\\Pkg\\x64\\DPInst.exe\"") + c.dpinstOptions, processes[0]);
        } else {
            EXPECT_TRUE(processes.empty());
        }
        size_t extracted = 0;
        for (const char* target : {"C:\\Out", "C:\\My Out"})
            for (const char* platform : {"Windows7-x86", "Windows8-x86", "Windows8.1-x86", "Windows7-x64",
                                         "Windows8-x64", "Windows8.1-x64"})
                extracted += sim::FileExists(std::string(target) + "\\production\\" + platform);
        EXPECT_EQ(c.extractedFolders, extracted);
        EXPECT_TRUE(sim::Machine().systemCommands.empty());
        EXPECT_EQ(c.usage ? 1u : 0u, sim::Machine().boxes.size());
        if (c.usage && !sim::Machine().boxes.empty()) {
            EXPECT_EQ("Help", sim::Machine().boxes[0].caption);
        }
    }
}

TEST_F(RunWithCommandLineTest, ExtractionOutcomeBecomesTheExitCode)
{
    const uint32_t all = SUPPORT_PUBLIC_PROPERTIES | SUPPORT_EXTRACT_ALL | SUPPORT_EXIT_CODE;
    // Vi32 without Vi64: three folders, success.
    Prepare(all, true, false);
    EXPECT_EQ(0, RunSetup(0, "/vEXTRACTDRIVERS=C:\\Out"));
    EXPECT_TRUE(sim::FileExists("C:\\Out\\production\\Windows8.1-x86\\drv.inf"));
    EXPECT_FALSE(sim::FileExists("C:\\Out\\production\\Windows7-x64"));

    // No Vi32: 3, nothing copied, nothing installed.
    Prepare(all, false, true);
    EXPECT_EQ(DEP_SOFT_ERROR, RunSetup(0, "/extract_all:C:\\Out"));
    EXPECT_FALSE(sim::FileExists("C:\\Out\\production"));
    EXPECT_TRUE(sim::Machine().processes.empty());
}
