#pragma once
// Firmware files for the reader's tests, written to a scratch folder and loaded.
#include "firmware/FirmwareImage.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace fwtest
{
using Bytes = std::vector<uint8_t>;

inline std::string S0(const std::string& s)
{
    return SRecord(0, 0, Bytes(s.begin(), s.end()));
}

// Bytes that vary from one position to the next, with nSeed choosing the sequence.
inline Bytes Pattern(std::size_t nLength, uint32_t nSeed = 1)
{
    Bytes out(nLength);
    for (std::size_t i = 0; i < nLength; ++i)
        out[i] = static_cast<uint8_t>((i * 167 + nSeed * 29) ^ (i >> 7) ^ (i * i >> 3));
    return out;
}

// Lines, each followed by strEnd.
inline std::string Lines(const std::vector<std::string>& lines, const std::string& strEnd = "\n")
{
    std::string out;
    for (const auto& line : lines)
        out += line + strEnd;
    return out;
}

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
        Bytes out(dwLength);
        out.resize(m_image.Read(out.data(), dwAddress, dwLength));
        return out;
    }
    std::string Texts() const
    {
        return m_image.GetProcessor() + "|" + m_image.GetVersion() + "|" + m_image.GetName();
    }

    CTempDir m_dir;
    CFirmwareImage m_image;
    int m_nFile = 0;
};
} // namespace fwtest
