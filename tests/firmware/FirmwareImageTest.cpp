// CFirmwareImage: loading, range and blocks, identification texts, buffer operations and the
// load result codes.
#include "firmware/FirmwareImage.h"

#include "FwTestUtil.h"

#include <gtest/gtest.h>

using namespace fwtest;
using namespace std::string_literals;

namespace
{
class FirmwareImageTest : public ::testing::Test
{
protected:
    int LoadText(const std::string& strContent)
    {
        return m_image.Load(m_dir.Write("f" + std::to_string(m_nFile++) + ".mhx", strContent));
    }

    Bytes ReadAll(uint32_t dwAddress, uint32_t dwLength) const
    {
        Bytes out(dwLength, 0x00);
        out.resize(m_image.Read(out.data(), dwAddress, dwLength));
        return out;
    }

    CScratchDir m_dir;
    CFirmwareImage m_image;
    int m_nFile = 0;
};

const std::string END = "S9030000FC";

std::string Field(const std::string& strText)
{
    std::string out = strText;
    out.resize(16, '\0');
    return out;
}

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
} // namespace

// ---- range and blocks ----------------------------------------------------------------------

TEST_F(FirmwareImageTest, RangeIsRoundedToWholeBlocksAndUnwrittenBytesAreBlank)
{
    const uint32_t B = 0xF81000;
    const Bytes data = Pattern(513);
    ASSERT_EQ(LoadText(Lines({S2Run(B + 16, data), END})), LOAD_OK);
    EXPECT_EQ(m_image.GetLowAddress(), B);
    EXPECT_EQ(m_image.GetHighAddress(), B + 1023);
    EXPECT_EQ(m_image.GetBase(), B);
    EXPECT_EQ(m_image.GetSize(), 1024u);
    EXPECT_EQ(ReadAll(B, 16), Bytes(16, 0xFF));
    EXPECT_EQ(ReadAll(B + 16, 513), data);
    EXPECT_EQ(ReadAll(B + 529, 1000), Bytes(495, 0xFF));
    EXPECT_FALSE(m_image.IsBlockBlank(B));
    EXPECT_FALSE(m_image.IsBlockBlank(B + 512));
}

TEST_F(FirmwareImageTest, LaterRecordsOverwriteEarlierOnes)
{
    ASSERT_EQ(LoadText(Lines({S1(0x100, {1, 2, 3, 4}), S1(0x102, {9}), S1(0x100, {7})})), LOAD_OK);
    EXPECT_EQ(ReadAll(0x100, 5), (Bytes{7, 2, 9, 4, 0xFF}));
}

TEST_F(FirmwareImageTest, RecordWithoutDataCountsFromItsAddressDownToTheByteBefore)
{
    // Empty records enter the range scan; one at address 0 does not wrap to the top.
    ASSERT_EQ(LoadText(Lines({S1(0x0400, {}), S1(0x1000, {1}), S1(0x3000, {}), END})), LOAD_OK);
    EXPECT_EQ(m_image.GetLowAddress(), 0x0400u);
    EXPECT_EQ(m_image.GetHighAddress(), 0x2FFFu);
    ASSERT_EQ(LoadText(Lines({S1(0x0000, {}), S1(0x0100, {1})})), LOAD_OK);
    EXPECT_EQ(m_image.GetLowAddress(), 0u);
    EXPECT_EQ(m_image.GetHighAddress(), 0x1FFu);
}

TEST_F(FirmwareImageTest, DataAtAddressZeroGivesItsOwnRange)
{
    ASSERT_EQ(LoadText(Lines({S2(0xFFFF00, {1})})), LOAD_OK);
    ASSERT_EQ(LoadText(Lines({S1(0x0000, {0x42})})), LOAD_OK);
    EXPECT_EQ(m_image.GetLowAddress(), 0u);
    EXPECT_EQ(m_image.GetHighAddress(), 0x1FFu);
    EXPECT_EQ(ReadAll(0, 2), (Bytes{0x42, 0xFF}));
}

