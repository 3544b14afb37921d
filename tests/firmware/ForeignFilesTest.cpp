// Files we did not write: S-records made by srec_cat from a binary load to the same bytes, and the
// sample firmware files load with their identification.
#include "firmware/FirmwareImage.h"

#include "FwTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace fwtest;

namespace
{
bool SrecCat(const std::string& strArgs)
{
    return std::system((std::string(ORLIX_SREC_CAT) + " " + strArgs + " >/dev/null 2>&1").c_str()) == 0;
}
Bytes Contents(const CFirmwareImage& image)
{
    Bytes out(image.GetSize());
    out.resize(image.Read(out.data(), image.GetBase(), image.GetSize()));
    return out;
}
} // namespace

TEST(ForeignFiles, SrecCatOutputLoadsToTheBinaryItCameFrom)
{
    if (std::string(ORLIX_SREC_CAT).empty())
    {
        GTEST_SKIP() << "srec_cat not found at configure time";
    }
    CTempDir dir;
    Bytes binary = Pattern(9000, 7); // odd length, with a run of 0xFF spanning whole blocks
    std::fill(binary.begin() + 2000, binary.begin() + 3200, 0xFF);
    WriteFileText(dir.File("in.bin"), std::string(binary.begin(), binary.end()));
    const std::pair<uint32_t, const char*> cases[] = {
        {0x1000, "-address-length=2"},
        {0x2003, "-address-length=2 -obs=7 -crlf"},
        {0xF80000, "-address-length=3 -obs=32"},
        {0xFF7F01, "-address-length=3 -line-length=46 -crlf"}, // covers the identification block
        {0x12345600, "-address-length=4 -obs=32"},
        {0xFFFFC000, "-address-length=4 -obs=1"},
    };
    for (const auto& [dwOffset, pszOptions] : cases)
    {
        SCOPED_TRACE(pszOptions);
        ASSERT_TRUE(SrecCat(dir.File("in.bin") + " -binary -offset " + std::to_string(dwOffset) + " -o " +
                            dir.File("out.mhx") + " -motorola " + pszOptions +
                            " -header 'orlix test image'"));
        CFirmwareImage image;
        ASSERT_EQ(image.Load(dir.File("out.mhx")), LOAD_OK);
        const uint32_t dwLow = dwOffset & ~0x1FFu;
        Bytes expected(((dwOffset + 8999) | 0x1FFu) - dwLow + 1, 0xFF);
        std::copy(binary.begin(), binary.end(), expected.begin() + (dwOffset - dwLow));
        EXPECT_EQ(image.GetLowAddress(), dwLow);
        EXPECT_TRUE(Contents(image) == expected);
        EXPECT_TRUE(dwOffset == 0xFF7F01 || image.GetName() == "orlix test image") << image.GetName();
    }
}

TEST(ForeignFiles, SamplesLoadWithTheirIdentification)
{
    const char* samples[][4] = {{"analyzer-mb90f345.mhx", "MB90F345", "V2.14.0", "Analyzer AX-7"},
                                {"controller-mb90f362.mhx", "MB90F362", "V1.3.2", "Controller CU-2"}};
    const uint32_t lows[] = {0xF80000, 0xFF0000};
    for (int i = 0; i < 2; ++i)
    {
        SCOPED_TRACE(samples[i][0]);
        CFirmwareImage image;
        ASSERT_EQ(image.Load(OrlixSamplePath(samples[i][0])), LOAD_OK);
        EXPECT_EQ(image.GetProcessor(), samples[i][1]);
        EXPECT_EQ(image.GetVersion(), samples[i][2]);
        EXPECT_EQ(image.GetName(), samples[i][3]);
        EXPECT_EQ(image.GetLowAddress(), lows[i]);
        EXPECT_EQ(image.GetHighAddress(), 0xFFFFFFu);
        CTempDir dir;
        const std::string strLow = std::to_string(lows[i]);
        if (!std::string(ORLIX_SREC_CAT).empty())
        {
            ASSERT_TRUE(SrecCat(OrlixSamplePath(samples[i][0]) + " -fill 0xFF " + strLow +
                                " 0x1000000 -offset -" + strLow + " -o " + dir.File("s.bin") + " -binary"));
            EXPECT_TRUE(Contents(image) == ReadFileBytes(dir.File("s.bin")));
        }
    }
}
