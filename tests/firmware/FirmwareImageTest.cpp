// CFirmwareImage: range and blocks, identification texts, load result codes. Then SHA-256 against
// published answers (FIPS 180-4 examples) and sha256sum for the lengths where the padding spills
// into a second block; each message fed whole and in odd pieces.
#include "firmware/FirmwareImage.h"
#include "firmware/Sha256.h"

#include "FwTestUtil.h"

#include <gtest/gtest.h>

using namespace fwtest;
using namespace std::string_literals;

namespace
{
const std::string END = "S9030000FC";
using FirmwareImageTest = ImageTest;

// 16-byte identification fields, one after the other.
Bytes Fields(std::initializer_list<std::string> texts)
{
    Bytes out;
    for (std::string s : texts)
        s.resize(16, '\0'), out.insert(out.end(), s.begin(), s.end());
    return out;
}
// The record with its last checksum digit changed.
std::string Spoilt(std::string s)
{
    s.back() = s.back() == '0' ? '1' : '0';
    return s;
}
} // namespace

TEST_F(FirmwareImageTest, RangeIsRoundedToWholeBlocksAndUnwrittenBytesAreBlank)
{
    const uint32_t B = 0xF81000;
    ASSERT_EQ(Load(SRecordRun(B + 16, Pattern(513)) + END), LOAD_OK);
    EXPECT_EQ(m_image.GetLowAddress(), B);
    EXPECT_EQ(m_image.GetHighAddress(), B + 1023);
    EXPECT_EQ(ReadAll(B, 16), Bytes(16, 0xFF));
    EXPECT_EQ(ReadAll(B + 16, 513), Pattern(513));
    EXPECT_EQ(ReadAll(B + 529, 1000), Bytes(495, 0xFF));
    // Later records overwrite earlier ones; empty records enter the range, one at 0 does not wrap.
    ASSERT_EQ(Load(Lines({SRecord(1, 0x0000, {}), SRecord(1, 0x100, {1, 2, 3, 4}), SRecord(1, 0x102, {9}),
                          SRecord(1, 0x100, {7}), SRecord(1, 0x3000, {})})),
              LOAD_OK);
    EXPECT_EQ(ReadAll(0x100, 5), (Bytes{7, 2, 9, 4, 0xFF}));
    EXPECT_EQ(m_image.GetLowAddress(), 0u);
    EXPECT_EQ(m_image.GetHighAddress(), 0x2FFFu);
    // The block size sets the rounding; sizes that are not a power of two are ignored.
    m_image.SetBlockSize(1024);
    m_image.SetBlockSize(768);
    ASSERT_EQ(Load(Lines({SRecord(2, 0xFF0600, {1})})), LOAD_OK);
    EXPECT_EQ(m_image.GetLowAddress(), 0xFF0400u);
    EXPECT_EQ(m_image.GetHighAddress(), 0xFF07FFu);
}

// Address arithmetic at the top of the 32-bit space and at the buffer's edges never wraps.
TEST_F(FirmwareImageTest, TopOfTheAddressSpaceDoesNotWrap)
{
    ASSERT_EQ(Load(Lines({SRecord(3, 0xFFFFFFF0, Pattern(16))})), LOAD_OK);
    EXPECT_EQ(m_image.GetLowAddress(), 0xFFFFFE00u);
    EXPECT_EQ(m_image.GetHighAddress(), 0xFFFFFFFFu);
    EXPECT_EQ(ReadAll(0xFFFFFFF0, 100), Pattern(16));
    EXPECT_EQ(Load(Lines({SRecord(3, 0xFFFFFFF8, Pattern(16))})), LOAD_CORRUPT); // runs past 0xFFFFFFFF
    uint8_t out[16];
    EXPECT_EQ(m_image.Write(out, 0xFFFFFFFF, 16), 1u);
    EXPECT_EQ(m_image.Read(out, 0xFFFFFFF6, 0xFFFFFFFF), 10u);
    EXPECT_EQ(m_image.Read(out, 0, 16), 0u);
    EXPECT_FALSE(m_image.IsBlockBlank(0xFFFFFFFF));
    EXPECT_EQ(m_image.Allocate(0xFFFFFF00, 0x101), 0u);
    EXPECT_FALSE(m_image.IsLoaded());
}

