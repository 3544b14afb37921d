#include "tests/support/SimProcess.h"

#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool CSimProcess::Start(const std::string& strDir, const SSimProcessOptions& opts,
                        std::chrono::milliseconds timeout)
{
    if (m_pid > 0)
        return m_strError = "already started", false;
    m_strError.clear();
    m_bReaped = false;
    m_nExitStatus = -1;
    m_strLinkPath = strDir + "/unit0";
    m_strDumpPath = strDir + "/flash.bin";
    m_strLogPath = strDir + "/protocol.log";
    m_strStderrPath = strDir + "/sim.stderr";
    std::vector<std::string> args = {
        "--link",      m_strLinkPath, "--chip",     opts.strChip, opts.bPace ? "--pace" : "--no-pace",
        "--erase-ms",  "100",         "--blank-ms", "50",         "--dump",
        m_strDumpPath, "--log",       m_strLogPath};
    for (const auto& fault : opts.faults)
        args.insert(args.end(), {"--fault", fault});
    for (const auto& name : opts.decoyNames)
        args.insert(args.end(), {"--decoy", strDir + "/" + name});
    args.insert(args.end(), opts.extraArgs.begin(), opts.extraArgs.end());

    int outPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return m_strError = std::string("pipe: ") + std::strerror(errno), false;
    const int nErrFd = open(m_strStderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    m_pid = SpawnChild({ORLIX_SIM_PATH, args, {}, -1, outPipe[1], nErrFd}, m_strError);
    close(outPipe[1]);
    close(nErrFd);
    m_nStdoutFd = outPipe[0];
    // The ready line is the simulator's only output on stdout.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string strOut;
    pollfd pfd{m_nStdoutFd, POLLIN, 0};
    for (char c = 0; m_pid > 0 && strOut.find('\n') == std::string::npos; strOut += c)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0 ||
            read(m_nStdoutFd, &c, 1) != 1)
            break;
    }
    if (m_pid > 0 && strOut.rfind("orlix-sim ready:", 0) == 0 && strOut.back() == '\n')
        return true;
    if (m_pid > 0)
        m_strError = strOut.empty() ? "no ready line within " + std::to_string(timeout.count()) + " ms"
                                    : "unexpected first line: " + strOut;
    m_strError += StderrText().empty() ? "" : "; its stderr: " + StderrText();
    Stop();
    return false;
}

bool CSimProcess::IsRunning()
{
    int nStatus = 0;
    if (m_pid <= 0 || m_bReaped || !WaitChild(m_pid, 0, nStatus))
        return m_pid > 0 && !m_bReaped;
    m_bReaped = true;
    m_nExitStatus = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    return false;
}

int CSimProcess::Stop(std::chrono::milliseconds timeout)
{
    if (m_pid > 0 && !m_bReaped)
    {
        kill(m_pid, SIGTERM);
        int nStatus = 0;
        const bool bEnded = WaitChild(m_pid, static_cast<int>(timeout.count()), nStatus);
        if (!bEnded)
            kill(-m_pid, SIGKILL), WaitChild(m_pid, 10000, nStatus);
        m_nExitStatus = bEnded && WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        m_bReaped = true;
    }
    if (m_nStdoutFd >= 0)
        close(m_nStdoutFd);
    m_nStdoutFd = -1;
    m_pid = -1;
    return m_nExitStatus;
}

std::vector<uint8_t> CSimProcess::ReadDump() const
{
    const std::string strDump = ReadFileText(m_strDumpPath);
    return {strDump.begin(), strDump.end()};
}

std::string CSimProcess::StderrText() const
{
    return ReadFileText(m_strStderrPath);
}
