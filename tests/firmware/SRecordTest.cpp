// Record syntax: what CSRecord::Parse accepts and rejects.
#include "firmware/SRecord.h"

#include "FwTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

using namespace fwtest;

namespace
{
// Parses from a heap copy of exactly nLength bytes, so a sanitizer build catches any read past it.
bool Parse(CSRecord& record, const std::string& strLine, std::size_t nLength = std::string::npos)
{
    nLength = std::min(nLength, strLine.size());
    std::unique_ptr<char[]> copy(new char[nLength + 1]);
    std::memcpy(copy.get(), strLine.data(), nLength);
    return record.Parse(copy.get(), nLength);
}
} // namespace

TEST(SRecordSyntax, AcceptedLinesAndTheirFields)
{
    CSRecord record;
    // Kin of rejected lines; text after the checksum is ignored.
    for (const char* pszLine : {"S103000CF0", "S104000000FB", "S9030000FC", "S9030000FC\n", "S9030000FC\r\n",
                                "S9030000FC   ; end\r\n"})
        EXPECT_TRUE(Parse(record, pszLine)) << pszLine;
    EXPECT_FALSE(record.IsDataRecord());
    const std::pair<uint32_t, Bytes> cases[] = {
        {0x1234, {0x01, 0x02, 0xFE}}, {0xFF8000, Pattern(32)}, {0xFEDCBA98, {0xAA}}};
    for (int nType = 1; nType <= 3; ++nType)
    {
        const auto& [dwAddress, data] = cases[nType - 1];
        ASSERT_TRUE(Parse(record, SRecord(nType, dwAddress, data)));
        EXPECT_TRUE(record.IsDataRecord());
        EXPECT_EQ(record.GetAddress(), dwAddress);
        EXPECT_EQ(Bytes(record.GetData(), record.GetData() + record.GetDataLength()), data);
    }
    // Only types 0 to 3 carry data, at most 32 bytes.
    for (int nType = 0; nType < 10; ++nType)
    {
        EXPECT_TRUE(Parse(record, SRecord(nType, 0x12))) << nType;
        EXPECT_EQ(Parse(record, SRecord(nType, 0x12, Pattern(32))), nType <= 3) << nType;
        EXPECT_FALSE(Parse(record, SRecord(nType, 0x12, Pattern(33)))) << nType;
    }
}

TEST(SRecordSyntax, RejectsMalformedAndCutLines)
{
    std::string changedDigit = SRecord(2, 0xF80000, Pattern(16));
    changedDigit[12] = changedDigit[12] == '0' ? '1' : '0';
    const std::string rejected[] = {
        "", "\n", "s9030000FC", " S9030000FC", "SA030000FC", "S9G30000FC", "S9030000F",
        "S9030000FD",         // checksum off by one
        changedDigit,         // one data digit changed
        "S1020000FD",         // count too small for address and checksum
        "S904000000FB",       // S9 claiming a data byte
        "S1FF00000000000000", // count claims more than the line holds
        // "S103000CF0" cut short is not completed by its line end, nor split digits joined.
        "S103000CF\n", "S103000CF\r\n", "S103000C F0",
        // Lower case: read as 0, "a0" would give the same checksum and load 0x00 for 0xA0.
        "S1040000a0FB", "S9030000fc"};
    CSRecord record;
    EXPECT_FALSE(record.Parse(nullptr, 10));
    for (const auto& line : rejected)
        EXPECT_FALSE(Parse(record, line)) << line;
    const std::string line = SRecord(3, 0x00FF8000, Pattern(32)); // every prefix, never read past its end
    for (std::size_t n = 0; n < line.size(); ++n)
        EXPECT_FALSE(Parse(record, line, n)) << n;
}