TEST_F(FirmwareImageTest, BlockSizeSetsTheRounding)
{
    m_image.SetBlockSize(1024);
    m_image.SetBlockSize(0);   // ignored
    m_image.SetBlockSize(768); // ignored
    EXPECT_EQ(m_image.GetBlockSize(), 1024u);
    ASSERT_EQ(LoadText(Lines({S2(0xFF0600, {1})})), LOAD_OK);
    EXPECT_EQ(m_image.GetLowAddress(), 0xFF0400u);
    EXPECT_EQ(m_image.GetHighAddress(), 0xFF07FFu);
}

TEST_F(FirmwareImageTest, TopOfTheAddressSpace)
{
    ASSERT_EQ(LoadText(Lines({S3(0xFFFFFFF0, Pattern(16))})), LOAD_OK);
    EXPECT_EQ(m_image.GetLowAddress(), 0xFFFFFE00u);
    EXPECT_EQ(m_image.GetHighAddress(), 0xFFFFFFFFu);
    EXPECT_EQ(ReadAll(0xFFFFFFF0, 100), Pattern(16));
    // A record running past 0xFFFFFFFF is corrupt.
    EXPECT_EQ(LoadText(Lines({S3(0xFFFFFFF8, Pattern(16))})), LOAD_CORRUPT);
}

TEST_F(FirmwareImageTest, ImagesBeyond16MiBAreRefusedWithoutAllocating)
{
    // Exactly 16 MiB is the whole target address space and loads.
    ASSERT_EQ(LoadText(Lines({S2(0x000000, {1}), S2(0xFFFFFF, {2})})), LOAD_OK);
    EXPECT_EQ(m_image.GetSize(), 0x1000000u);
    ASSERT_EQ(LoadText(Lines({S2(0xFF8000, ToBytes(Field("MB90F362")))})), LOAD_OK);
    EXPECT_EQ(LoadText(Lines({S3(0x00000000, {1}), S3(0x01000000, {2})})), LOAD_NO_MEMORY);
    EXPECT_EQ(LoadText(Lines({S3(0x00000000, {1}), S3(0xFFFFFFFF, {2})})), LOAD_NO_MEMORY);
    // The earlier image stands.
    EXPECT_EQ(m_image.GetProcessor(), "MB90F362");
    EXPECT_EQ(m_image.GetSize(), 512u);
}

// ---- identification texts ------------------------------------------------------------------

TEST_F(FirmwareImageTest, TextsComeFromTheIdentificationBlock)
{
    const std::string block = Field("MB90F362") + "V1.0.0-rc1-build" + Field("Unit");
    ASSERT_EQ(LoadText(Lines({S0("hdr\0" "9.9\0" "MB90F345"s), S2Run(0xFF8000, ToBytes(block))})), LOAD_OK);
    EXPECT_EQ(m_image.GetProcessor(), "MB90F362");
    EXPECT_EQ(m_image.GetVersion(), "V1.0.0-rc1-build"); // 16 bytes without NUL
    EXPECT_EQ(m_image.GetName(), "Unit");
}

TEST_F(FirmwareImageTest, TextsComeFromTheLastHeaderWhenTheBlockIsOutsideTheImage)
{
    ASSERT_EQ(LoadText(Lines({S0("old\0old\0old"s), S0("Name\0V2\0MB90F345\0extra"s), S2(0xF80000, {1})})),
              LOAD_OK);
    EXPECT_EQ(m_image.GetName(), "Name");
    EXPECT_EQ(m_image.GetVersion(), "V2");
    EXPECT_EQ(m_image.GetProcessor(), "MB90F345");

    ASSERT_EQ(LoadText(Lines({S0("only a name"), S1(0x10, {1})})), LOAD_OK);
    EXPECT_EQ(m_image.GetName(), "only a name");
    EXPECT_EQ(m_image.GetVersion(), "");
    EXPECT_EQ(m_image.GetProcessor(), "");

    ASSERT_EQ(LoadText(Lines({S0("abcdefghijklmnopqrstuvwxyz\0v"s), S1(0x10, {1})})), LOAD_OK);
    EXPECT_EQ(m_image.GetName(), "abcdefghijklmnopqrst");
    EXPECT_EQ(m_image.GetVersion(), "v");
}

