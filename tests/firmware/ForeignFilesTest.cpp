// Files we did not write ourselves: S-records made by srec_cat from a binary must load to the
// same bytes, and the sample firmware files must load with their identification.
#include "firmware/FirmwareImage.h"

#include "FwTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace fwtest;

namespace
{
bool HaveSrecCat() { return std::string(ORLIX_SREC_CAT).size() > 0; }

int RunQuietly(const std::string& strCommand) { return std::system((strCommand + " >/dev/null 2>&1").c_str()); }

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// The whole image as bytes.
Bytes Contents(const CFirmwareImage& image)
{
    Bytes out(image.GetSize());
    out.resize(image.Read(out.data(), image.GetBase(), image.GetSize()));
    return out;
}

// What the image of a binary placed at dwOffset must hold: the binary inside a range rounded to
// 512-byte blocks, 0xFF around it.
Bytes Expected(const Bytes& binary, uint32_t dwOffset, uint32_t& dwLow)
{
    dwLow = dwOffset & ~0x1FFu;
    const uint32_t dwHigh = (dwOffset + static_cast<uint32_t>(binary.size()) - 1) | 0x1FFu;
    Bytes out(dwHigh - dwLow + 1, 0xFF);
    std::copy(binary.begin(), binary.end(), out.begin() + (dwOffset - dwLow));
    return out;
}

struct SSrecCatCase
{
    const char* pszName;
    uint32_t dwOffset;
    const char* pszOptions;
};
} // namespace

TEST(ForeignFiles, SrecCatOutputLoadsToTheBinaryItCameFrom)
{
    if (!HaveSrecCat())
    {
        GTEST_SKIP() << "srec_cat not found at configure time";
    }
    CScratchDir dir;
    // Firmware-like content: varied bytes with a run of 0xFF that spans whole blocks, odd length.
    Bytes binary = Pattern(9000, 7);
    std::fill(binary.begin() + 2000, binary.begin() + 3200, 0xFF);
    const std::string strBin = dir.File("in.bin");
    dir.Write("in.bin", std::string(binary.begin(), binary.end()));

    const SSrecCatCase cases[] = {
        {"S1, 16 bytes a line", 0x1000, "-address-length=2"},
        {"S1, 7 bytes a line, CR LF", 0x2003, "-address-length=2 -obs=7 -crlf"},
        {"S2, 32 bytes a line", 0xF80000, "-address-length=3 -obs=32"},
        {"S2, line length 46, CR LF, odd start", 0xFF7F01, "-address-length=3 -line-length=46 -crlf"},
        {"S3, 32 bytes a line", 0x12345600, "-address-length=4 -obs=32"},
        {"S3, 1 byte a line", 0xFFFFC000, "-address-length=4 -obs=1"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        const std::string strOut = dir.File("out.mhx");
        char szOffset[16];
        std::snprintf(szOffset, sizeof szOffset, "0x%X", c.dwOffset);
        ASSERT_EQ(RunQuietly(std::string(ORLIX_SREC_CAT) + " " + Quote(strBin) + " -binary -offset " + szOffset +
                      " -o " + Quote(strOut) + " -motorola " + c.pszOptions + " -header 'orlix test image'"),
                  0);
        CFirmwareImage image;
        ASSERT_EQ(image.Load(strOut), LOAD_OK);
        uint32_t dwLow = 0;
        const Bytes expected = Expected(binary, c.dwOffset, dwLow);
        EXPECT_EQ(image.GetLowAddress(), dwLow);
        EXPECT_EQ(image.GetHighAddress(), dwLow + static_cast<uint32_t>(expected.size()) - 1);
        EXPECT_TRUE(Contents(image) == expected);
        if (c.dwOffset != 0xFF7F01) // the one case whose data covers the identification block
        {
            EXPECT_EQ(image.GetName(), "orlix test image");
        }
    }
}

TEST(ForeignFiles, SamplesLoadWithTheirIdentification)
{
    struct
    {
        const char* pszFile;
        const char* pszProcessor;
        const char* pszVersion;
        const char* pszName;
        uint32_t dwLow;
    } samples[] = {
        {"analyzer-mb90f345.mhx", "MB90F345", "V2.14.0", "Analyzer AX-7", 0xF80000},
        {"controller-mb90f362.mhx", "MB90F362", "V1.3.2", "Controller CU-2", 0xFF0000},
    };
    for (const auto& s : samples)
    {
        SCOPED_TRACE(s.pszFile);
        const std::string strPath = std::string(ORLIX_SAMPLES_DIR) + "/" + s.pszFile;
        CFirmwareImage image;
        ASSERT_EQ(image.Load(strPath), LOAD_OK);
        EXPECT_EQ(image.GetProcessor(), s.pszProcessor);
        EXPECT_EQ(image.GetVersion(), s.pszVersion);
        EXPECT_EQ(image.GetName(), s.pszName);
        EXPECT_EQ(image.GetLowAddress(), s.dwLow);
        EXPECT_EQ(image.GetHighAddress(), 0xFFFFFFu);

        // Walked as the programmer does: some blocks carry data, the gaps between are blank.
        int nBlank = 0;
        int nData = 0;
        for (uint32_t a = image.GetLowAddress(); a < image.GetHighAddress(); a += 512)
        {
            (image.IsBlockBlank(a) ? nBlank : nData)++;
        }
        EXPECT_GT(nData, 20);
        EXPECT_GT(nBlank, 20);

        if (HaveSrecCat())
        {
            CScratchDir dir;
            const std::string strBin = dir.File("sample.bin");
            char szRange[64];
            std::snprintf(szRange, sizeof szRange, "-fill 0xFF 0x%X 0x1000000 -offset -0x%X", s.dwLow, s.dwLow);
            ASSERT_EQ(RunQuietly(std::string(ORLIX_SREC_CAT) + " " + Quote(strPath) + " " + szRange + " -o " +
                          Quote(strBin) + " -binary"),
                      0);
            EXPECT_TRUE(Contents(image) == ReadBytes(strBin));
        }
    }
}
