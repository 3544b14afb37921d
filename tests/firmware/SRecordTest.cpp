// Record syntax: what CSRecord::Parse accepts and rejects.
#include "firmware/SRecord.h"

#include "FwTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace fwtest;

namespace
{
// Parses from a heap copy of exactly nLength bytes, so a sanitizer build catches any read past
// the length.
bool ParseExact(CSRecord& record, const std::string& strLine, std::size_t nLength)
{
    std::unique_ptr<char[]> copy(new char[nLength == 0 ? 1 : nLength]);
    std::memcpy(copy.get(), strLine.data(), nLength);
    return record.Parse(copy.get(), nLength);
}

bool Parse(CSRecord& record, const std::string& strLine)
{
    return ParseExact(record, strLine, strLine.size());
}
} // namespace

TEST(SRecordSyntax, ShortestRecordWithAndWithoutLineEnd)
{
    CSRecord record;
    EXPECT_TRUE(Parse(record, "S9030000FC"));
    EXPECT_EQ(record.GetType(), 9);
    EXPECT_EQ(record.GetCount(), 3);
    EXPECT_EQ(record.GetDataLength(), 0);
    EXPECT_EQ(record.GetChecksum(), 0xFC);
    EXPECT_TRUE(Parse(record, "S9030000FC\n"));
    EXPECT_TRUE(Parse(record, "S9030000FC\r\n"));
    // Anything after the checksum digits is ignored.
    EXPECT_TRUE(Parse(record, "S9030000FC   ; end\r\n"));
    EXPECT_FALSE(Parse(record, "S9030000F"));
}

TEST(SRecordSyntax, FieldsOfEachDataType)
{
    CSRecord record;
    ASSERT_TRUE(Parse(record, S1(0x1234, {0x01, 0x02, 0xFE})));
    EXPECT_EQ(record.GetType(), 1);
    EXPECT_EQ(record.GetAddress(), 0x1234u);
    EXPECT_EQ(record.GetCount(), 2 + 3 + 1);
    ASSERT_EQ(record.GetDataLength(), 3);
    EXPECT_EQ(record.GetData()[0], 0x01);
    EXPECT_EQ(record.GetData()[2], 0xFE);
    EXPECT_TRUE(record.IsDataRecord());

    ASSERT_TRUE(Parse(record, S2(0xFF8000, Pattern(32))));
    EXPECT_EQ(record.GetAddress(), 0xFF8000u);
    EXPECT_EQ(Bytes(record.GetData(), record.GetData() + record.GetDataLength()), Pattern(32));

    ASSERT_TRUE(Parse(record, S3(0xFEDCBA98, {0xAA})));
    EXPECT_EQ(record.GetAddress(), 0xFEDCBA98u);

    ASSERT_TRUE(Parse(record, S0("name")));
    EXPECT_FALSE(record.IsDataRecord());
}

TEST(SRecordSyntax, TypeTableLimitsData)
{
    const uint8_t widths[10] = {2, 2, 3, 4, 4, 2, 3, 4, 3, 2};
    CSRecord record;
    for (uint8_t nType = 0; nType < 10; ++nType)
    {
        SCOPED_TRACE(nType);
        const int nWidth = widths[nType];
        EXPECT_EQ(CSRecord::AddressBytes(nType), nWidth);
        const bool bCarriesData = nType <= 3;
        EXPECT_EQ(CSRecord::MaxDataBytes(nType), bCarriesData ? 32 : 0);

        EXPECT_TRUE(Parse(record, Record(nType, 0x12, {}, nWidth)));
        EXPECT_EQ(Parse(record, Record(nType, 0x12, {0x55}, nWidth)), bCarriesData);
        EXPECT_EQ(Parse(record, Record(nType, 0x12, Pattern(32), nWidth)), bCarriesData);
        EXPECT_FALSE(Parse(record, Record(nType, 0x12, Pattern(33), nWidth)));
    }
    // The count must cover address and checksum: 02 for S1 leaves minus one data byte.
    EXPECT_FALSE(Parse(record, "S1020000FD"));
    // S9 with count 04 claims a data byte it may not carry.
    EXPECT_FALSE(Parse(record, "S904000000FB"));
}

TEST(SRecordSyntax, RejectsMalformedLines)
{
    CSRecord record;
    EXPECT_FALSE(record.Parse(nullptr, 10));
    EXPECT_FALSE(Parse(record, ""));
    EXPECT_FALSE(Parse(record, "\n"));
    EXPECT_FALSE(Parse(record, "s9030000FC"));
    EXPECT_FALSE(Parse(record, " S9030000FC"));
    EXPECT_FALSE(Parse(record, "SA030000FC"));
    EXPECT_FALSE(Parse(record, "S9G30000FC"));
    EXPECT_FALSE(Parse(record, "S9030000FD")); // checksum off by one
    std::string line = S2(0xF80000, Pattern(16));
    line[12] = line[12] == '0' ? '1' : '0'; // one data digit changed
    EXPECT_FALSE(Parse(record, line));
}

TEST(SRecordSyntax, ShortLineIsNotCompletedByItsLineEnd)
{
    CSRecord record;
    // S1 at 0x000C has checksum F0. Cut to "...F", the line end must not stand in for the 0.
    ASSERT_TRUE(Parse(record, "S103000CF0"));
    EXPECT_FALSE(Parse(record, "S103000CF\n"));
    EXPECT_FALSE(Parse(record, "S103000CF\r\n"));
    EXPECT_FALSE(Parse(record, "S103000C F0"));
}

TEST(SRecordSyntax, LowerCaseDigitsAreRejectedEvenWhenTheChecksumWouldAgree)
{
    CSRecord record;
    EXPECT_TRUE(Parse(record, "S104000000FB"));
    // Read as 0, "a0" would give the same checksum and load 0x00 instead of 0xA0.
    EXPECT_FALSE(Parse(record, "S1040000a0FB"));
    EXPECT_FALSE(Parse(record, "S9030000fc"));
}

TEST(SRecordSyntax, NeverReadsPastTheGivenLength)
{
    // Every prefix of a valid record is rejected, from a buffer that ends where the prefix ends.
    const std::string line = S3(0x00FF8000, Pattern(32));
    CSRecord record;
    for (std::size_t n = 0; n < line.size(); ++n)
    {
        EXPECT_FALSE(ParseExact(record, line, n)) << n;
    }
    EXPECT_TRUE(ParseExact(record, line, line.size()));
    // A count that claims more than the line holds.
    EXPECT_FALSE(Parse(record, "S1FF00000000000000"));
}
