#include "tests/faults/CliSession.h"

#include "tests/support/ChildSpawn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

CCliSession::~CCliSession()
{
    if (m_pid > 0)
    {
        kill(-m_pid, SIGKILL);
        int nStatus = 0;
        WaitChild(m_pid, 5000, nStatus);
    }
    CloseInput();
    if (m_nOutFd >= 0)
    {
        close(m_nOutFd);
    }
}

bool CCliSession::Start(const std::string& strPath, const std::vector<std::string>& args,
                        const std::vector<std::string>& extraEnv, std::string& strError)
{
    // Typing into a child that has already ended must fail, not end the test.
    signal(SIGPIPE, SIG_IGN);
    int inPipe[2];
    int outPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) != 0)
    {
        strError = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (pipe2(outPipe, O_CLOEXEC) != 0)
    {
        strError = std::string("pipe: ") + std::strerror(errno);
        close(inPipe[0]);
        close(inPipe[1]);
        return false;
    }
    SSpawnRequest req;
    req.strPath = strPath;
    req.args = args;
    req.extraEnv = extraEnv;
    req.nStdinFd = inPipe[0];
    req.nStdoutFd = outPipe[1];
    req.nStderrFd = outPipe[1];
    m_start = std::chrono::steady_clock::now();
    m_pid = SpawnChild(req, strError);
    close(inPipe[0]);
    close(outPipe[1]);
    m_nInFd = inPipe[1];
    m_nOutFd = outPipe[0];
    return m_pid > 0;
}

bool CCliSession::ReadSome(int nWaitMs)
{
    pollfd fd = {m_nOutFd, POLLIN, 0};
    const int nReady = poll(&fd, 1, nWaitMs);
    if (nReady < 0 && errno == EINTR)
    {
        return true;
    }
    if (nReady <= 0)
    {
        return nReady == 0;
    }
    char buffer[4096];
    const ssize_t n = read(m_nOutFd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
    {
        return true;
    }
    if (n <= 0)
    {
        return false;
    }
    m_strOut.append(buffer, static_cast<size_t>(n));
    return true;
}

bool CCliSession::WaitFor(const std::string& strText, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;)
    {
        const size_t nAt = m_strOut.find(strText, m_nConsumed);
        if (nAt != std::string::npos)
        {
            m_nConsumed = nAt + strText.size();
            return true;
        }
        if (m_nOutFd < 0 || std::chrono::steady_clock::now() >= deadline || !ReadSome(50))
        {
            return false;
        }
    }
}

bool CCliSession::Type(const std::string& strText)
{
    size_t nDone = 0;
    while (m_nInFd >= 0 && nDone < strText.size())
    {
        const ssize_t n = write(m_nInFd, strText.data() + nDone, strText.size() - nDone);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            return false;
        }
        nDone += static_cast<size_t>(n);
    }
    return nDone == strText.size();
}

void CCliSession::CloseInput()
{
    if (m_nInFd >= 0)
    {
        close(m_nInFd);
        m_nInFd = -1;
    }
}

int CCliSession::Finish(std::chrono::milliseconds timeout)
{
    CloseInput();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_nOutFd >= 0 && std::chrono::steady_clock::now() < deadline && ReadSome(50))
    {
    }
    int nStatus = 0;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const bool bEnded =
        m_pid > 0 && WaitChild(m_pid, static_cast<int>(std::max<long long>(left.count(), 0)), nStatus);
    m_elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start);
    if (!bEnded)
    {
        return -1; // the destructor kills it
    }
    m_pid = -1;
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}
