#pragma once
// The program's end of a simulated unit's line, kept minimal for tests of the simulator
// itself: open the link, set speed and format with termios, write bytes, read with a time-out.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class CRawLine
{
public:
    CRawLine() = default;
    CRawLine(const CRawLine&) = delete;
    CRawLine& operator=(const CRawLine&) = delete;
    ~CRawLine();

    // Opens the device raw (8N1, no flow control) at the speed; throws std::runtime_error.
    void Open(const std::string& strPath, uint32_t dwBaud);
    void Close();
    // Standard rates only (B4800 ...); bTwoStopBits makes the format 8N2, which a unit
    // listening at 8N1 cannot read. (Some kernels refuse parity and 7 bits on a pty.)
    void SetSpeed(uint32_t dwBaud, bool bTwoStopBits = false);
    void Write(const std::vector<uint8_t>& data);
    // Reads until nCount bytes or the time-out; what arrived.
    std::vector<uint8_t> Read(size_t nCount, std::chrono::milliseconds timeout);
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};
