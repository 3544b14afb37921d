// Files we did not write: S-records that srec_cat makes from a binary load to the same bytes.
#include "firmware/FirmwareImage.h"

#include "FwTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace fwtest;

TEST(ForeignFiles, SrecCatOutputLoadsToTheBinaryItCameFrom)
{
    if (std::string(ORLIX_SREC_CAT).empty())
        GTEST_SKIP() << "srec_cat not found at configure time";
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
        const std::string strCommand = std::string(ORLIX_SREC_CAT) + " " + dir.File("in.bin") +
                                       " -binary -offset " + std::to_string(dwOffset) + " -o " +
                                       dir.File("out.mhx") + " -motorola " + pszOptions +
                                       " -header 'orlix test image' >/dev/null 2>&1";
        ASSERT_EQ(std::system(strCommand.c_str()), 0);
        CFirmwareImage image;
        ASSERT_EQ(image.Load(dir.File("out.mhx")), LOAD_OK);
        const uint32_t dwLow = dwOffset & ~0x1FFu;
        Bytes expected(((dwOffset + 8999) | 0x1FFu) - dwLow + 1, 0xFF), loaded(expected.size());
        std::copy(binary.begin(), binary.end(), expected.begin() + (dwOffset - dwLow));
        EXPECT_EQ(image.GetLowAddress(), dwLow);
        EXPECT_EQ(image.Read(loaded.data(), dwLow, static_cast<uint32_t>(loaded.size())), loaded.size());
        EXPECT_TRUE(loaded == expected);
        EXPECT_TRUE(dwOffset == 0xFF7F01 || image.GetName() == "orlix test image") << image.GetName();
    }
}