TEST_F(FirmwareImageTest, BlockInRangeButNotWrittenGivesBlankTexts)
{
    ASSERT_EQ(LoadText(Lines({S0("n\0v\0MB90F345"s), S2(0xFF81F0, {1})})), LOAD_OK);
    EXPECT_EQ(m_image.GetProcessor(), std::string(16, '\xFF'));
    EXPECT_EQ(m_image.GetVersion(), std::string(16, '\xFF'));
    EXPECT_EQ(m_image.GetName(), std::string(16, '\xFF'));
}

TEST_F(FirmwareImageTest, ANewFileNeverKeepsTheTextsOfTheFileBefore)
{
    ASSERT_EQ(LoadText(Lines({S2Run(0xFF8000, ToBytes(Field("MB90F345") + Field("V1") + Field("A")))})), LOAD_OK);
    ASSERT_EQ(LoadText(Lines({S1(0x10, {1})})), LOAD_OK);
    EXPECT_EQ(m_image.GetProcessor(), "");
    EXPECT_EQ(m_image.GetVersion(), "");
    EXPECT_EQ(m_image.GetName(), "");
}

// ---- buffer operations ---------------------------------------------------------------------

TEST_F(FirmwareImageTest, FreshImage)
{
    const CFirmwareImage image;
    uint8_t buffer[16];
    EXPECT_FALSE(image.IsLoaded());
    EXPECT_EQ(image.GetBlockSize(), 512u);
    EXPECT_EQ(image.GetName(), "");
    EXPECT_EQ(image.Read(buffer, 0, 16), 0u);
    EXPECT_EQ(image.ReadBlock(buffer, 0), 0u);
    EXPECT_FALSE(image.IsBlockBlank(0));
}

TEST_F(FirmwareImageTest, AllocateFillsBlankAndRefusesRangesPastTheTop)
{
    EXPECT_EQ(m_image.Allocate(0x1000, 0x400), 0x400u);
    EXPECT_TRUE(m_image.IsLoaded());
    EXPECT_EQ(ReadAll(0x1000, 0x400), Bytes(0x400, 0xFF));
    EXPECT_TRUE(m_image.IsBlockBlank(0x1000));

    EXPECT_EQ(m_image.Allocate(0xFFFFFF00, 0x100), 0x100u);
    EXPECT_EQ(m_image.Allocate(0xFFFFFF00, 0x101), 0u);
    EXPECT_FALSE(m_image.IsLoaded());
    EXPECT_EQ(m_image.GetBase(), 0u);
    EXPECT_EQ(m_image.GetSize(), 0u);
    EXPECT_EQ(m_image.Allocate(0x1000, 0), 0u);
    EXPECT_FALSE(m_image.IsLoaded());
}

