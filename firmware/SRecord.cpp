#include "firmware/SRecord.h"

#include <array>

namespace
{
struct SRecordType
{
    uint8_t nAddressBytes;
    uint8_t nMaxData;
};

// Indexed by the type digit.
constexpr SRecordType RECORD_TYPES[10] = {
    {2, CSRecord::MAX_DATA_BYTES}, // S0 header
    {2, CSRecord::MAX_DATA_BYTES}, // S1 data, 16-bit address
    {3, CSRecord::MAX_DATA_BYTES}, // S2 data, 24-bit address
    {4, CSRecord::MAX_DATA_BYTES}, // S3 data, 32-bit address
    {4, 0},                        // S4
    {2, 0},                        // S5 record count
    {3, 0},                        // S6 record count
    {4, 0},                        // S7 end, 32-bit start address
    {3, 0},                        // S8 end, 24-bit start address
    {2, 0},                        // S9 end, 16-bit start address
};

// Digit values; BAD_DIGIT marks anything but 0-9 and A-F. Lower-case digits are not accepted:
// reading them as anything but their value would load wrong bytes whenever the checksum
// happened to agree.
constexpr uint8_t BAD_DIGIT = 0x10;
constexpr std::array<uint8_t, 256> HEX = [] {
    std::array<uint8_t, 256> table{};
    for (auto& v : table)
    {
        v = BAD_DIGIT;
    }
    for (int c = '0'; c <= '9'; ++c)
    {
        table[static_cast<std::size_t>(c)] = static_cast<uint8_t>(c - '0');
    }
    for (int c = 'A'; c <= 'F'; ++c)
    {
        table[static_cast<std::size_t>(c)] = static_cast<uint8_t>(c - 'A' + 10);
    }
    return table;
}();

inline uint8_t Digit(char c)
{
    return HEX[static_cast<unsigned char>(c)];
}

// Decodes two digits; ORs BAD_DIGIT into nBad when either is not a hex digit.
inline uint8_t HexByte(const char* p, uint8_t& nBad)
{
    const uint8_t nHigh = Digit(p[0]);
    const uint8_t nLow = Digit(p[1]);
    nBad = static_cast<uint8_t>(nBad | nHigh | nLow);
    return static_cast<uint8_t>(((nHigh & 0x0F) << 4) | (nLow & 0x0F));
}
} // namespace

uint8_t CSRecord::AddressBytes(uint8_t nType)
{
    return nType < 10 ? RECORD_TYPES[nType].nAddressBytes : 0;
}

uint8_t CSRecord::MaxDataBytes(uint8_t nType)
{
    return nType < 10 ? RECORD_TYPES[nType].nMaxData : 0;
}

bool CSRecord::Parse(const char* pLine, std::size_t nLength)
{
    m_nType = 0;
    m_nDataLength = 0;
    m_nCount = 0;
    m_dwAddress = 0;
    m_nChecksum = 0;

    // The shortest record, S9 with no data, has 10 characters.
    if (pLine == nullptr || nLength < 10 || pLine[0] != 'S')
    {
        return false;
    }
    if (pLine[1] < '0' || pLine[1] > '9')
    {
        return false;
    }
    m_nType = static_cast<uint8_t>(pLine[1] - '0');

    uint8_t nBad = 0;
    m_nCount = HexByte(pLine + 2, nBad);
    if (nBad & BAD_DIGIT)
    {
        return false;
    }

    // All the digits the count calls for must be there. A line end among them is no digit,
    // so a short line fails below even when the buffer goes on.
    const std::size_t nNeeded = 4 + 2 * static_cast<std::size_t>(m_nCount);
    if (nNeeded > nLength)
    {
        return false;
    }

    const SRecordType& type = RECORD_TYPES[m_nType];
    m_nDataLength = static_cast<uint8_t>(m_nCount - type.nAddressBytes - 1);
    if (m_nDataLength > type.nMaxData)
    {
        m_nDataLength = 0;
        return false;
    }

    const char* p = pLine + 4;
    unsigned nSum = m_nCount;
    for (unsigned i = 0; i < type.nAddressBytes; ++i, p += 2)
    {
        const uint8_t nByte = HexByte(p, nBad);
        m_dwAddress = (m_dwAddress << 8) | nByte;
        nSum += nByte;
    }
    for (unsigned i = 0; i < m_nDataLength; ++i, p += 2)
    {
        m_data[i] = HexByte(p, nBad);
        nSum += m_data[i];
    }
    m_nChecksum = HexByte(p, nBad);
    if (nBad & BAD_DIGIT)
    {
        return false;
    }
    return static_cast<uint8_t>(~nSum) == m_nChecksum;
}
