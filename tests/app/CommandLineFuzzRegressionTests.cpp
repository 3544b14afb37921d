// Command lines the fuzz target (fuzz/FuzzCommandLine.cpp) found. On POSIX the front-ends join
// argv into one line for the parser; a path must come back whole or not at all, never as
// another file and never changing the options around it.
#include "tests/app/Fakes.h"

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
