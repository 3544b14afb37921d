#pragma once
// A pseudo-terminal for port tests: the port opens the slave by name, the test plays the far end
// on the master.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

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
    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;
    ~CPtyPair() { CloseMaster(); }

    const std::string& SlaveName() const { return m_strSlave; }
    void Send(const std::string& strData) const
    {
        if (::write(m_master, strData.data(), strData.size()) != static_cast<ssize_t>(strData.size()))
            throw std::runtime_error("pty master write failed");
    }
    // Reads from the master until nCount bytes came or the time-out passed.
    std::vector<uint8_t> Receive(size_t nCount, std::chrono::milliseconds timeout) const
    {
        std::vector<uint8_t> data(nCount);
        size_t nDone = 0;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (pollfd pfd{m_master, POLLIN, 0}; nDone < nCount && std::chrono::steady_clock::now() < deadline;)
            if (::poll(&pfd, 1, 100) > 0)
                nDone +=
                    static_cast<size_t>(std::max<ssize_t>(::read(m_master, &data[nDone], nCount - nDone), 0));
        data.resize(nDone);
        return data;
    }
    // The far end goes away: the slave is hung up.
    void CloseMaster() { ::close(std::exchange(m_master, -1)); }

private:
    int m_master = -1;
    std::string m_strSlave;
};
