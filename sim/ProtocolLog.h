#pragma once
// The simulator's protocol log: every byte on the line with its time (seconds since start),
// direction and line speed, and the unit's events between them. One line per run of bytes:
//
//     0.004113 rx   4800  18
//     0.006230 tx   4800  11
//     0.010871 --   reset: the boot ROM listens at 4800 bit/s
//
// rx: from the program to the unit; tx: from the unit to the program; tx-lost: a reply byte
// the program cannot have understood because its line was at another speed; the name of a
// decoy pty for bytes sent to a decoy.
#include "sim/SimTypes.h"

#include <cstdint>
#include <cstdio>
#include <string>

class CProtocolLog
{
public:
    CProtocolLog() = default;
    CProtocolLog(const CProtocolLog&) = delete;
    CProtocolLog& operator=(const CProtocolLog&) = delete;
    ~CProtocolLog();

    // Creates (truncates) the file. Without a successful Open every call does nothing.
    bool Open(const std::string& strPath, SimTime start, std::string& strError);
    void Close();
    bool IsOpen() const { return m_pFile != nullptr; }

    void Bytes(SimTime t, const char* pszDirection, uint32_t dwBaud, const uint8_t* pData, size_t nCount);
    void Note(SimTime t, const std::string& strText);
    void Flush();

private:
    double Seconds(SimTime t) const;

    std::FILE* m_pFile = nullptr;
    SimTime m_start{};
};
