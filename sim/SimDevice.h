#pragma once
// The simulated unit's logic: the boot ROM and the flash kernel as one state machine that
// consumes every byte the program sends and checks what it can (line speed and format, frame
// checksums, load and flash addresses, command order). It knows no file descriptors and reads
// no clock: the caller hands it bytes with the line settings and the time they arrived, and
// takes its replies from an output queue, so tests drive it directly.
#include "sim/SimTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Reply bytes of the boot ROM (0x11 and 0x01 are what the program expects).
inline constexpr uint8_t SIM_SYNC_REPLY = 0x11;
inline constexpr uint8_t SIM_BAD_SYNC_REPLY = 0x10; // --fault bad-sync
inline constexpr uint8_t SIM_DOWNLOAD_OK = 0x01;
inline constexpr uint8_t SIM_DOWNLOAD_REFUSED = 0x00; // bad checksum, bad load address, empty image
inline constexpr uint8_t SIM_SWITCH_REPLY = 0x01;

// Status bytes of the kernel.
inline constexpr uint8_t SIM_STATUS_ACCEPTED = '0'; // first status of a command with an address
inline constexpr uint8_t SIM_STATUS_DONE = '1';     // ping, ready for data, operation complete
inline constexpr uint8_t SIM_STATUS_NOT_BLANK = '2';
inline constexpr uint8_t SIM_STATUS_INVALID = '4'; // unknown command, or an address it refuses
inline constexpr uint8_t SIM_STATUS_CRC_ERROR = '5';

// A frame that stops arriving for this long is dropped, so the program's retry starts afresh.
inline constexpr std::chrono::milliseconds SIM_FRAME_GAP_LIMIT{500};

inline constexpr uint32_t SIM_BLOCK_SIZE = 512;

enum class ESimPhase
{
    BootRom,  // after reset: listens at Baud for sync, download and switch
    Kernel,   // the downloaded kernel runs at Baud2
    Hung,     // switched without a usable kernel: silent until reset
    Vanished, // the unit went away (--fault vanish-after)
};

// One reply byte and the speed the unit sends it at.
struct SSimOutByte
{
    uint8_t byValue = 0;
    uint32_t dwBaud = 0;
};

// For the unit's messages: "0x" and nDigits hex digits; the name of a kernel command.
std::string SimHex(uint32_t dwValue, int nDigits);
const char* SimCommandName(uint8_t byCommand);

class CSimDevice
{
public:
    explicit CSimDevice(SSimConfig config, ISimEvents* pEvents = nullptr);

    // One byte from the program, sent while the line was set as given, arriving at t.
    // Bytes at a speed or format the unit is not listening at are garbage to it: dropped.
    // A byte at the boot ROM's speed while the kernel runs means the unit was reset.
    void Receive(uint8_t by, const SLineState& line, SimTime t);
    // The program changed the line settings. Going back to the boot ROM's speed while the
    // kernel runs (or the unit hangs) resets the unit: the technician pressed RESET.
    void OnLineChange(const SLineState& line, SimTime t);
    // RESET: back to the boot ROM; the flash is kept, the downloaded kernel is lost.
    void Reset(SimTime t);
    // Runs timed work due by now: completion of erase and blank check, dropping stalled frames.
    void Advance(SimTime now);
    // When Advance has something to do next, if anything.
    std::optional<SimTime> NextDeadline() const;

    // Reply bytes produced so far, oldest first; the queue is emptied.
    std::vector<SSimOutByte> TakeOutput();

    ESimPhase Phase() const { return m_ePhase; }
    const SSimConfig& Config() const { return m_config; }
    // Flash contents, byte 0 at the chip's StartAddress.
    const std::vector<uint8_t>& Flash() const { return m_flash; }
    std::vector<uint8_t>& Flash() { return m_flash; }
    // Counts every change of the flash (erase, written block).
    uint64_t FlashGeneration() const { return m_qwFlashGeneration; }
    uint32_t ProgrammedBlocks() const { return m_dwProgrammedBlocks; }
    uint32_t Violations() const { return m_dwViolations; }
    uint32_t DroppedBytes() const { return m_dwDroppedBytes; }
    // True while the kernel erases or blank-checks.
    bool IsBusy() const { return m_eKernelState == EKernelState::Busy; }

    // The flash content of a unit in the field before its update: mostly zero bits, so that
    // programming without erasing fails and a missing erase cannot go unnoticed.
    static uint8_t OldFirmwareByte(uint32_t dwOffset);

private:
    enum class EBootState
    {
        Idle,
        DownloadHeader, // collecting load address and length
        DownloadBody,   // collecting the image and the checksum
        SwitchFrame,    // collecting the four zero bytes after 0x40
    };
    enum class EKernelState
    {
        Idle,
        Address,   // collecting the three address bytes of a command
        Busy,      // erase or blank check running
        WriteData, // collecting 512 data bytes and the CRC
    };

    void ReceiveBootRom(uint8_t by, SimTime t);
    void ReceiveKernel(uint8_t by, SimTime t);
    void FinishDownloadFrame();
    void FinishSwitchFrame(SimTime t);
    void StartCommand(SimTime t);
    void FinishWriteBlock();
    void SendReadBlock(uint32_t dwAddress);
    void CompleteBusy();
    bool CheckBlockAddress(uint32_t dwAddress, const char* pszWhat);
    bool CheckStartAddress(uint32_t dwAddress, const char* pszWhat);

    void Send(uint8_t by);
    void Event(ESimEvent eKind, const std::string& strText);
    void Violation(const std::string& strText);
    void DropByte(uint8_t by, const SLineState& line, uint32_t dwExpectedBaud);
    uint32_t ListeningBaud() const;

    SSimConfig m_config;
    ISimEvents* m_pEvents;
    ESimPhase m_ePhase = ESimPhase::BootRom;
    EBootState m_eBootState = EBootState::Idle;
    EKernelState m_eKernelState = EKernelState::Idle;

    std::vector<uint8_t> m_frame;           // bytes of the frame being collected
    uint32_t m_dwFrameNeed = 0;             // bytes still missing from it
    std::optional<SimTime> m_frameDeadline; // when a stalled frame is dropped
    uint8_t m_byCommand = 0;
    uint32_t m_dwCommandAddress = 0;
    std::optional<SimTime> m_busyUntil; // completion of erase/blank check; none while it hangs

    std::vector<uint8_t> m_kernel; // the image of the last accepted download
    bool m_bKernelLoaded = false;
    uint32_t m_dwRefusalsLeft;
    std::set<uint32_t> m_crcOnceLeft;

    std::vector<uint8_t> m_flash;
    uint64_t m_qwFlashGeneration = 0;
    uint32_t m_dwProgrammedBlocks = 0;
    uint32_t m_dwViolations = 0;
    uint32_t m_dwDroppedBytes = 0;
    bool m_bInDropRun = false;   // the last byte was dropped: report a run only once
    bool m_bBusyNoticed = false; // bytes during erase/blank check were reported
    std::optional<SLineState> m_lastLine;

    std::vector<SSimOutByte> m_output;
};
