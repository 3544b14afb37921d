#include "RawLine.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace
{
speed_t SpeedConstant(uint32_t dwBaud)
{
    switch (dwBaud)
    {
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        throw std::runtime_error("CRawLine: unsupported speed " + std::to_string(dwBaud));
    }
}
} // namespace

CRawLine::~CRawLine()
{
    Close();
}

void CRawLine::Open(const std::string& strPath, uint32_t dwBaud)
{
    Close();
    m_fd = open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
    {
        throw std::runtime_error("cannot open " + strPath + ": " + std::strerror(errno));
    }
    SetSpeed(dwBaud);
}

void CRawLine::Close()
{
    if (m_fd >= 0)
    {
        close(m_fd);
        m_fd = -1;
    }
}

void CRawLine::SetSpeed(uint32_t dwBaud, bool bTwoStopBits)
{
    termios tio{};
    if (tcgetattr(m_fd, &tio) != 0)
    {
        throw std::runtime_error(std::string("tcgetattr: ") + std::strerror(errno));
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (bTwoStopBits)
    {
        tio.c_cflag |= CSTOPB;
    }
    cfsetispeed(&tio, SpeedConstant(dwBaud));
    cfsetospeed(&tio, SpeedConstant(dwBaud));
    if (tcsetattr(m_fd, TCSANOW, &tio) != 0)
    {
        throw std::runtime_error(std::string("tcsetattr: ") + std::strerror(errno));
    }
}

void CRawLine::Write(const std::vector<uint8_t>& data)
{
    size_t nDone = 0;
    while (nDone < data.size())
    {
        const ssize_t n = write(m_fd, data.data() + nDone, data.size() - nDone);
        if (n > 0)
        {
            nDone += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
        {
            throw std::runtime_error(std::string("write: ") + std::strerror(errno));
        }
        pollfd pfd{m_fd, POLLOUT, 0};
        poll(&pfd, 1, 100);
    }
}

std::vector<uint8_t> CRawLine::Read(size_t nCount, std::chrono::milliseconds timeout)
{
    std::vector<uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < nCount)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
        {
            break;
        }
        pollfd pfd{m_fd, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
        {
            continue;
        }
        uint8_t buf[1024];
        const ssize_t n = read(m_fd, buf, std::min(sizeof buf, nCount - out.size()));
        if (n > 0)
        {
            out.insert(out.end(), buf, buf + n);
        }
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
        {
            break; // hung up
        }
    }
    return out;
}
