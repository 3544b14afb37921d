#pragma once
// The simulated unit's protocol log read back as the frames the program sent, so a test can
// count the attempts it made. The log prints bytes as the unit read them, sixteen to a line:
// one frame may span many lines and one line may end a frame and start the next, and a data
// line may begin with a byte that looks like a command. The bytes are therefore joined again
// in order and cut by the protocol's own framing (lengths in the download header, the fixed
// command size, the data phase that follows a write command the unit accepted).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One command to the flash kernel other than the ping: write, read, erase or blank check.
struct SKernelCommand
{
    uint8_t byCode = 0;
    uint32_t dwAddress = 0;
    bool bData = false; // write block: the 512 data bytes and the CRC followed
};

struct SProtocolTrace
{
    int nSyncs = 0;     // 0x18 to the unit's boot ROM
    int nDownloads = 0; // complete download frames
    int nSwitches = 0;  // switch frames 0x40 0 0 0 0
    int nPings = 0;     // 0xE8 to the kernel
    std::vector<SKernelCommand> commands;
    std::map<std::string, int> decoySyncs; // 0x18 written to each decoy ("decoy0", ...)
    int nStrayBytes = 0;                   // bytes that fit no frame, or came at another speed
    std::vector<std::string> notes;        // the unit's event lines, in order

    // Commands with this code, in order of sending.
    std::vector<SKernelCommand> Commands(uint8_t byCode) const;
    // Addresses of the write-block commands, in order of sending.
    std::vector<uint32_t> WriteAddresses() const;
    // Event lines that start with strPrefix, e.g. "protocol error: ".
    std::vector<std::string> NotesStartingWith(const std::string& strPrefix) const;
    // True when the unit saw nothing from the program: no byte at all on its line.
    bool Silent() const;
};

inline constexpr uint8_t CMD_WRITE = 0x08;
inline constexpr uint8_t CMD_READ = 0x28;
inline constexpr uint8_t CMD_ERASE = 0x38;
inline constexpr uint8_t CMD_BLANK = 0x48;
inline constexpr uint8_t CMD_PING = 0xE8;

// Parses the text of a log written by orlix-sim --log. False with strError on a line that is
// not in the log's format.
bool ParseProtocolTrace(const std::string& strLog, SProtocolTrace& trace, std::string& strError);
