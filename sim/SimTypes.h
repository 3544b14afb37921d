#pragma once
// Types shared by the simulated unit's parts: its clock, the line as the unit sees it, the
// injected faults and the unit's configuration.
#include "target/ChipDef.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

using SimClock = std::chrono::steady_clock;
using SimTime = SimClock::time_point;

// The line settings the program has set on the port, as far as they matter to a UART.
struct SLineState
{
    uint32_t dwBaud = 0;
    // 8 data bits, no parity, one stop bit; a unit cannot read anything else.
    bool bFormatOk = true;

    bool operator==(const SLineState&) const = default;
};

// Misbehaviour injected on purpose, to test how the program copes.
struct SSimFaults
{
    bool bNoSync = false;                // no answer to 0x18
    bool bBadSync = false;               // a wrong answer to 0x18
    uint32_t dwRefuseDownloads = 0;      // refuse this many well-formed download frames
    bool bNoPing = false;                // the kernel does not answer its ping
    bool bEraseHangs = false;            // the erase never completes
    bool bBlankFails = false;            // the blank check reports "not blank" however the flash is
    bool bBlankHangs = false;            // the blank check never completes
    std::set<uint32_t> crcOnce;          // blocks whose first write is answered '5'
    std::set<uint32_t> crcAlways;        // blocks whose every write is answered '5'
    std::set<uint32_t> writeFails;       // blocks whose write is answered "04"
    std::set<uint32_t> weakCells;        // bytes stored with bit 0 flipped, the write answered "01"
    std::optional<uint32_t> vanishAfter; // the unit goes away after this many programmed blocks
};

struct SSimConfig
{
    SChipDef chip;
    uint32_t dwEraseMs = 1500;
    uint32_t dwBlankMs = 300;
    SSimFaults faults;
    // The kernel that works on this chip; another downloaded image hangs the unit after the
    // switch. Empty: any image runs.
    std::vector<uint8_t> expectedKernel;
};

// What the unit reports about itself (the program prints none of this; the simulator's
// front-end decides where it goes).
enum class ESimEvent
{
    Info,      // a step of the protocol: kernel started, reset, erase done
    Violation, // the program broke the protocol: bad checksum, wrong speed, bad address
    Fault,     // an injected fault took effect
};

class ISimEvents
{
public:
    virtual ~ISimEvents() = default;
    virtual void OnSimEvent(ESimEvent eKind, const std::string& strText) = 0;
};
