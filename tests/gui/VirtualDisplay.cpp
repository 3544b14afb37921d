#include "tests/gui/VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

CVirtualDisplay::~CVirtualDisplay()
{
    Stop();
}

bool CVirtualDisplay::Ensure(std::string& strError)
{
    int fds[2];
    if (pipe(fds) != 0)
    {
        strError = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    // The read end stays ours; Xvfb inherits the write end and writes the display number there
    // once it accepts clients.
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    const std::string strFd = std::to_string(fds[1]);
    std::vector<std::string> args = {"Xvfb", "-displayfd",   strFd,       "-screen",
                                     "0",    "1280x1024x24", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (auto& strArg : args)
    {
        argv.push_back(strArg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int nRc = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (nRc != 0)
    {
        close(fds[0]);
        m_pid = -1;
        const char* pszDisplay = std::getenv("DISPLAY");
        if (pszDisplay != nullptr && *pszDisplay != '\0')
        {
            return true;
        }
        strError = std::string("cannot start Xvfb (install the xvfb package): ") + std::strerror(nRc);
        return false;
    }
    std::string strNumber;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (strNumber.find('\n') == std::string::npos)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
        {
            break;
        }
        pollfd pfd{fds[0], POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
        {
            continue;
        }
        char buf[32];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0)
        {
            break;
        }
        strNumber.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (strNumber.find('\n') == std::string::npos)
    {
        strError = "Xvfb did not report a display";
        Stop();
        return false;
    }
    strNumber.resize(strNumber.find('\n'));
    setenv("DISPLAY", (":" + strNumber).c_str(), 1);
    return true;
}

void CVirtualDisplay::Stop()
{
    if (m_pid <= 0)
    {
        return;
    }
    kill(m_pid, SIGTERM);
    int nStatus = 0;
    for (int i = 0; i < 200; ++i)
    {
        if (waitpid(m_pid, &nStatus, WNOHANG) == m_pid)
        {
            m_pid = -1;
            return;
        }
        usleep(10000);
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &nStatus, 0);
    m_pid = -1;
}
