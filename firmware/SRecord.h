#pragma once
#include <cstddef>
#include <cstdint>

// One decoded Motorola S-record line.
//
// Parse reads exactly the characters the record's count calls for and never looks past the
// length it is given, so it can be fed any (pointer, length) pair.
class CSRecord
{
public:
    // Our own limit per record; longer records are rejected as corrupt.
    static constexpr uint8_t MAX_DATA_BYTES = 32;

    // The per-type table: width of the address field in bytes and the most data bytes the
    // type may carry (types 4-9 carry none); 0 for a type above 9.
    static uint8_t AddressBytes(uint8_t nType);
    static uint8_t MaxDataBytes(uint8_t nType);

    // Decodes one line (its length counts the line end when it has one). True when the line is
    // a valid record: 'S', a type digit, the count, the address, the data and a matching
    // checksum, all written in upper-case hex. The record text ends at the first CR or LF; a
    // line shorter than its count calls for is rejected, and whatever follows the checksum
    // digits is ignored.
    bool Parse(const char* pLine, std::size_t nLength);

    uint8_t GetType() const { return m_nType; }
    uint8_t GetDataLength() const { return m_nDataLength; }
    uint8_t GetCount() const { return m_nCount; }
    uint32_t GetAddress() const { return m_dwAddress; }
    const uint8_t* GetData() const { return m_data; }
    uint8_t GetChecksum() const { return m_nChecksum; }

    // S1, S2 and S3 carry image data.
    bool IsDataRecord() const { return m_nType >= 1 && m_nType <= 3; }

private:
    uint8_t m_nType = 0;
    uint8_t m_nDataLength = 0;
    uint8_t m_nCount = 0;
    uint32_t m_dwAddress = 0;
    uint8_t m_data[MAX_DATA_BYTES] = {};
    uint8_t m_nChecksum = 0;
};
