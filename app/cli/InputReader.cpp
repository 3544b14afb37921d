#include "app/cli/InputReader.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace
{

// Written by the signal handler (write is async-signal-safe), read by the input thread.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnCloseSignal(int /*nSignal*/)
{
    const int nSaved = errno;
    const char ch = 'c';
    if (g_signalPipe[1] >= 0)
    {
        [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &ch, 1);
    }
    errno = nSaved;
}

bool MakePipe(int fds[2])
{
    if (pipe(fds) != 0)
    {
        return false;
    }
    for (int i = 0; i < 2; ++i)
    {
        fcntl(fds[i], F_SETFD, FD_CLOEXEC);
        fcntl(fds[i], F_SETFL, fcntl(fds[i], F_GETFL) | O_NONBLOCK);
    }
    return true;
}

void ClosePipe(int fds[2])
{
    for (int i = 0; i < 2; ++i)
    {
        if (fds[i] >= 0)
        {
            close(fds[i]);
            fds[i] = -1;
        }
    }
}

} // namespace

CInputReader::CInputReader(CEventQueue& queue, int nFd) : m_queue(queue), m_nFd(nFd) {}

CInputReader::~CInputReader()
{
    Stop();
}

bool CInputReader::Start()
{
    if (!MakePipe(m_stopPipe))
    {
        return false;
    }
    if (g_signalPipe[0] < 0)
    {
        if (!MakePipe(g_signalPipe))
        {
            return false;
        }
        struct sigaction action = {};
        action.sa_handler = &OnCloseSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        // A closed terminal must not end a transfer half-way: a hang-up is a close request,
        // refused while a worker runs like any other.
        sigaction(SIGHUP, &action, nullptr);
    }
    try
    {
        m_thread = std::thread(&CInputReader::Run, this);
    }
    catch (const std::system_error&)
    {
        return false;
    }
    return true;
}

void CInputReader::Stop()
{
    if (m_thread.joinable())
    {
        const char ch = 's';
        [[maybe_unused]] const ssize_t n = write(m_stopPipe[1], &ch, 1);
        m_thread.join();
    }
    ClosePipe(m_stopPipe);
}

void CInputReader::PushLine(std::string& strPending, bool bFinal)
{
    std::size_t nStart = 0;
    for (;;)
    {
        const std::size_t nEnd = strPending.find('\n', nStart);
        if (nEnd == std::string::npos)
        {
            break;
        }
        std::string strLine = strPending.substr(nStart, nEnd - nStart);
        if (!strLine.empty() && strLine.back() == '\r')
        {
            strLine.pop_back();
        }
        m_queue.Push(SCliEvent{ECliEvent::Line, {}, std::move(strLine)});
        nStart = nEnd + 1;
    }
    strPending.erase(0, nStart);
    if (bFinal && !strPending.empty())
    {
        if (strPending.back() == '\r')
        {
            strPending.pop_back();
        }
        m_queue.Push(SCliEvent{ECliEvent::Line, {}, std::move(strPending)});
        strPending.clear();
    }
}

void CInputReader::Run()
{
    std::string strPending;
    bool bInputOpen = true;
    char buffer[4096];
    for (;;)
    {
        pollfd fds[3] = {
            {m_stopPipe[0], POLLIN, 0},
            {g_signalPipe[0], POLLIN, 0},
            {bInputOpen ? m_nFd : -1, POLLIN, 0},
        };
        if (poll(fds, 3, -1) < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            break;
        }
        if (fds[0].revents != 0)
        {
            break;
        }
        if (fds[1].revents != 0)
        {
            ssize_t nSignals = 0;
            while ((nSignals = read(g_signalPipe[0], buffer, sizeof buffer)) > 0)
            {
                for (ssize_t i = 0; i < nSignals; ++i)
                {
                    m_queue.Push(SCliEvent{ECliEvent::CloseRequest, {}, {}});
                }
            }
        }
        if (bInputOpen && fds[2].revents != 0)
        {
            const ssize_t nRead = read(m_nFd, buffer, sizeof buffer);
            if (nRead > 0)
            {
                strPending.append(buffer, static_cast<std::size_t>(nRead));
                PushLine(strPending, false);
            }
            else if (nRead == 0 || (errno != EINTR && errno != EAGAIN))
            {
                PushLine(strPending, true);
                m_queue.Push(SCliEvent{ECliEvent::InputEnd, {}, {}});
                bInputOpen = false;
            }
        }
    }
}
