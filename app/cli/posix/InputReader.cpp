// The input thread on POSIX: poll() on stdin, a stop pipe and the pipe the signal handler
// writes to.
#include "app/cli/InputReader.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <thread>
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

struct CInputReader::SPlatform
{
    int stopPipe[2] = {-1, -1};
    std::thread thread;
};

namespace
{
// The close signals: taken by the input thread alone (see CInputReader::Start).
sigset_t CloseSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

void RunInput(CEventQueue& queue, int nFd, int nStopFd)
{
    const sigset_t closeSignals = CloseSignals();
    pthread_sigmask(SIG_UNBLOCK, &closeSignals, nullptr);
    std::string strPending;
    bool bInputOpen = true;
    char buffer[4096];
    for (;;)
    {
        pollfd fds[3] = {
            {nStopFd, POLLIN, 0},
            {g_signalPipe[0], POLLIN, 0},
            {bInputOpen ? nFd : -1, POLLIN, 0},
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
                    queue.Push(SCliEvent{ECliEvent::CloseRequest, {}, {}});
                }
            }
        }
        if (bInputOpen && fds[2].revents != 0)
        {
            const ssize_t nRead = read(nFd, buffer, sizeof buffer);
            if (nRead > 0)
            {
                strPending.append(buffer, static_cast<std::size_t>(nRead));
                CInputReader::PushLines(queue, strPending, false);
            }
            else if (nRead == 0 || (errno != EINTR && errno != EAGAIN))
            {
                CInputReader::PushLines(queue, strPending, true);
                queue.Push(SCliEvent{ECliEvent::InputEnd, {}, {}});
                bInputOpen = false;
            }
        }
    }
}
} // namespace

CInputReader::CInputReader(CEventQueue& queue, int nFd)
    : m_queue(queue), m_nFd(nFd), m_pPlatform(std::make_unique<SPlatform>())
{
}

CInputReader::~CInputReader()
{
    Stop();
}

bool CInputReader::Start()
{
    if (!MakePipe(m_pPlatform->stopPipe))
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
    // Only the input thread, which waits in poll() for the signal pipe, takes the close
    // signals: this thread and every thread it starts later (the workers) block them. A signal
    // handed to a worker thread could otherwise be held back until that thread had ended, and
    // a Ctrl-C during the search would be lost.
    const sigset_t closeSignals = CloseSignals();
    pthread_sigmask(SIG_BLOCK, &closeSignals, nullptr);
    try
    {
        m_pPlatform->thread = std::thread(&RunInput, std::ref(m_queue), m_nFd, m_pPlatform->stopPipe[0]);
    }
    catch (const std::system_error&)
    {
        return false;
    }
    return true;
}

void CInputReader::Stop()
{
    if (m_pPlatform->thread.joinable())
    {
        const char ch = 's';
        [[maybe_unused]] const ssize_t n = write(m_pPlatform->stopPipe[1], &ch, 1);
        m_pPlatform->thread.join();
    }
    ClosePipe(m_pPlatform->stopPipe);
}
