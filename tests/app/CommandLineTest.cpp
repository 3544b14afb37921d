// The command line (how the parser applies options, how argv is joined so that the parser reads
// every argument back whole, also the lines the fuzz target fuzz/FuzzCommandLine.cpp found), the
// language choice, text formatting, and the update record's JSON strings and UTC time (whole
// records are read back with jq in tests/faults).
#include "app/core/UpdateRecord.h"
#include "tests/app/Fakes.h"

namespace
{

// The line the front-ends make of argv (after the program name).
std::string Join(std::initializer_list<const char*> args)
{
    const char* argv[8] = {"orlix-cli"};
    std::copy(args.begin(), args.end(), argv + 1);
    return JoinCommandLine(int(args.size() + 1), argv);
}

// What the dialog took from a command line: "<auto> <repeat> <file>|<port>,<port>,".
std::string Parse(const std::string& strLine)
{
    CFakeView view;
    COrlixDlg dlg(view);
    dlg.ParseCommandLine(strLine);
    std::string str = std::to_string(int(dlg.IsAuto())) + " " + std::to_string(int(dlg.IsRepeat())) + " " +
                      dlg.GetCmdLineFile() + "|";
    for (const std::string& strPort : dlg.GetExplicitPorts())
        str += strPort + ",";
    return str;
}

TEST(ParseCommandLine, OptionsAndTheirEdges)
{
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"", "0 0 |"}, {" ", "0 0 |"}, {"-", "0 0 |"}, {"/", "0 0 |"}, {"firmware.mhx a r f", "0 0 |"},
        {"-a", "1 0 |"}, {"-A -R", "1 1 |"}, {"/r", "0 1 |"}, {"junk before -a", "1 0 |"}, {"-a:", "1 0 |"},
        {"-a:yes", "1 0 |"}, {"-x -af -auto -ra -fa:x.mhx -F2", "0 0 |"}, // names are matched whole
        {"-f:C:/fw/a.mhx", "0 0 C:/fw/a.mhx|"}, {"-F:\"/home/a b/fw.mhx\" -a", "1 0 /home/a b/fw.mhx|"},
        {"-f:/home/a b/fw.mhx -r", "0 1 /home/a|"}, // an unquoted value ends at a space
        {"-f:\"/tmp/x y -a", "0 0 /tmp/x y -a|"},   // an open quote takes the rest of the line
        {"-f:\"a\"-r", "0 1 a|"},                  // the parse goes on right after the quote
        {"-f:\"\"", "0 0 |"}, {"-f:x.mhx -f", "0 0 |"}, {"-f -a", "1 0 |"}, {"-f:ä/ü.mhx", "0 0 ä/ü.mhx|"},
        {"-p:/dev/ttyUSB1 -a /P:\"/tmp/my link\" -p -p:", "1 0 |/dev/ttyUSB1,/tmp/my link,"},
    };
    // clang-format on
    for (const auto& [pszLine, pszExpected] : cases)
        EXPECT_EQ(Parse(pszLine), pszExpected) << pszLine;
}

TEST(FindKernelFolderOption, LastKOptionWithItsValue)
{
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"", "-"}, {"-a -f:x.mhx", "-"}, {"-kk:/x -kernels:/x", "-"}, {"-f:-k:/x", "-"}, // a value is no option
        {"-k:/opt/kernels", "/opt/kernels"}, {"/K:\"/home/a b/k\" -a", "/home/a b/k"},
        {"-k:first -a -k:second", "second"}, {"-k", ""}, {"-k: -a", ""}, {"-k:/x -k", ""},
    };
    // clang-format on
    for (const auto& [pszLine, pszExpected] : cases)
    {
        std::string strFolder = "-";
        const bool bFound = FindKernelFolderOption(pszLine, strFolder);
        EXPECT_EQ(bFound ? strFolder : "-", pszExpected) << pszLine;
    }
    EXPECT_EQ(Parse("-k:/opt/k -a"), "1 0 |") << "the wizard itself ignores -k";
    std::string strFolder;
    EXPECT_TRUE(FindKernelFolderOption(Join({"-k:/tmp/my kernels", "-a"}), strFolder));
    EXPECT_EQ(strFolder, "/tmp/my kernels");
}

TEST(JoinCommandLine, QuotesValuesWithSpacesSoTheParserReadsThemWhole)
{
    EXPECT_EQ(Join({}) + "|" + Join({"-a", "-r"}) + "|" + Join({"/F:/x y.mhx", "-a"}) + "|" + Join({"a b"}) +
                  "|" + Join({"-f:\"/a b\""}),
              "|-a -r|/F:\"/x y.mhx\" -a|\"a b\"|-f:\"/a b\"");
    EXPECT_EQ(Parse(Join({"-f:/tmp/dir with space/fw.mhx", "-r", "-p:/tmp/link one"})),
              "0 1 /tmp/dir with space/fw.mhx|/tmp/link one,");
    EXPECT_EQ(AppNameFromPath("/usr/local/bin/orlix-cli") + AppNameFromPath("C:\\Tools\\Orlix.exe") +
                  AppNameFromPath("orlix.v2.exe") + AppNameFromPath("./.orlix"),
              "orlix-cliOrlixorlix.v2.orlix");
}

