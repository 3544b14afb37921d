#pragma once
// One pseudo-terminal of the simulator: the master (the unit's end of the cable), the
// simulator's own descriptor on the slave, and the symlink the program opens.
//
// Keeping the slave open matters twice: the program may close and reopen its port without
// the master seeing a hang-up, and the slave's terminal settings, which every descriptor of
// the slave shares, tell the unit the line speed the program has set.
#include "sim/SimTypes.h"

#include <string>

// What the program has set on the line.
struct SPtyLineInfo
{
    SLineState line;
    // No translation, echo, signals or software flow control: bytes pass unaltered. Otherwise
    // strNotRaw names what is on (e.g. "ICANON ECHO IXON").
    bool bRaw = true;
    std::string strNotRaw;
};

// Reads the line settings of a terminal descriptor; the speed is the bit rate itself (any rate,
// not only the standard ones). False when the descriptor is not a terminal.
bool ReadPtyLineInfo(int fd, SPtyLineInfo& info);

class CSimPty
{
public:
    CSimPty() = default;
    CSimPty(const CSimPty&) = delete;
    CSimPty& operator=(const CSimPty&) = delete;
    ~CSimPty();

    // Opens a pty (master non-blocking), puts the slave in raw mode and points strLink at it.
    // An existing symlink at strLink is replaced; any other file there is left alone (error).
    bool Open(const std::string& strLink, std::string& strError);
    // Closes master and slave and removes the link if it still points at this pty.
    void Close();

    bool IsOpen() const { return m_nMaster >= 0; }
    int MasterFd() const { return m_nMaster; }
    int SlaveFd() const { return m_nSlave; }
    const std::string& SlaveName() const { return m_strSlave; }
    const std::string& LinkPath() const { return m_strLink; }

private:
    int m_nMaster = -1;
    int m_nSlave = -1;
    std::string m_strSlave;
    std::string m_strLink;
};
