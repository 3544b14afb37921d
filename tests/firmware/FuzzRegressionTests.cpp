// Inputs the fuzz targets (fuzz/) found, kept as fast tests. The rule they guard: a file either
// loads whole or is refused; it never loads as part of itself.
#include "firmware/FirmwareImage.h"

#include "FwTestUtil.h"

#include <gtest/gtest.h>

using namespace fwtest;

namespace
{
const std::string END = "S9030000FC";
const std::string REC1 = S1(0x0000, {0x11, 0x11, 0x11, 0x11});
const std::string REC2 = S1(0x0004, {0x22, 0x22, 0x22, 0x22});

class FuzzRegressionTest : public ImageTest
{
protected:
    // A load that succeeds must hold the byte at 4 (from the second record) and, if bByte8, at 8.
    int LoadWholeOrRefused(const std::string& strContent, bool bByte8 = false)
    {
        const int nResult = Load(strContent);
        EXPECT_TRUE(nResult == LOAD_OK || nResult == LOAD_CORRUPT) << nResult;
        if (nResult == LOAD_OK)
        {
            const Bytes b = ReadAll(0, 9);
            EXPECT_EQ(b.at(4), 0x22) << "loaded without the second record";
            EXPECT_TRUE(!bByte8 || b.at(8) == 0x33) << "loaded without the last record";
        }
        return nResult;
    }
};
} // namespace

// Everything after a checksum was ignored, so a line holding a further record loaded as its
// first record alone. The fuzzer's input, minimized: an S2 record and the start of an S8 on one line.
TEST_F(FuzzRegressionTest, ARecordStartAfterTheChecksumIsRefused)
{
    EXPECT_EQ(LoadWholeOrRefused("S20500000000FAS8\n"), LOAD_CORRUPT);
    EXPECT_EQ(LoadWholeOrRefused("S20500000000FAS8"), LOAD_CORRUPT);
}

// Lines ending in a lone CR read as one long line.
TEST_F(FuzzRegressionTest, LoneCrLineEndsNeverLoadOnlyTheFirstRecord)
{
    LoadWholeOrRefused(REC1 + "\r" + REC2 + "\r" + END + "\r");
    LoadWholeOrRefused(S0("name") + "\r\n" + REC1 + "\r" + REC2 + "\r\n" + END + "\r\n");
    LoadWholeOrRefused(REC1 + "\n" + REC2 + "\t" + S2(0x000008, {0x33}), true); // hidden on the last line
}

// A corrupt record must not pass by hiding behind a good one.
TEST_F(FuzzRegressionTest, ACorruptRecordAfterAChecksumIsRefused)
{
    std::string strBad = REC2;
    strBad.back() = strBad.back() == '0' ? '1' : '0';
    EXPECT_EQ(LoadWholeOrRefused(REC1 + "\r" + strBad + "\r" + END + "\r"), LOAD_CORRUPT);
    EXPECT_EQ(LoadWholeOrRefused(REC1 + strBad + "\n" + END + "\n"), LOAD_CORRUPT);
}