TEST_F(FirmwareImageTest, ReadAndWriteStopAtTheBufferEdges)
{
    ASSERT_EQ(m_image.Allocate(0x2000, 0x200), 0x200u);
    const Bytes data = Pattern(32);
    uint8_t out[64];
    EXPECT_EQ(m_image.Write(data.data(), 0x1FFF, 4), 0u);
    EXPECT_EQ(m_image.Write(data.data(), 0x2200, 4), 0u);
    EXPECT_EQ(m_image.Write(nullptr, 0x2000, 4), 0u);
    EXPECT_EQ(m_image.Write(data.data(), 0x21F0, 32), 16u);
    EXPECT_EQ(m_image.Read(out, 0x1FFF, 4), 0u);
    EXPECT_EQ(m_image.Read(out, 0x2200, 4), 0u); // one past the end: nothing
    EXPECT_EQ(m_image.Read(out, 0x2201, 4), 0u);
    EXPECT_EQ(m_image.Read(nullptr, 0x2000, 4), 0u);
    EXPECT_EQ(m_image.Read(out, 0x21F6, 10), 10u);
    EXPECT_EQ(m_image.Read(out, 0x21F6, 64), 10u);
    EXPECT_EQ(Bytes(out, out + 10), Bytes(data.begin() + 6, data.begin() + 16));

    // At the top of the 32-bit space the arithmetic must not wrap.
    ASSERT_EQ(m_image.Allocate(0xFFFFFE00, 0x200), 0x200u);
    EXPECT_EQ(m_image.Write(data.data(), 0xFFFFFFFF, 32), 1u);
    EXPECT_EQ(m_image.Read(out, 0xFFFFFFF6, 0xFFFFFFFF), 10u);
    EXPECT_EQ(out[9], data[0]);
    EXPECT_EQ(m_image.Read(out, 0, 16), 0u);
}

TEST_F(FirmwareImageTest, BlankTestAndBlockReads)
{
    ASSERT_EQ(m_image.Allocate(0x4000, 0x600), 0x600u);
    const uint8_t zero = 0;
    ASSERT_EQ(m_image.Write(&zero, 0x43FF, 1), 1u); // last byte of the second block
    const CFirmwareImage& image = m_image;
    EXPECT_TRUE(image.IsBlockBlank(0x4000));
    EXPECT_FALSE(image.IsBlockBlank(0x4200));
    EXPECT_TRUE(image.IsBlockBlank(0x4400));
    // Blocks that are not wholly inside the buffer are never blank.
    EXPECT_FALSE(image.IsBlockBlank(0x3E00));
    EXPECT_FALSE(image.IsBlockBlank(0x4401));
    EXPECT_FALSE(image.IsBlockBlank(0x4600));
    EXPECT_FALSE(image.IsBlockBlank(0xFFFFFFFF));

    uint8_t block[512];
    EXPECT_EQ(image.ReadBlock(block, 0x4200), 512u);
    EXPECT_EQ(block[511], 0);
    EXPECT_EQ(image.ReadBlock(block, 0x4500), 256u);
}

TEST_F(FirmwareImageTest, FreeDropsTheBufferButKeepsRangeAndTexts)
{
    ASSERT_EQ(LoadText(Lines({S0("N\0V\0P"s), S2(0xF80000, {1})})), LOAD_OK);
    m_image.Free();
    EXPECT_FALSE(m_image.IsLoaded());
    EXPECT_EQ(m_image.GetSize(), 0u);
    EXPECT_EQ(m_image.GetLowAddress(), 0xF80000u);
    EXPECT_EQ(m_image.GetHighAddress(), 0xF801FFu);
    EXPECT_EQ(m_image.GetProcessor(), "P");
}

// ---- result codes --------------------------------------------------------------------------

TEST_F(FirmwareImageTest, FilesThatCannotBeRead)
{
    EXPECT_EQ(m_image.Load(m_dir.File("missing.mhx")), LOAD_CANNOT_OPEN);
    EXPECT_EQ(m_image.Load(""), LOAD_CANNOT_OPEN);
    // A folder opens but cannot be read: an access failure, not an empty file.
    const int nFolder = m_image.Load(m_dir.File(""));
    EXPECT_TRUE(nFolder == LOAD_CANNOT_OPEN || nFolder == LOAD_CANNOT_SEEK) << nFolder;
}

