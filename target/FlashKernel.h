#pragma once
// PC side of the flash kernel's command protocol: one command byte with a 24-bit
// little-endian address, answered by ASCII status bytes; blocks travel with a CRC-16.
// No operation allocates; nothing here prints or throws (port exceptions pass through).
#include "firmware/FirmwareImage.h"
#include "target/ChipDef.h"

#include <cstdint>

class IProtocolClock;
class ISerialIo;

// Result of every flash-kernel operation and of a programming run.
enum KernelResult : int
{
    KR_OK = 0,
    KR_NO_ANSWER = 1,       // no status byte within the read time-out
    KR_NOT_READY = 2,       // the second status byte of a write block was not good
    KR_INVALID_COMMAND = 3, // status byte '4'
    KR_UNKNOWN_ERROR = 4,   // any other unexpected status byte
    KR_NO_IMAGE = 5,        // no firmware image to program
    KR_BAD_REPLY = 6,       // malformed block reply
    KR_TRANSFER_ERROR = 7,  // the kernel failed to write a block ("04")
    KR_SHORT_READ = 8,      // fewer than 515 bytes of a read-block reply
    KR_CRC_ERROR = 9,       // CRC error reported by the kernel or found in a read block
    KR_TIMEOUT = 11,        // erase or blank check did not end in time
    KR_VERIFY_FAILED = 12,  // a block read back differs from the image
};

// Command codes.
inline constexpr uint8_t KCMD_WRITE_BLOCK = 0x08;
inline constexpr uint8_t KCMD_READ_BLOCK = 0x28;
inline constexpr uint8_t KCMD_ERASE = 0x38;
inline constexpr uint8_t KCMD_BLANK_CHECK = 0x48;
inline constexpr uint8_t KCMD_PING = 0xE8;

// Block geometry on the wire: the kernel programs the image's blocks as they are.
inline constexpr uint32_t KERNEL_BLOCK_SIZE = CFirmwareImage::DEFAULT_BLOCK_SIZE;
inline constexpr uint32_t READ_BLOCK_REPLY_SIZE = KERNEL_BLOCK_SIZE + 3; // data, CRC, '1'

// Bounds of the long operations.
inline constexpr int ERASE_POLLS = 30;
inline constexpr uint32_t ERASE_POLL_INTERVAL_MS = 1000;
inline constexpr double BLANK_CHECK_LIMIT_MS = 5000.0;

// Receives percentages 0..100 of a long operation.
class IProgressSink
{
public:
    virtual ~IProgressSink() = default;
    virtual void OnProgress(int nPercent) = 0;
};

class CFlashKernel
{
public:
    CFlashKernel();

    // The port is not owned and must outlive the calls; without one every command gives
    // KR_NO_ANSWER.
    void AttachPort(ISerialIo* pPort) { m_pPort = pPort; }
    void SetChip(const SChipDef& chip) { m_chip = chip; }
    // The clock of the erase's pauses and the blank check's stopwatch; nullptr: SystemClock().
    void SetClock(IProtocolClock* pClock);

    const SChipDef& GetChip() const { return m_chip; }

    // Discards unread input, sends the command (one byte for ping, else four) and reads the
    // first status byte: KR_OK, KR_NO_ANSWER, KR_INVALID_COMMAND or KR_UNKNOWN_ERROR.
    KernelResult SendCommand(uint8_t byCode, uint32_t dwAddress);
    // Reads and classifies one status byte.
    KernelResult ReadStatus();
    KernelResult Ping();

    // Erases from the chip's StartAddress; polls for completion up to 30 times, a second apart.
    KernelResult EraseFlash(IProgressSink* pSink = nullptr);
    // Blank-checks from the chip's StartAddress; waits up to 5000 ms for completion.
    KernelResult BlankCheckFlash(IProgressSink* pSink = nullptr);

    // Writes n bytes at dwAddress. pBuf must have room for 2 more bytes behind the data: the
    // CRC goes there (high byte first). A CRC error reported by the kernel is retried once.
    KernelResult WriteFlashBlock(uint8_t* pBuf, uint32_t dwAddress, uint32_t n);
    // Reads the 512-byte block at dwAddress into pBuf, which must hold READ_BLOCK_REPLY_SIZE
    // bytes. A CRC mismatch is retried once.
    KernelResult ReadFlashBlock(uint8_t* pBuf, uint32_t dwAddress);

    // Description of a result; empty for KR_OK and for values without one.
    static const char* ResultText(int nResult);

    // Counts since construction: blocks the kernel answered "01", and transfers repeated after
    // a CRC error (writes the kernel answered '5', reads whose CRC did not match).
    uint32_t GetBlocksWritten() const { return m_dwBlocksWritten; }
    uint32_t GetCrcRetries() const { return m_dwCrcRetries; }

private:
    ISerialIo* m_pPort = nullptr;
    SChipDef m_chip;
    IProtocolClock* m_pClock;
    uint32_t m_dwBlocksWritten = 0;
    uint32_t m_dwCrcRetries = 0;
};
