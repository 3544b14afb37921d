#pragma once
// S-record lines for the firmware tests, built independently of the reader.
#include "firmware/FirmwareImage.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>

namespace fwtest
{
using Bytes = std::vector<uint8_t>;

// One record line without line end: S<type>, count, address of nAddressBytes, data, checksum.
inline std::string Record(int nType, uint32_t dwAddress, const Bytes& data, int nAddressBytes)
{
    Bytes body{static_cast<uint8_t>(nAddressBytes + static_cast<int>(data.size()) + 1)};
    for (int i = nAddressBytes - 1; i >= 0; --i)
    {
        body.push_back(static_cast<uint8_t>(dwAddress >> (8 * i)));
    }
    body.insert(body.end(), data.begin(), data.end());
    body.push_back(static_cast<uint8_t>(~std::accumulate(body.begin(), body.end(), 0u)));
    std::string line = "S" + std::to_string(nType);
    char sz[3];
    for (uint8_t b : body)
    {
        std::snprintf(sz, sizeof sz, "%02X", b);
        line += sz;
    }
    return line;
}

inline const auto S0 = [](const std::string& s) { return Record(0, 0, Bytes(s.begin(), s.end()), 2); };
inline const auto S1 = [](uint32_t dwAddress, const Bytes& data) { return Record(1, dwAddress, data, 2); };
inline const auto S2 = [](uint32_t dwAddress, const Bytes& data) { return Record(2, dwAddress, data, 3); };
inline const auto S3 = [](uint32_t dwAddress, const Bytes& data) { return Record(3, dwAddress, data, 4); };

// S2 records of up to 32 bytes for a longer run of bytes, each line ending in LF.
inline std::string S2Run(uint32_t dwAddress, const Bytes& data)
{
    std::string out;
    for (std::size_t off = 0; off < data.size(); off += 32)
    {
        const auto first = data.begin() + static_cast<std::ptrdiff_t>(off);
        const auto n = std::min<std::ptrdiff_t>(32, data.end() - first);
        out += S2(dwAddress + static_cast<uint32_t>(off), Bytes(first, first + n)) + "\n";
    }
    return out;
}

// Bytes that vary from one position to the next, with nSeed choosing the sequence.
inline Bytes Pattern(std::size_t nLength, uint32_t nSeed = 1)
{
    Bytes out(nLength);
    for (std::size_t i = 0; i < nLength; ++i)
    {
        out[i] = static_cast<uint8_t>((i * 167 + nSeed * 29) ^ (i >> 7) ^ (i * i >> 3));
    }
    return out;
}

// Joins lines, each followed by strEnd.
inline std::string Lines(const std::vector<std::string>& lines, const std::string& strEnd = "\n")
{
    std::string out;
    for (const auto& line : lines)
    {
        out += line + strEnd;
    }
    return out;
}

// A firmware image loaded from texts written to a scratch folder.
class ImageTest : public ::testing::Test
{
protected:
    int Load(const std::string& strContent)
    {
        const std::string strPath = m_dir.File("f" + std::to_string(m_nFile++) + ".mhx");
        WriteFileText(strPath, strContent);
        return m_image.Load(strPath);
    }
    Bytes ReadAll(uint32_t dwAddress, uint32_t dwLength) const
    {
        Bytes out(dwLength, 0x00);
        out.resize(m_image.Read(out.data(), dwAddress, dwLength));
        return out;
    }

    CTempDir m_dir;
    CFirmwareImage m_image;
    int m_nFile = 0;
};
} // namespace fwtest
