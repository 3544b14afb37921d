#include "tests/support/RunProcess.h"

#include "tests/support/ChildSpawn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

extern char** environ;

namespace
{
// Writing to a child that closed its stdin must give EPIPE, not end the test process.
void IgnoreSigpipe()
{
    static std::once_flag once;
    std::call_once(once, [] { signal(SIGPIPE, SIG_IGN); });
}

void CloseFd(int& fd)
{
    if (fd >= 0)
    {
        close(fd);
        fd = -1;
    }
}
} // namespace

pid_t SpawnChild(const SSpawnRequest& req, std::string& strError)
{
    std::vector<std::string> argStore;
    argStore.push_back(req.strPath);
    argStore.insert(argStore.end(), req.args.begin(), req.args.end());
    std::vector<char*> argv;
    for (auto& s : argStore)
    {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> envStore;
    for (char** p = environ; p && *p; ++p)
    {
        std::string entry(*p);
        const std::string strName = entry.substr(0, entry.find('='));
        bool bReplaced = false;
        for (const auto& extra : req.extraEnv)
        {
            if (extra.substr(0, extra.find('=')) == strName)
            {
                bReplaced = true;
            }
        }
        if (!bReplaced)
        {
            envStore.push_back(std::move(entry));
        }
    }
    envStore.insert(envStore.end(), req.extraEnv.begin(), req.extraEnv.end());
    std::vector<char*> envp;
    for (auto& s : envStore)
    {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int fds[3] = {req.nStdinFd, req.nStdoutFd, req.nStderrFd};
    for (int i = 0; i < 3; ++i)
    {
        if (fds[i] >= 0)
        {
            posix_spawn_file_actions_adddup2(&actions, fds[i], i);
        }
        else
        {
            posix_spawn_file_actions_addopen(&actions, i, "/dev/null", i == 0 ? O_RDONLY : O_WRONLY, 0);
        }
    }
    if (!req.strWorkDir.empty())
    {
        posix_spawn_file_actions_addchdir_np(&actions, req.strWorkDir.c_str());
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Own process group, so a time-out can end the child together with anything it started;
    // default signal handling, whatever the test process has set up.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigset_t noneBlocked;
    sigemptyset(&noneBlocked);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &noneBlocked);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, static_cast<short>(POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));

    pid_t pid = -1;
    const int nErr = posix_spawn(&pid, req.strPath.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (nErr != 0)
    {
        strError = "cannot start " + req.strPath + ": " + std::strerror(nErr);
        return -1;
    }
    return pid;
}

bool WaitChild(pid_t pid, int nTimeoutMs, int& nStatus)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        const pid_t r = waitpid(pid, &nStatus, WNOHANG);
        if (r == pid)
        {
            return true;
        }
        if (r < 0 && errno != EINTR)
        {
            nStatus = 0;
            return true; // not our child any more: nothing left to wait for
        }
        if (std::chrono::steady_clock::now() >= deadline)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

SProcessResult RunProcess(const std::string& strPath, const SRunOptions& opts)
{
    IgnoreSigpipe();
    SProcessResult result;
    const auto start = std::chrono::steady_clock::now();

    int inPipe[2] = {-1, -1};
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (pipe2(inPipe, O_CLOEXEC) != 0 || pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
    {
        result.strError = std::string("pipe: ") + std::strerror(errno);
        for (int* p : {inPipe, outPipe, errPipe})
        {
            CloseFd(p[0]);
            CloseFd(p[1]);
        }
        return result;
    }

    SSpawnRequest req;
    req.strPath = strPath;
    req.args = opts.args;
    req.extraEnv = opts.extraEnv;
    req.strWorkDir = opts.strWorkDir;
    req.nStdinFd = inPipe[0];
    req.nStdoutFd = outPipe[1];
    req.nStderrFd = errPipe[1];
    const pid_t pid = SpawnChild(req, result.strError);
    CloseFd(inPipe[0]);
    CloseFd(outPipe[1]);
    CloseFd(errPipe[1]);
    if (pid < 0)
    {
        CloseFd(inPipe[1]);
        CloseFd(outPipe[0]);
        CloseFd(errPipe[0]);
        return result;
    }
    result.bStarted = true;

    fcntl(inPipe[1], F_SETFL, O_NONBLOCK);
    size_t nStdinDone = 0;
    if (opts.strStdin.empty())
    {
        CloseFd(inPipe[1]);
    }

    const auto deadline = start + opts.timeout;
    while (outPipe[0] >= 0 || errPipe[0] >= 0)
    {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
        {
            result.bTimedOut = true;
            kill(-pid, SIGKILL);
            break;
        }
        pollfd fds[3];
        nfds_t n = 0;
        int* owners[3];
        for (int* fd : {&outPipe[0], &errPipe[0]})
        {
            if (*fd >= 0)
            {
                fds[n] = {*fd, POLLIN, 0};
                owners[n++] = fd;
            }
        }
        if (inPipe[1] >= 0)
        {
            fds[n] = {inPipe[1], POLLOUT, 0};
            owners[n++] = &inPipe[1];
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        const int nReady = poll(fds, n, static_cast<int>(left) + 1);
        if (nReady < 0 && errno != EINTR)
        {
            break;
        }
        for (nfds_t i = 0; i < n && nReady > 0; ++i)
        {
            if (fds[i].revents == 0)
            {
                continue;
            }
            if (owners[i] == &inPipe[1])
            {
                const ssize_t w =
                    write(inPipe[1], opts.strStdin.data() + nStdinDone, opts.strStdin.size() - nStdinDone);
                if (w > 0)
                {
                    nStdinDone += static_cast<size_t>(w);
                }
                if ((w < 0 && errno != EAGAIN && errno != EINTR) || nStdinDone == opts.strStdin.size())
                {
                    CloseFd(inPipe[1]);
                }
                continue;
            }
            char buf[4096];
            const ssize_t r = read(*owners[i], buf, sizeof buf);
            if (r > 0)
            {
                std::string& target = owners[i] == &outPipe[0] ? result.strStdout : result.strStderr;
                target.append(buf, static_cast<size_t>(r));
            }
            else if (r == 0 || (errno != EAGAIN && errno != EINTR))
            {
                CloseFd(*owners[i]);
            }
        }
    }
    CloseFd(inPipe[1]);
    CloseFd(outPipe[0]);
    CloseFd(errPipe[0]);

    // Both outputs are closed; the child may still be running (it closed them itself or was
    // killed): wait for it within what is left of the time-out.
    int nStatus = 0;
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (!WaitChild(pid, static_cast<int>(std::max<int64_t>(left.count(), 0)), nStatus))
    {
        result.bTimedOut = true;
        kill(-pid, SIGKILL);
        WaitChild(pid, 10000, nStatus);
    }
    if (WIFEXITED(nStatus))
    {
        result.nExitCode = WEXITSTATUS(nStatus);
    }
    else if (WIFSIGNALED(nStatus))
    {
        result.nSignal = WTERMSIG(nStatus);
    }
    result.elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return result;
}
