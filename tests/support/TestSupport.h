#pragma once
// What the test folders share: temporary folders, files, paths, processes, the unit, S-records.
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"

#include <cstdint>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

// A new folder orlix-test-* in the temporary folder, removed with its contents at the end.
class CTempDir
{
public:
    CTempDir(); // throws std::runtime_error when the folder cannot be made
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    ~CTempDir();
    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& strName) const { return m_strPath + "/" + strName; }

private:
    std::string m_strPath;
};

std::string ReadFileText(const std::string& strPath);                       // empty when unreadable
void WriteFileText(const std::string& strPath, const std::string& strText); // throws when it cannot

inline std::string OrlixBinPath(const std::string& strName)
{
    return ORLIX_BIN_DIR "/" + strName;
}
inline std::string OrlixSamplePath(const std::string& strName)
{
    return ORLIX_SOURCE_DIR "/samples/" + strName;
}

// One S-record without line end, built independently of the product's reader: the address in the
// type's width (S0, S1, S5, S9: 2 bytes; S2, S6, S8: 3; S3, S4, S7: 4), the data, the checksum.
inline std::string SRecord(int nType, uint32_t dwAddress, const std::vector<uint8_t>& data = {})
{
    const int nAddressBytes = "2234423432"[nType] - '0';
    std::vector<uint8_t> body{static_cast<uint8_t>(nAddressBytes + static_cast<int>(data.size()) + 1)};
    for (int i = nAddressBytes - 1; i >= 0; --i)
        body.push_back(static_cast<uint8_t>(dwAddress >> (8 * i)));
    body.insert(body.end(), data.begin(), data.end());
    body.push_back(static_cast<uint8_t>(~std::accumulate(body.begin(), body.end(), 0u)));
    std::string strLine = "S" + std::to_string(nType);
    char sz[3];
    for (const uint8_t by : body)
        strLine.append(sz, size_t(std::snprintf(sz, sizeof sz, "%02X", by)));
    return strLine;
}

// Lines of up to 32 bytes for a longer run (S2, or S3 from 16 MiB up), each ending in LF.
inline std::string SRecordRun(uint32_t dwAddress, const std::vector<uint8_t>& data)
{
    std::string strOut;
    for (std::size_t nOff = 0; nOff < data.size(); nOff += 32)
    {
        const auto first = data.begin() + static_cast<std::ptrdiff_t>(nOff);
        const auto last = data.size() - nOff > 32 ? first + 32 : data.end();
        const uint32_t dwAt = dwAddress + static_cast<uint32_t>(nOff);
        const bool bWide = uint64_t{dwAt} + static_cast<uint64_t>(last - first) > 0x1000000;
        strOut += SRecord(bWide ? 3 : 2, dwAt, {first, last}) + "\n";
    }
    return strOut;
}
