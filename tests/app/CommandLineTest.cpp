// The command line: how the parser splits and applies options, and how argv is joined so
// that the parser reads every argument back whole.
#include "app/core/CommandLine.h"
#include "tests/app/FakeView.h"
#include "tests/app/TestDialog.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{

struct SParsed
{
    int bAuto;
    int bRepeat;
    std::string strFile;
    std::vector<std::string> ports;
};

SParsed Parse(const std::string& strLine)
{
    CFakeView view;
    CTestDlg dlg(view, std::make_shared<SFakeUnit>());
    dlg.ParseCommandLine(strLine);
    return {dlg.IsAuto(), dlg.IsRepeat(), dlg.GetCmdLineFile(), dlg.GetExplicitPorts()};
}

TEST(ParseCommandLine, EmptyOrOptionlessLinesSetNothing)
{
    for (const char* pszLine : {"", " ", "-", "/", "firmware.mhx", "a r f"})
    {
        const SParsed parsed = Parse(pszLine);
        EXPECT_EQ(parsed.bAuto, 0) << pszLine;
        EXPECT_EQ(parsed.bRepeat, 0) << pszLine;
        EXPECT_EQ(parsed.strFile, "") << pszLine;
        EXPECT_TRUE(parsed.ports.empty()) << pszLine;
    }
}

TEST(ParseCommandLine, FlagsInBothCasesAndBothPrefixes)
{
    EXPECT_EQ(Parse("-a").bAuto, 1);
    EXPECT_EQ(Parse("-a").bRepeat, 0);
    const SParsed both = Parse("-A -R");
    EXPECT_EQ(both.bAuto, 1);
    EXPECT_EQ(both.bRepeat, 1);
    EXPECT_EQ(Parse("/r").bRepeat, 1);
    EXPECT_EQ(Parse("junk before -a").bAuto, 1) << "text before a prefix is skipped";
    EXPECT_EQ(Parse("-a:").bAuto, 1) << "a colon at the end of the line gives no value";
    EXPECT_EQ(Parse("-a:yes").bAuto, 1) << "a value of a flag is ignored";
}

TEST(ParseCommandLine, NamesAreMatchedWhole)
{
    for (const char* pszLine : {"-x", "-af", "-auto", "-ra", "-fa:x.mhx", "-F2"})
    {
        const SParsed parsed = Parse(pszLine);
        EXPECT_EQ(parsed.bAuto + parsed.bRepeat, 0) << pszLine;
        EXPECT_EQ(parsed.strFile, "") << pszLine;
    }
}

TEST(ParseCommandLine, FileValues)
{
    EXPECT_EQ(Parse("-f:C:/fw/a.mhx").strFile, "C:/fw/a.mhx") << "only the first ':' separates";
    EXPECT_EQ(Parse("-F:\"/home/a b/fw.mhx\" -a").strFile, "/home/a b/fw.mhx");
    EXPECT_EQ(Parse("-F:\"/home/a b/fw.mhx\" -a").bAuto, 1);

    // An unquoted value ends at the next space, so a following option is still read.
    const SParsed unquoted = Parse("-f:/home/a b/fw.mhx -r");
    EXPECT_EQ(unquoted.strFile, "/home/a");
    EXPECT_EQ(unquoted.bRepeat, 1);

    // A quote that is not closed takes the rest of the line and ends the parse.
    const SParsed open = Parse("-f:\"/tmp/x y -a");
    EXPECT_EQ(open.strFile, "/tmp/x y -a");
    EXPECT_EQ(open.bAuto, 0);

    // The closing quote ends the value; the parse goes on right after it.
    const SParsed closed = Parse("-f:\"a\"-r");
    EXPECT_EQ(closed.strFile, "a");
    EXPECT_EQ(closed.bRepeat, 1);

    EXPECT_EQ(Parse("-f:\"\"").strFile, "");
    EXPECT_EQ(Parse("-f:x.mhx -f").strFile, "") << "f without a value empties the path";
    EXPECT_EQ(Parse("-f -a").bAuto, 1);
    EXPECT_EQ(Parse("-f:ä/ü.mhx").strFile, "ä/ü.mhx");
}

TEST(ParseCommandLine, PortsAreCollectedInOrder)
{
    const SParsed parsed = Parse("-p:/dev/ttyUSB1 -a /P:\"/tmp/my link\" -p -p:");
    EXPECT_EQ(parsed.ports, (std::vector<std::string>{"/dev/ttyUSB1", "/tmp/my link"}));
    EXPECT_EQ(parsed.bAuto, 1);
}

TEST(SplitCommandLine, ValueAfterColonAtTheEndOfANameWithoutValueContinuesAfterIt)
{
    const std::vector<SCommandLineOption> options = SplitCommandLine("-x: -a:1 /b");
    ASSERT_EQ(options.size(), 3U);
    EXPECT_EQ(options[0].strName, "x");
    EXPECT_TRUE(options[0].bHasValue) << "a ':' followed by a space has an (empty) value";
    EXPECT_EQ(options[0].strValue, "");
    EXPECT_EQ(options[1].strName, "a");
    EXPECT_EQ(options[1].strValue, "1");
    EXPECT_EQ(options[2].strName, "b");
    EXPECT_FALSE(options[2].bHasValue);
}

std::string Join(std::initializer_list<const char*> args)
{
    const char* argv[8] = {"orlix-cli"};
    int argc = 1;
    for (const char* pszArg : args)
    {
        argv[argc++] = pszArg;
    }
    return JoinCommandLine(argc, argv);
}

TEST(JoinCommandLine, QuotesValuesWithSpacesSoTheParserReadsThemWhole)
{
    EXPECT_EQ(Join({}), "");
    EXPECT_EQ(Join({"-a", "-r"}), "-a -r");
    EXPECT_EQ(Join({"-f:/home/a b/fw.mhx"}), "-f:\"/home/a b/fw.mhx\"");
    EXPECT_EQ(Join({"/F:/x y.mhx", "-a"}), "/F:\"/x y.mhx\" -a");
    EXPECT_EQ(Join({"a b"}), "\"a b\"");
    EXPECT_EQ(Join({"-f:\"/a b\""}), "-f:\"/a b\"") << "an already quoted value stays";

    const SParsed parsed = Parse(Join({"-f:/tmp/dir with space/fw.mhx", "-r", "-p:/tmp/link one"}));
    EXPECT_EQ(parsed.strFile, "/tmp/dir with space/fw.mhx");
    EXPECT_EQ(parsed.bRepeat, 1);
    EXPECT_EQ(parsed.ports, std::vector<std::string>{"/tmp/link one"});
}

TEST(AppNameFromPath, DropsFoldersAndExtension)
{
    EXPECT_EQ(AppNameFromPath("/usr/local/bin/orlix-cli"), "orlix-cli");
    EXPECT_EQ(AppNameFromPath("C:\\Tools\\Orlix.exe"), "Orlix");
    EXPECT_EQ(AppNameFromPath("orlix.v2.exe"), "orlix.v2");
    EXPECT_EQ(AppNameFromPath("./.orlix"), ".orlix");
    EXPECT_EQ(AppNameFromPath("orlix"), "orlix");
}

} // namespace
