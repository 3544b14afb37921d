#include "tests/support/SimProcess.h"

#include "tests/support/ChildSpawn.h"
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

CSimProcess::~CSimProcess()
{
    Stop();
}

bool CSimProcess::Start(const std::string& strDir, const SSimProcessOptions& opts,
                        std::chrono::milliseconds timeout)
{
    if (m_pid > 0)
    {
        m_strError = "already started";
        return false;
    }
    m_strError.clear();
    m_bReaped = false;
    m_nExitStatus = -1;
    m_strLinkPath = strDir + "/unit0";
    m_strDumpPath = opts.bDump ? strDir + "/flash.bin" : std::string();
    m_strLogPath = opts.bLog ? strDir + "/protocol.log" : std::string();
    m_strStderrPath = strDir + "/sim.stderr";

    SSpawnRequest req;
    req.strPath = OrlixSimPath();
    req.args = {"--link",     m_strLinkPath, "--chip",     opts.strChip, opts.bPace ? "--pace" : "--no-pace",
                "--erase-ms", "100",         "--blank-ms", "50"};
    for (const auto& fault : opts.faults)
    {
        req.args.insert(req.args.end(), {"--fault", fault});
    }
    for (const auto& name : opts.decoyNames)
    {
        req.args.insert(req.args.end(), {"--decoy", strDir + "/" + name});
    }
    if (opts.bDump)
    {
        req.args.insert(req.args.end(), {"--dump", m_strDumpPath});
    }
    if (opts.bLog)
    {
        req.args.insert(req.args.end(), {"--log", m_strLogPath});
    }
    req.args.insert(req.args.end(), opts.extraArgs.begin(), opts.extraArgs.end());

    int outPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
    {
        m_strError = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    const int nErrFd = open(m_strStderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    req.nStdoutFd = outPipe[1];
    req.nStderrFd = nErrFd;
    m_pid = SpawnChild(req, m_strError);
    close(outPipe[1]);
    if (nErrFd >= 0)
    {
        close(nErrFd);
    }
    if (m_pid < 0)
    {
        close(outPipe[0]);
        return false;
    }
    m_nStdoutFd = outPipe[0];

    // The ready line is the simulator's only output on stdout.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string strOut;
    for (;;)
    {
        const auto nl = strOut.find('\n');
        if (nl != std::string::npos)
        {
            if (strOut.rfind("orlix-sim ready:", 0) == 0)
            {
                return true;
            }
            m_strError = "unexpected first line: " + strOut.substr(0, nl);
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
        {
            m_strError = "no ready line within " + std::to_string(timeout.count()) + " ms";
            break;
        }
        pollfd pfd{m_nStdoutFd, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
        {
            continue; // EINTR or the time-out, checked above
        }
        char buf[512];
        const ssize_t n = read(m_nStdoutFd, buf, sizeof buf);
        if (n == 0 || (n < 0 && errno != EINTR))
        {
            m_strError = "the simulator ended before it was ready";
            break;
        }
        strOut.append(buf, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    }
    m_strError += StderrText().empty() ? "" : "; its stderr: " + StderrText();
    Stop();
    return false;
}

bool CSimProcess::IsRunning()
{
    if (m_pid <= 0 || m_bReaped)
    {
        return false;
    }
    int nStatus = 0;
    if (WaitChild(m_pid, 0, nStatus))
    {
        m_bReaped = true;
        m_nExitStatus = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        return false;
    }
    return true;
}

int CSimProcess::Stop(std::chrono::milliseconds timeout)
{
    if (m_pid > 0 && !m_bReaped)
    {
        kill(m_pid, SIGTERM);
        int nStatus = 0;
        const bool bEnded = WaitChild(m_pid, static_cast<int>(timeout.count()), nStatus);
        if (!bEnded)
        {
            kill(-m_pid, SIGKILL);
            WaitChild(m_pid, 10000, nStatus);
        }
        m_nExitStatus = bEnded && WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        m_bReaped = true;
    }
    if (m_nStdoutFd >= 0)
    {
        close(m_nStdoutFd);
        m_nStdoutFd = -1;
    }
    m_pid = -1;
    return m_nExitStatus;
}

std::vector<uint8_t> CSimProcess::ReadDump() const
{
    return m_strDumpPath.empty() ? std::vector<uint8_t>() : ReadFileBytes(m_strDumpPath);
}

std::string CSimProcess::StderrText() const
{
    return m_strStderrPath.empty() ? std::string() : ReadFileText(m_strStderrPath);
}
