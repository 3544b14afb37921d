#include "tests/serial/posix/PtyPair.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

CPtyPair::CPtyPair()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    char szName[128];
    if (::ptsname_r(m_master, szName, sizeof szName) != 0)
        throw std::runtime_error("no pseudo-terminal name");
    m_strSlave = szName;
    termios tio{};
    if (::tcgetattr(m_master, &tio) == 0)
    {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_master, TCSANOW, &tio);
    }
}

CPtyPair::~CPtyPair()
{
    CloseMaster();
}

void CPtyPair::Send(const std::vector<uint8_t>& data) const
{
    size_t nDone = 0;
    while (nDone < data.size())
    {
        const ssize_t n = ::write(m_master, data.data() + nDone, data.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error("pty master write failed");
        nDone += static_cast<size_t>(n);
    }
}

void CPtyPair::Send(const std::string& strText) const
{
    Send(std::vector<uint8_t>(strText.begin(), strText.end()));
}

std::vector<uint8_t> CPtyPair::Receive(size_t nCount, std::chrono::milliseconds timeout) const
{
    std::vector<uint8_t> data;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (data.size() < nCount)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd pfd{m_master, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            continue;
        uint8_t buf[4096];
        const ssize_t n = ::read(m_master, buf, std::min(sizeof buf, nCount - data.size()));
        if (n <= 0)
            break;
        data.insert(data.end(), buf, buf + n);
    }
    return data;
}

void CPtyPair::CloseMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

CTempFolder::CTempFolder()
{
    std::string strTemplate = (std::filesystem::temp_directory_path() / "orlix-serial-XXXXXX").string();
    if (::mkdtemp(strTemplate.data()) == nullptr)
        throw std::runtime_error("no temporary folder");
    m_strPath = strTemplate;
}

CTempFolder::~CTempFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(m_strPath, ec);
}