// On POSIX the front-ends join argv into one line; a path must come back whole or not at all,
// never as another file and never changing the options around it.
TEST(CommandLineFuzzRegression, PathWithQuoteAndSpaceIsNeverReadAsAnotherPathNorAddsOptions)
{
    for (const std::string strPath :
         {"/media/usb/Firmware \"new\" v2.mhx", "-f:\"/tmp/a b -a", "/tmp/dir\" with/fw.mhx",
          "/tmp/ends with a quote\"", "/tmp/x\" -p:/dev/ttyS0 \"y.mhx", "/tmp/x\" -f:/tmp/other.mhx \"y.mhx",
          "\"/tmp/x\" -p:/dev/ttyS0 \"y.mhx\""})
    {
        const std::string strArg = "-f:" + strPath, strParsed = Parse(Join({"-r", strArg.c_str(), "-a"}));
        EXPECT_TRUE(strParsed == "1 1 " + strPath + "|" || strParsed == "1 1 |")
            << strPath << " -> " << strParsed;
    }
    for (const std::string strPath : {"/tmp/a\"b.mhx", "/tmp/a b/c -a d.mhx", "/x:y/ -r.mhx", ""})
        EXPECT_EQ(Parse(Join({("/F:" + strPath).c_str(), "-a"})), "1 0 " + strPath + "|") << "carried whole";
}

TEST(TextLanguage, FirstNonEmptyLocaleVariableDecidesAndTheShortFormFollowsTheChoice)
{
    const ETextLanguage en = ETextLanguage::English, de = ETextLanguage::German;
    EXPECT_EQ(TextLanguageFromLocale(nullptr, nullptr, nullptr), en);
    EXPECT_EQ(TextLanguageFromLocale(nullptr, "de_AT", "en_GB.UTF-8"), de);
    EXPECT_EQ(TextLanguageFromLocale("C", "de_DE", "de_DE"), en) << "LC_ALL wins";
    EXPECT_EQ(TextLanguageFromLocale("", "", "de_CH"), de) << "empty values are skipped";
    EXPECT_EQ(TextLanguageFromLocale("de", nullptr, nullptr), de);
    EXPECT_EQ(TextLanguageFromLocale("d", nullptr, nullptr), en);
    EXPECT_EQ(TextLanguageFromLocale("DE_de", nullptr, nullptr), en);
    SelectTextLanguage(de);
    EXPECT_EQ(LoadText(104), "Weiter");
    SelectTextLanguage(en);
    EXPECT_EQ(LoadText(104), "Continue");
}

TEST(FormatText, FillsPlacesInOrderAndTakesArgumentsLiterally)
{
    EXPECT_EQ(FormatText("Name: %s, %s", {"%s%s%n", "b"}), "Name: %s%s%n, b") << "a firmware name is data";
    EXPECT_EQ(FormatText("%s and %s", {"one"}) + "|" + FormatText("100%% %d %", {}) + "|" +
                  FormatText("", {"x"}),
              "one and |100% %d %|");
}

TEST(UpdateRecord, JsonStringEscapesEveryByteSequence)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain /dev/ttyUSB0", "\"plain /dev/ttyUSB0\""},
        {"q\"b\\s/", "\"q\\\"b\\\\s/\""},
        {std::string("\n\t\r\x01\x1F\x7F", 6) + std::string(1, '\0'),
         "\"\\n\\t\\u000D\\u0001\\u001F\\u007F\\u0000\""},
        {"\xC3\xBC \xE2\x82\xAC \xF0\x9F\x94\x8C",
         "\"\xC3\xBC \xE2\x82\xAC \xF0\x9F\x94\x8C\""},           // ü € and a plug
        {"\xFC", "\"\\u00FC\""},                                  // Windows-1252 ü, not UTF-8
        {"\xC0\x80", "\"\\u00C0\\u0080\""},                       // overlong NUL
        {"\xED\xA0\x80", "\"\\u00ED\\u00A0\\u0080\""},            // a surrogate
        {"\xE2\x82", "\"\\u00E2\\u0082\""},                       // cut short at the end
        {"\xF4\x90\x80\x80", "\"\\u00F4\\u0090\\u0080\\u0080\""}, // above U+10FFFF
    };
    for (const auto& [strIn, strOut] : cases)
        EXPECT_EQ(JsonString(strIn), strOut);
}

TEST(UpdateRecord, UtcTimeInIso8601)
{
    using namespace std::chrono;
    const std::pair<long long, const char*> cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {951'782'400'000, "2000-02-29T00:00:00.000Z"},
        {1'709'251'199'999, "2024-02-29T23:59:59.999Z"},
        {4'102'444'800'000, "2100-01-01T00:00:00.000Z"},
    };
    for (const auto& [nMs, pszText] : cases)
        EXPECT_EQ(FormatUtcTime(system_clock::time_point(milliseconds(nMs))), pszText);
}

} // namespace