TEST_F(FirmwareImageTest, BufferOperationsStopAtTheEdges)
{
    uint8_t out[512];
    EXPECT_EQ(m_image.Read(out, 0, 16), 0u); // fresh image
    ASSERT_EQ(m_image.Allocate(0x2000, 0x600), 0x600u);
    EXPECT_EQ(ReadAll(0x2000, 0x600), Bytes(0x600, 0xFF));
    const Bytes data = Pattern(32);
    for (uint32_t a : {0x1FFFu, 0x2600u})
    {
        EXPECT_EQ(m_image.Write(data.data(), a, 4), 0u);
        EXPECT_EQ(m_image.Read(out, a, 4), 0u);
    }
    EXPECT_EQ(m_image.Write(nullptr, 0x2000, 4) + m_image.Read(nullptr, 0x2000, 4), 0u);
    EXPECT_EQ(m_image.Write(data.data(), 0x23F0, 32), 32u);
    EXPECT_EQ(m_image.Write(data.data(), 0x25F0, 32), 16u);
    EXPECT_EQ(m_image.Read(out, 0x25F6, 64), 10u);
    EXPECT_EQ(Bytes(out, out + 10), Bytes(data.begin() + 6, data.begin() + 16));
    // Blank only for whole blocks inside the buffer with every byte 0xFF.
    EXPECT_TRUE(m_image.IsBlockBlank(0x2000));
    EXPECT_FALSE(m_image.IsBlockBlank(0x2200));                                 // last byte written
    EXPECT_FALSE(m_image.IsBlockBlank(0x1E00) || m_image.IsBlockBlank(0x2600)); // partly outside
    EXPECT_EQ(m_image.ReadBlock(out, 0x2200), 512u);
    EXPECT_EQ(out[511], data[15]);
    EXPECT_EQ(m_image.ReadBlock(out, 0x2500), 256u);
    EXPECT_EQ(m_image.Allocate(0x1000, 0), 0u);
    EXPECT_FALSE(m_image.IsLoaded());
}

TEST_F(FirmwareImageTest, IdentificationTexts)
{
    // From the block at 0xFF8000 when the image holds it; 16 bytes without NUL stay whole.
    const Bytes block = Fields({"MB90F362", "V1.0.0-rc1-build", "Unit"});
    ASSERT_EQ(Load(S0("hdr\0009.9\0MB90F345"s) + "\n" + SRecordRun(0xFF8000, block)), LOAD_OK);
    EXPECT_EQ(Texts(), "MB90F362|V1.0.0-rc1-build|Unit");
    // Else from the last header; a new file never keeps the texts of the one before.
    ASSERT_EQ(
        Load(Lines({S0("old\0old\0old"s), S0("Name\0V2\0MB90F345\0extra"s), SRecord(2, 0xF80000, {1})})),
        LOAD_OK);
    EXPECT_EQ(Texts(), "MB90F345|V2|Name");
    ASSERT_EQ(Load(Lines({S0("abcdefghijklmnopqrstuvwxyz\0v"s), SRecord(1, 0x10, {1})})), LOAD_OK);
    EXPECT_EQ(Texts(), "|v|abcdefghijklmnopqrst");
    ASSERT_EQ(Load(Lines({SRecord(1, 0x10, {1})})), LOAD_OK);
    EXPECT_EQ(Texts(), "||");
    // The block in range but not written is blank.
    ASSERT_EQ(Load(Lines({S0("n\0v\0MB90F345"s), SRecord(2, 0xFF81F0, {1})})), LOAD_OK);
    const std::string blank(16, '\xFF');
    EXPECT_EQ(Texts(), blank + "|" + blank + "|" + blank);
}

