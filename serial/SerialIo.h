#pragma once
// The seam between the protocol layer and the serial line: the few operations the
// boot-ROM loader and the flash-kernel protocol use. CSerialPort implements it;
// tests put a scripted fake port underneath instead.
#include <cstdint>

// Purge flags, values as the port class defines them. <windows.h> defines the same names as
// macros with the same values; where it came first, its macros serve.
#ifndef PURGE_TXABORT
inline constexpr uint32_t PURGE_TXABORT = 0x0001;
inline constexpr uint32_t PURGE_RXABORT = 0x0002;
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;
#endif

class ISerialIo
{
public:
    virtual ~ISerialIo() = default;

    virtual bool IsOpen() const = 0;
    // Drops queued data as the flags say (the protocol only ever drops unread input).
    virtual void Purge(uint32_t dwFlags) = 0;
    // Returns the number of bytes accepted before the write time-out.
    virtual uint32_t Write(const void* pBuf, uint32_t dwCount) = 0;
    // Waits until everything written so far has left.
    virtual void Flush() = 0;
    // Returns the number of bytes received before the read time-outs ended the read; 0 is possible.
    virtual uint32_t Read(void* pBuf, uint32_t dwCount) = 0;
    // Changes only the line speed; every other setting and the time-outs stay.
    virtual void SetBaudRate(uint32_t dwBaud) = 0;
};
