#include "fuzz/SRecordModel.h"

#include <algorithm>
#include <cstdlib>

namespace
{
constexpr std::string_view HEX_DIGITS = "0123456789ABCDEF";

// Address width in bytes per type digit.
constexpr unsigned ADDRESS_WIDTH[10] = {2, 2, 3, 4, 4, 2, 3, 4, 3, 2};

bool HexPair(std::string_view text, std::size_t nAt, unsigned& nValue)
{
    if (nAt + 2 > text.size())
    {
        return false;
    }
    const std::size_t nHigh = HEX_DIGITS.find(text[nAt]);
    const std::size_t nLow = HEX_DIGITS.find(text[nAt + 1]);
    if (nHigh == std::string_view::npos || nLow == std::string_view::npos)
    {
        return false;
    }
    nValue = static_cast<unsigned>(nHigh * 16 + nLow);
    return true;
}

// The record's own fields; bCheckRest also refuses a further record after the checksum.
SModelRecord Decode(std::string_view line, bool bCheckRest)
{
    SModelRecord record;
    if (bCheckRest && HidesRecordModel(line))
    {
        return record;
    }
    if (line.size() < 10 || line[0] != 'S' || line[1] < '0' || line[1] > '9')
    {
        return record;
    }
    const unsigned nType = static_cast<unsigned>(line[1] - '0');

    std::vector<unsigned> bytes; // count, address, data, checksum
    unsigned nCount = 0;
    if (!HexPair(line, 2, nCount))
    {
        return record;
    }
    for (unsigned i = 0; i <= nCount; ++i)
    {
        unsigned nByte = 0;
        if (!HexPair(line, 2 + 2 * std::size_t{i}, nByte))
        {
            return record;
        }
        bytes.push_back(nByte);
    }

    const int nDataLength = static_cast<int>(nCount) - static_cast<int>(ADDRESS_WIDTH[nType]) - 1;
    const int nMaxData = nType <= 3 ? 32 : 0;
    if (nDataLength < 0 || nDataLength > nMaxData)
    {
        return record;
    }
    unsigned nSum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
    {
        nSum += bytes[i];
    }
    if (((~nSum) & 0xFFu) != bytes.back())
    {
        return record;
    }

    record.bValid = true;
    record.nType = static_cast<uint8_t>(nType);
    record.nCount = static_cast<uint8_t>(nCount);
    for (unsigned i = 0; i < ADDRESS_WIDTH[nType]; ++i)
    {
        record.dwAddress = record.dwAddress * 256 + bytes[1 + i];
    }
    for (int i = 0; i < nDataLength; ++i)
    {
        record.data.push_back(
            static_cast<uint8_t>(bytes[1 + ADDRESS_WIDTH[nType] + static_cast<unsigned>(i)]));
    }
    record.nChecksum = static_cast<uint8_t>(bytes.back());
    return record;
}
} // namespace

SModelRecord DecodeRecordModel(std::string_view line, bool bRefuseTrailingRecord)
{
    return Decode(line, bRefuseTrailingRecord);
}

bool HidesRecordModel(std::string_view line)
{
    const SModelRecord record = Decode(line, false);
    if (!record.bValid)
    {
        return false;
    }
    // A line given with more after its LF (as the single-line target may be) ends at the LF.
    for (std::size_t i = 4 + 2 * std::size_t{record.nCount}; i + 1 < line.size() && line[i] != '\n'; ++i)
    {
        if (line[i] == 'S' && line[i + 1] >= '0' && line[i + 1] <= '9')
        {
            return true;
        }
    }
    return false;
}

std::vector<std::string> SplitLinesModel(std::string_view file)
{
    const std::size_t nCtrlZ = file.find('\x1A');
    if (nCtrlZ != std::string_view::npos)
    {
        file = file.substr(0, nCtrlZ);
    }
    std::string text;
    for (std::size_t i = 0; i < file.size(); ++i)
    {
        if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n')
        {
            continue;
        }
        text += file[i];
    }

    std::vector<std::string> lines;
    std::string current;
    for (const char c : text)
    {
        current += c;
        if (c == '\n' || current.size() == 511)
        {
            lines.push_back(current);
            current.clear();
        }
    }
    if (!current.empty())
    {
        lines.push_back(current);
    }
    return lines;
}

bool IsKnownFinding(std::string_view name)
{
    const char* pKnown = std::getenv("ORLIX_FUZZ_KNOWN");
    const std::string_view known = pKnown != nullptr ? pKnown : "";
    std::size_t nPos = 0;
    while (nPos <= known.size())
    {
        const std::size_t nComma = std::min(known.find(',', nPos), known.size());
        if (known.substr(nPos, nComma - nPos) == name)
        {
            return true;
        }
        nPos = nComma + 1;
    }
    return false;
}
