#pragma once
// A pseudo-terminal for port tests: the port opens the slave by name, the test plays the far end
// on the master.
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <utility>

class CPtyPair
{
public:
    CPtyPair()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char szName[128];
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
            ::ptsname_r(m_master, szName, sizeof szName) != 0)
            throw std::runtime_error("no pseudo-terminal");
        m_strSlave = szName;
        termios tio{};
        ::tcgetattr(m_master, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_master, TCSANOW, &tio);
    }
    ~CPtyPair() { CloseMaster(); }

    const std::string& SlaveName() const { return m_strSlave; }
    void Send(const std::string& strData) const
    {
        if (::write(m_master, strData.data(), strData.size()) != static_cast<ssize_t>(strData.size()))
            throw std::runtime_error("pty master write failed");
    }
    // The far end goes away: the slave is hung up.
    void CloseMaster() { ::close(std::exchange(m_master, -1)); }

private:
    int m_master = -1;
    std::string m_strSlave;
};
