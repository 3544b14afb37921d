#pragma once
// Helpers for the firmware tests: a scratch folder, files, and S-record lines built here,
// independently of the reader.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fwtest
{
using Bytes = std::vector<uint8_t>;

class CScratchDir
{
public:
    CScratchDir()
    {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        for (int i = 0; i < 100; ++i)
        {
            auto path = base / ("orlix-fw-" + std::to_string(random()));
            if (std::filesystem::create_directory(path))
            {
                m_path = path;
                return;
            }
        }
        throw std::runtime_error("cannot create a scratch folder");
    }
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;
    ~CScratchDir()
    {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }

    std::string File(const std::string& strName) const { return (m_path / strName).string(); }

    // Writes the bytes as they are (no line-end translation) and returns the path.
    std::string Write(const std::string& strName, const std::string& strContent) const
    {
        const std::string strPath = File(strName);
        std::ofstream out(strPath, std::ios::binary);
        out << strContent;
        if (!out)
        {
            throw std::runtime_error("cannot write " + strPath);
        }
        return strPath;
    }

private:
    std::filesystem::path m_path;
};

inline Bytes ReadBytes(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One record line without line end: S<type>, count, address of nAddressBytes, data, checksum.
inline std::string Record(int nType, uint32_t dwAddress, const Bytes& data, int nAddressBytes)
{
    static const char* HEX = "0123456789ABCDEF";
    Bytes body;
    body.push_back(static_cast<uint8_t>(nAddressBytes + static_cast<int>(data.size()) + 1));
    for (int i = nAddressBytes - 1; i >= 0; --i)
    {
        body.push_back(static_cast<uint8_t>(dwAddress >> (8 * i)));
    }
    body.insert(body.end(), data.begin(), data.end());
    unsigned nSum = 0;
    for (uint8_t b : body)
    {
        nSum += b;
    }
    body.push_back(static_cast<uint8_t>(~nSum));
    std::string line = "S" + std::to_string(nType);
    for (uint8_t b : body)
    {
        line += HEX[b >> 4];
        line += HEX[b & 0x0F];
    }
    return line;
}

inline std::string S1(uint32_t dwAddress, const Bytes& data) { return Record(1, dwAddress, data, 2); }
inline std::string S2(uint32_t dwAddress, const Bytes& data) { return Record(2, dwAddress, data, 3); }
inline std::string S3(uint32_t dwAddress, const Bytes& data) { return Record(3, dwAddress, data, 4); }

// Data records of up to 32 bytes for a longer run of bytes, as lines joined by LF.
inline std::string S2Run(uint32_t dwAddress, const Bytes& data)
{
    std::string out;
    for (std::size_t off = 0; off < data.size(); off += 32)
    {
        const std::size_t nEnd = std::min(off + 32, data.size());
        out += (off == 0 ? "" : "\n") +
               S2(dwAddress + static_cast<uint32_t>(off),
                  Bytes(data.begin() + static_cast<std::ptrdiff_t>(off),
                        data.begin() + static_cast<std::ptrdiff_t>(nEnd)));
    }
    return out;
}

inline std::string S0(const std::string& strText)
{
    return Record(0, 0, Bytes(strText.begin(), strText.end()), 2);
}

// Bytes that vary from one position to the next, with nSeed choosing the sequence.
inline Bytes Pattern(std::size_t nLength, uint32_t nSeed = 1)
{
    Bytes out(nLength);
    uint32_t x = nSeed * 2654435761u + 1;
    for (auto& b : out)
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 24);
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
} // namespace fwtest
