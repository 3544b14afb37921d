// Inputs the fuzz targets (fuzz/) found or circled around, kept as fast tests. The rule they
// guard: a file either loads whole or is refused; it never loads as part of itself.
#include "firmware/FirmwareImage.h"

#include "FwTestUtil.h"

#include <gtest/gtest.h>

#include <map>

using namespace fwtest;

namespace
{
class FuzzRegressionTest : public ::testing::Test
{
protected:
    int Load(const std::string& strContent)
    {
        return m_image.Load(m_dir.Write("f" + std::to_string(m_nFile++) + ".mhx", strContent));
    }

    // A load that succeeds must hold every byte of every data record.
    void ExpectWholeOrRefused(const std::string& strContent, const std::map<uint32_t, uint8_t>& bytes)
    {
        const int nResult = Load(strContent);
        if (nResult != LOAD_OK)
        {
            EXPECT_EQ(nResult, LOAD_CORRUPT);
            return;
        }
        for (const auto& [dwAddress, nValue] : bytes)
        {
            uint8_t nByte = 0;
            EXPECT_EQ(m_image.Read(&nByte, dwAddress, 1), 1u) << std::hex << dwAddress;
            EXPECT_EQ(nByte, nValue) << "loaded without the byte at 0x" << std::hex << dwAddress;
        }
    }

    CScratchDir m_dir;
    CFirmwareImage m_image;
    int m_nFile = 0;
};

const std::string END = "S9030000FC";
const std::string REC1 = S1(0x0000, {0x11, 0x11, 0x11, 0x11});
const std::string REC2 = S1(0x0004, {0x22, 0x22, 0x22, 0x22});
const std::map<uint32_t, uint8_t> BYTES = {{0, 0x11}, {3, 0x11}, {4, 0x22}, {7, 0x22}};
} // namespace

// Everything after a record's checksum was ignored, so a line holding a further record loaded
// as its first record alone. The fuzzer's input, minimized: one S2 record and the start of an
// S8 record on one line.
TEST_F(FuzzRegressionTest, FuzzerInputWithARecordStartAfterTheChecksumIsRefused)
{
    EXPECT_EQ(Load("S20500000000FAS8\n"), LOAD_CORRUPT);
    EXPECT_EQ(Load("S20500000000FAS8"), LOAD_CORRUPT);
}

// Lines ending in a lone CR read as one long line.
TEST_F(FuzzRegressionTest, LoneCrLineEndsNeverLoadOnlyTheFirstRecord)
{
    ExpectWholeOrRefused(REC1 + "\r" + REC2 + "\r" + END + "\r", BYTES);
    // One lone CR inside an otherwise CR LF file.
    ExpectWholeOrRefused(S0("name") + "\r\n" + REC1 + "\r" + REC2 + "\r\n" + END + "\r\n", BYTES);
    // The hidden record on the last line, without a line end.
    ExpectWholeOrRefused(REC1 + "\n" + REC2 + "\t" + S2(0x000008, {0x33}), {{4, 0x22}, {8, 0x33}});
}

// A corrupt record must not pass by hiding behind a good one.
TEST_F(FuzzRegressionTest, ACorruptRecordAfterAChecksumIsRefused)
{
    std::string strBad = REC2;
    strBad.back() = strBad.back() == '0' ? '1' : '0';
    EXPECT_EQ(Load(REC1 + "\r" + strBad + "\r" + END + "\r"), LOAD_CORRUPT);
    EXPECT_EQ(Load(REC1 + strBad + "\n" + END + "\n"), LOAD_CORRUPT);
}
