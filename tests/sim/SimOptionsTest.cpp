#include "sim/SimOptions.h"

#include <gtest/gtest.h>

namespace
{
bool Parse(std::vector<std::string> args, SSimOptions& opts, std::string& strError)
{
    opts = {};
    strError.clear();
    return ParseSimOptions(args, opts, strError);
}
} // namespace

TEST(SimOptionsTest, DefaultsAndValueForms)
{
    SSimOptions opts;
    std::string strError;
    ASSERT_TRUE(Parse({"--link", "/tmp/u0"}, opts, strError)) << strError;
    EXPECT_EQ(opts.strLink, "/tmp/u0");
    EXPECT_EQ(opts.chip.Name, "MB90F345");
    EXPECT_EQ(opts.chip.StartAddress, 0xF80000u);
    EXPECT_EQ(opts.dwEraseMs, 1500u);
    EXPECT_EQ(opts.dwBlankMs, 300u);
    EXPECT_TRUE(opts.bPace);
    EXPECT_FALSE(opts.bQuiet);

    ASSERT_TRUE(
        Parse({"--link=/x", "--chip=MB90F362", "--erase-ms", "0", "--blank-ms=20", "--no-pace", "--quiet",
               "--decoy", "/d1", "--decoy=/d2", "--dump", "/f.bin", "--log=/p.log", "--pace-cap-ms", "50"},
              opts, strError))
        << strError;
    EXPECT_EQ(opts.chip.Name, "MB90F362");
    EXPECT_EQ(opts.chip.ResourceId, 148u);
    EXPECT_EQ(opts.dwEraseMs, 0u);
    EXPECT_EQ(opts.dwBlankMs, 20u);
    EXPECT_EQ(opts.dwPaceCapMs, 50u);
    EXPECT_FALSE(opts.bPace);
    EXPECT_TRUE(opts.bQuiet);
    EXPECT_EQ(opts.decoys, (std::vector<std::string>{"/d1", "/d2"}));
    EXPECT_EQ(opts.strDump, "/f.bin");
    EXPECT_EQ(opts.strLog, "/p.log");

    // The last of --pace / --no-pace wins; --help needs nothing else.
    ASSERT_TRUE(Parse({"--link", "/x", "--no-pace", "--pace"}, opts, strError));
    EXPECT_TRUE(opts.bPace);
    ASSERT_TRUE(Parse({"--help"}, opts, strError));
    EXPECT_TRUE(opts.bHelp);
}

TEST(SimOptionsTest, BadCommandLinesAreRefusedWithAReason)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "--link"},
        {{"--link"}, "needs a value"},
        {{"--link="}, "non-empty"},
        {{"--link", "/x", "--chip", "mb90f345"}, "unknown processor"},
        {{"--link", "/x", "--chip", "MB90F34"}, "unknown processor"},
        {{"--link", "/x", "--erase-ms", "-1"}, "milliseconds"},
        {{"--link", "/x", "--erase-ms", "12x"}, "milliseconds"},
        {{"--link", "/x", "--blank-ms", "99999999999"}, "milliseconds"},
        {{"--link", "/x", "--pace=1"}, "takes no value"},
        {{"--link", "/x", "--speed", "1"}, "unknown option"},
        {{"--link", "/x", "extra"}, "unknown option"},
        {{"--link", "/x", "--fault", "sometimes"}, "unknown fault"},
        {{"--link", "/x", "--fault"}, "needs a value"},
    };
    for (const auto& [args, strPart] : cases)
    {
        SSimOptions opts;
        std::string strError;
        EXPECT_FALSE(Parse(args, opts, strError)) << testing::PrintToString(args);
        EXPECT_NE(strError.find(strPart), std::string::npos) << strError;
    }
}

TEST(SimOptionsTest, FaultsAndTheirValues)
{
    SSimOptions opts;
    std::string strError;
    ASSERT_TRUE(Parse({"--link",
                       "/x",
                       "--fault",
                       "no-sync",
                       "--fault",
                       "bad-sync",
                       "--fault",
                       "no-ping",
                       "--fault",
                       "erase-hangs",
                       "--fault",
                       "blank-fails",
                       "--fault",
                       "blank-hangs",
                       "--fault",
                       "refuse-download=3",
                       "--fault",
                       "crc-once=0xF80200",
                       "--fault",
                       "crc-once=0xFFFE00",
                       "--fault",
                       "crc-always=16253952",
                       "--fault",
                       "write-fails=0xF80000",
                       "--fault=vanish-after=7"},
                      opts, strError))
        << strError;
    const SSimFaults& f = opts.faults;
    EXPECT_TRUE(f.bNoSync && f.bBadSync && f.bNoPing && f.bEraseHangs && f.bBlankFails && f.bBlankHangs);
    EXPECT_EQ(f.dwRefuseDownloads, 3u);
    EXPECT_EQ(f.crcOnce, (std::set<uint32_t>{0xF80200, 0xFFFE00}));
    EXPECT_EQ(f.crcAlways, (std::set<uint32_t>{0xF80400})); // decimal works too
    EXPECT_EQ(f.writeFails, (std::set<uint32_t>{0xF80000}));
    EXPECT_EQ(f.vanishAfter, 7u);

    // A fault that could never fire is a mistake in the test that asked for it.
    const std::vector<std::vector<std::string>> bad = {
        {"--fault", "crc-once=0xF80100"},                          // not a block boundary
        {"--fault", "crc-once=0xF7FE00"},                          // below the flash
        {"--chip", "MB90F362", "--fault", "write-fails=0xF80000"}, // the other chip's flash
        {"--fault", "crc-always"},
        {"--fault", "crc-always=0x1000000"},
        {"--fault", "refuse-download=0"},
        {"--fault", "vanish-after=x"},
        {"--fault", "no-sync=1"},
    };
    for (auto args : bad)
    {
        args.insert(args.begin(), {"--link", "/x"});
        EXPECT_FALSE(Parse(args, opts, strError)) << testing::PrintToString(args);
        EXPECT_FALSE(strError.empty());
    }
}