TEST_F(FirmwareImageTest, LoadResultCodes)
{
    EXPECT_EQ(m_image.Load(m_dir.File("missing.mhx")), LOAD_CANNOT_OPEN);
    const int nFolder = m_image.Load(m_dir.File("")); // opens, cannot be read: not an empty file
    EXPECT_TRUE(nFolder == LOAD_CANNOT_OPEN || nFolder == LOAD_CANNOT_SEEK) << nFolder;
    const std::string a = SRecord(1, 0x100, {1}), b = SRecord(1, 0x101, {2}), pad498(498, ' ');
    const std::string bad = Spoilt(b);
    const std::pair<std::string, int> cases[] = {
        {a + "\n" + END, LOAD_OK}, // last line without line end
        {Lines({a, END}, "\r\n"), LOAD_OK},
        {Lines({a, END}) + "\x1A"
                           "garbage after Ctrl-Z\n",
         LOAD_OK},
        {Lines({END, a}), LOAD_OK}, // records after the end record still count
        {Lines({a + "  ; first byte", b + "\t", END}), LOAD_OK},
        {Lines({a + pad498, END}, "\r\n"), LOAD_OK},            // 511 characters with CR LF: one line
        {Lines({a + pad498 + " ", END}, "\r\n"), LOAD_CORRUPT}, // the line end alone goes on
        {Lines({a, "", END}), LOAD_CORRUPT},
        {Lines({a, END, "; comment"}), LOAD_CORRUPT},
        {Lines({a, END, a.substr(0, 11)}), LOAD_CORRUPT},
        {Lines({" " + a, END}), LOAD_CORRUPT},
        // Text after the checksum may not hide a further record: a file loads whole or not.
        {a + "\r" + b + "\r" + END + "\r", LOAD_CORRUPT},
        {Lines({a + b, END}), LOAD_CORRUPT},
        {Lines({a + " " + END}), LOAD_CORRUPT},
        {a + "\n" + b + "\t" + SRecord(2, 0x000008, {0x33}), LOAD_CORRUPT},
        {Lines({a, bad + " " + b, END}), LOAD_CORRUPT},
        {a + "\r" + bad + "\r" + END + "\r", LOAD_CORRUPT},
        {"S20500000000FAS8\n", LOAD_CORRUPT}, // found by fuzzing: a record and the start of one
        {"S20500000000FAS8", LOAD_CORRUPT},
        // Files without data.
        {"", LOAD_CORRUPT},
        {Lines({S0("header only"), END}), LOAD_CORRUPT},
        {Lines({SRecord(1, 0x100, {}), END}), LOAD_CORRUPT},
    };
    for (const auto& [strContent, nResult] : cases)
        EXPECT_EQ(Load(strContent), nResult) << strContent;
    // A line over 511 characters that goes on with a record is two records.
    EXPECT_EQ(Load(Lines({a + pad498 + " " + SRecord(1, 0x200, {2}), END})), LOAD_OK);
    EXPECT_EQ(ReadAll(0x200, 1), Bytes{2});
}

// Refused without allocating when beyond 16 MiB, or corrupt after good records.
TEST_F(FirmwareImageTest, AFailedLoadLeavesTheEarlierImageWhole)
{
    ASSERT_EQ(Load(Lines({SRecord(2, 0x000000, {1}), SRecord(2, 0xFFFFFF, {2})})), LOAD_OK); // exactly 16 MiB
    EXPECT_EQ(m_image.GetSize(), 0x1000000u);
    ASSERT_EQ(Load(SRecordRun(0xFF8000, Fields({"MB90F345", "V1", "A"}))), LOAD_OK);
    EXPECT_EQ(Load(Lines({SRecord(3, 0, {1}), SRecord(3, 0x01000000, {2})})), LOAD_NO_MEMORY);
    EXPECT_EQ(Load(Lines({SRecord(3, 0, {1}), SRecord(3, 0xFFFFFFFF, {2})})), LOAD_NO_MEMORY);
    EXPECT_EQ(Load(Lines({S0("B\0V2\0MB90F362"s), SRecord(1, 0x0000, {5}), Spoilt(SRecord(1, 0x100, {1}))})),
              LOAD_CORRUPT);
    EXPECT_TRUE(m_image.IsLoaded());
    EXPECT_EQ(m_image.GetLowAddress(), 0xFF8000u);
    EXPECT_EQ(m_image.GetHighAddress(), 0xFF81FFu);
    EXPECT_EQ(Texts(), "MB90F345|V1|A");
    EXPECT_EQ(ReadAll(0xFF8000, 16), Fields({"MB90F345"}));
}

TEST(Sha256, KnownAnswersWholeAndInPieces)
{
    const std::string strFips2 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {strFips2, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
        {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
        {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [strMessage, pszDigest] : cases)
    {
        SCOPED_TRACE(strMessage.size());
        const auto* pData = reinterpret_cast<const uint8_t*>(strMessage.data());
        EXPECT_EQ(CSha256::ToHex(CSha256::Of(pData, strMessage.size())), pszDigest);

        CSha256 sha;
        for (std::size_t nPos = 0, nPiece = 1; nPos < strMessage.size();
             nPos += nPiece, nPiece = nPiece * 3 + 1)
            sha.Update(pData + nPos, std::min(nPiece, strMessage.size() - nPos));
        EXPECT_EQ(CSha256::ToHex(sha.Final()), pszDigest);
        EXPECT_EQ(CSha256::ToHex(sha.Final()), cases[0].second) << "Final starts over";
    }
}