TEST_F(FirmwareImageTest, EveryLineMustBeARecord)
{
    const std::string data = S1(0x100, {1});
    EXPECT_EQ(LoadText(Lines({data, END})), LOAD_OK);
    EXPECT_EQ(LoadText(data + "\n" + END), LOAD_OK); // last line without line end
    EXPECT_EQ(LoadText(Lines({data, END}, "\r\n")), LOAD_OK);
    EXPECT_EQ(LoadText(Lines({data, END}) + "\x1A" "garbage after Ctrl-Z\n"), LOAD_OK);

    EXPECT_EQ(LoadText(Lines({data, "", END})), LOAD_CORRUPT);
    EXPECT_EQ(LoadText(Lines({data, END, ""})), LOAD_CORRUPT);
    EXPECT_EQ(LoadText(Lines({data, END, "; comment"})), LOAD_CORRUPT);
    EXPECT_EQ(LoadText(Lines({data, END, S1(0x100, {1}).substr(0, 11)})), LOAD_CORRUPT);
    EXPECT_EQ(LoadText(Lines({" " + data, END})), LOAD_CORRUPT);
    // Records after the end record still count.
    EXPECT_EQ(LoadText(Lines({END, data})), LOAD_OK);
    EXPECT_EQ(ReadAll(0x100, 1), Bytes{1});
}

TEST_F(FirmwareImageTest, TextAfterTheChecksumMayNotHideAFurtherRecord)
{
    const std::string a = S1(0x100, {1});
    const std::string b = S1(0x101, {2});
    EXPECT_EQ(LoadText(Lines({a + "  ; first byte", b + "\t", END})), LOAD_OK);
    // Lone CR line ends make one line; loading it would drop all but the first record.
    EXPECT_EQ(LoadText(a + "\r" + b + "\r" + END + "\r"), LOAD_CORRUPT);
    EXPECT_EQ(LoadText(Lines({a + b, END})), LOAD_CORRUPT);
    EXPECT_EQ(LoadText(Lines({a + " " + END})), LOAD_CORRUPT);
}

TEST_F(FirmwareImageTest, LinesLongerThan511CharactersGoOnAsAFurtherLine)
{
    const std::string data = S1(0x100, {1}); // 12 characters
    // 510 characters and CR LF (one line-end character) still make one line; the blanks after
    // the checksum are ignored.
    EXPECT_EQ(LoadText(Lines({data + std::string(498, ' '), END}, "\r\n")), LOAD_OK);
    // One more and the line end is a line of its own, which does not start with S.
    EXPECT_EQ(LoadText(Lines({data + std::string(499, ' '), END}, "\r\n")), LOAD_CORRUPT);
    // A line that goes on with a record is two records.
    EXPECT_EQ(LoadText(Lines({data + std::string(499, ' ') + S1(0x200, {2}), END})), LOAD_OK);
    EXPECT_EQ(ReadAll(0x200, 1), Bytes{2});
}

TEST_F(FirmwareImageTest, FilesWithoutDataAreCorrupt)
{
    EXPECT_EQ(LoadText(""), LOAD_CORRUPT);
    EXPECT_EQ(LoadText(Lines({S0("header only"), END})), LOAD_CORRUPT);
    EXPECT_EQ(LoadText(Lines({S1(0x100, {}), END})), LOAD_CORRUPT);
    EXPECT_FALSE(m_image.IsLoaded());
}

TEST_F(FirmwareImageTest, AFailedLoadLeavesTheEarlierImageWhole)
{
    ASSERT_EQ(LoadText(Lines({S2Run(0xFF8000, ToBytes(Field("MB90F345") + Field("V1") + Field("A")))})), LOAD_OK);
    std::string bad = S1(0x100, {1});
    bad.back() = bad.back() == '0' ? '1' : '0';
    EXPECT_EQ(LoadText(Lines({S0("B\0V2\0MB90F362"s), S1(0x0000, {5}), bad})), LOAD_CORRUPT);
    EXPECT_TRUE(m_image.IsLoaded());
    EXPECT_EQ(m_image.GetLowAddress(), 0xFF8000u);
    EXPECT_EQ(m_image.GetHighAddress(), 0xFF81FFu);
    EXPECT_EQ(m_image.GetProcessor(), "MB90F345");
    EXPECT_EQ(m_image.GetName(), "A");
    EXPECT_EQ(ReadAll(0xFF8000, 8), ToBytes("MB90F345"));
}
