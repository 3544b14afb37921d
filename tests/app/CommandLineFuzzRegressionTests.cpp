// Command lines the fuzz target (fuzz/FuzzCommandLine.cpp) found, kept as fast tests. On POSIX
// the front-ends join argv into one line for the parser; a path must come back from that
// whole or not at all, never as another file and never changing the options around it.
#include "tests/app/Fakes.h"

namespace
{
// The path of {"-r", "-f:<path>", "-a"} comes back whole or not at all; -r and -a stay, nothing
// is added.
void ExpectPathWholeOrDropped(const std::string& strPath)
{
    const std::string strArg = "-f:" + strPath, strParsed = Parse(Join({"-r", strArg.c_str(), "-a"}));
    EXPECT_TRUE(strParsed == "1 1 " + strPath + "|" || strParsed == "1 1 |")
        << strPath << " -> " << strParsed;
}
} // namespace

// A '"' inside a value that has to be quoted for its space ended the quoted value early: the
// parser took the text before it as the path and read the rest as further options.
TEST(CommandLineFuzzRegression, PathWithQuoteAndSpaceIsNeverReadAsAnotherPath)
{
    ExpectPathWholeOrDropped("/media/usb/Firmware \"new\" v2.mhx");
    ExpectPathWholeOrDropped("-f:\"/tmp/a b -a"); // the fuzzer's input
    ExpectPathWholeOrDropped("/tmp/dir\" with/fw.mhx");
    ExpectPathWholeOrDropped("/tmp/ends with a quote\"");
}

TEST(CommandLineFuzzRegression, PathWithQuoteAndSpaceAddsNoOptions)
{
    ExpectPathWholeOrDropped("/tmp/x\" -p:/dev/ttyS0 \"y.mhx");
    ExpectPathWholeOrDropped("/tmp/x\" -f:/tmp/other.mhx \"y.mhx");
    ExpectPathWholeOrDropped("\"/tmp/x\" -p:/dev/ttyS0 \"y.mhx\""); // already quoted, a quote inside
}

// What already works and must stay so: quotes without a space, spaces without a quote.
TEST(CommandLineFuzzRegression, PathsTheLineCanCarryComeBackWhole)
{
    for (const std::string strPath : {"/tmp/a\"b.mhx", "/tmp/a b/c -a d.mhx", "/x:y/ -r.mhx", ""})
        EXPECT_EQ(Parse(Join({("/F:" + strPath).c_str(), "-a"})), "1 0 " + strPath + "|");
}
