#include "tests/support/RunProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

pid_t SpawnChild(const SSpawnRequest& req, std::string& strError)
{
    std::vector<std::string> strings{req.strPath}; // argv, then the environment
    strings.insert(strings.end(), req.args.begin(), req.args.end());
    const size_t nArgs = strings.size();
    for (char** p = environ; p && *p; ++p)
    {
        const std::string entry(*p), strPrefix = entry.substr(0, entry.find('=') + 1);
        if (std::none_of(req.extraEnv.begin(), req.extraEnv.end(),
                         [&](const std::string& extra) { return extra.rfind(strPrefix, 0) == 0; }))
            strings.push_back(entry);
    }
    strings.insert(strings.end(), req.extraEnv.begin(), req.extraEnv.end());
    std::vector<char*> pointers; // argv, nullptr, envp, nullptr
    for (auto& str : strings)
        pointers.push_back(str.data());
    pointers.insert(pointers.begin() + static_cast<std::ptrdiff_t>(nArgs), nullptr);
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int fds[3] = {req.nStdinFd, req.nStdoutFd, req.nStderrFd};
    for (int i = 0; i < 3; ++i)
        if (fds[i] >= 0)
            posix_spawn_file_actions_adddup2(&actions, fds[i], i);
        else
            posix_spawn_file_actions_addopen(&actions, i, "/dev/null", i == 0 ? O_RDONLY : O_WRONLY, 0);
    // Own process group, so a time-out can end the child together with anything it started;
    // default signal handling, whatever the test process has set up.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults, noneBlocked;
    sigemptyset(&noneBlocked);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE), sigaddset(&defaults, SIGTERM), sigaddset(&defaults, SIGINT);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &noneBlocked);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, static_cast<short>(POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));
    pid_t pid = -1;
    const int nErr =
        posix_spawn(&pid, req.strPath.c_str(), &actions, &attr, pointers.data(), pointers.data() + nArgs + 1);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (nErr != 0)
        strError = "cannot start " + req.strPath + ": " + std::strerror(nErr);
    return nErr == 0 ? pid : -1;
}

bool WaitChild(pid_t pid, int nTimeoutMs, int& nStatus)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        const pid_t r = waitpid(pid, &nStatus, WNOHANG);
        if (r < 0 && errno != EINTR)
            nStatus = 0; // not our child any more: nothing left to wait for
        if (r == pid || (r < 0 && errno != EINTR) || std::chrono::steady_clock::now() >= deadline)
            return r == pid || (r < 0 && errno != EINTR);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

SProcessResult RunProcess(const std::string& strPath, const SRunOptions& opts)
{
    signal(SIGPIPE, SIG_IGN); // writing to a child that is gone gives EPIPE, not the end of the test
    SProcessResult result;
    const auto start = std::chrono::steady_clock::now();
    // Memory files rather than pipes: the child never blocks on a full pipe nor meets a closed one.
    int fds[3] = {memfd_create("stdin", MFD_CLOEXEC), memfd_create("stdout", MFD_CLOEXEC),
                  memfd_create("stderr", MFD_CLOEXEC)};
    const auto readAll = [](int fd)
    {
        std::string strOut;
        char buf[65536];
        ssize_t n = lseek(fd, 0, SEEK_SET);
        while ((n = read(fd, buf, sizeof buf)) > 0)
            strOut.append(buf, static_cast<size_t>(n));
        return strOut;
    };
    if (fds[0] < 0 || fds[1] < 0 || fds[2] < 0 ||
        write(fds[0], opts.strStdin.data(), opts.strStdin.size()) != ssize_t(opts.strStdin.size()) ||
        lseek(fds[0], 0, SEEK_SET) != 0)
        result.strError = std::string("memory file: ") + std::strerror(errno);
    else
    {
        const pid_t pid =
            SpawnChild({strPath, opts.args, opts.extraEnv, fds[0], fds[1], fds[2]}, result.strError);
        result.bStarted = pid > 0;
        int nStatus = 0;
        if (result.bStarted && !WaitChild(pid, static_cast<int>(opts.timeout.count()), nStatus))
        {
            result.bTimedOut = true; // the whole process group goes, with anything the child started
            kill(-pid, SIGKILL);
            WaitChild(pid, 10000, nStatus);
        }
        result.nExitCode = result.bStarted && WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        result.nSignal = result.bStarted && WIFSIGNALED(nStatus) ? WTERMSIG(nStatus) : 0;
        result.strStdout = readAll(fds[1]);
        result.strStderr = readAll(fds[2]);
    }
    for (const int fd : fds)
        if (fd >= 0)
            close(fd);
    result.elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return result;
}
