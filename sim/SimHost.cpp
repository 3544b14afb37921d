#include "sim/SimHost.h"

#include "target/KernelResources.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace
{
std::string KernelStoreMessage(const SKernelStoreError& error)
{
    switch (error.eKind)
    {
    case EKernelStoreError::None:
        break;
    case EKernelStoreError::FolderMissing:
        return "--kernels " + error.strPath + ": no such folder";
    case EKernelStoreError::FolderEmpty:
        return "--kernels " + error.strPath + ": holds neither kernel-134.bin nor kernel-148.bin";
    case EKernelStoreError::WrongSize:
        return "kernel file " + error.strPath + " has " + std::to_string(error.qwSize) + " bytes, not " +
               std::to_string(error.dwExpectedSize);
    case EKernelStoreError::NotAFile:
        return "kernel file " + error.strPath + " is not a regular file";
    case EKernelStoreError::Unreadable:
        return "kernel file " + error.strPath + " cannot be read: " + error.strReason;
    }
    return "kernel files cannot be used";
}

const char* KindPrefix(ESimEvent eKind)
{
    switch (eKind)
    {
    case ESimEvent::Violation:
        return "protocol error: ";
    case ESimEvent::Fault:
        return "fault: ";
    default:
        return "";
    }
}
} // namespace

CSimHost::CSimHost(SSimOptions opts, std::FILE* pOut, std::FILE* pErr)
    : m_opts(std::move(opts)), m_pOut(pOut), m_pErr(m_opts.bQuiet ? nullptr : pErr), m_pFatal(pErr),
      m_pacer(m_opts.bPace, std::chrono::milliseconds(m_opts.dwPaceCapMs))
{
}

CSimHost::~CSimHost() = default;

void CSimHost::Message(const std::string& strText)
{
    if (m_pErr != nullptr)
    {
        std::fprintf(m_pErr, "orlix-sim: %s\n", strText.c_str());
        std::fflush(m_pErr);
    }
}

void CSimHost::OnSimEvent(ESimEvent eKind, const std::string& strText)
{
    const std::string strLine = KindPrefix(eKind) + strText;
    m_log.Note(m_now, strLine);
    Message(strLine);
}

bool CSimHost::Start(std::string& strError)
{
    m_now = SimClock::now();
    if (!m_opts.strLog.empty() && !m_log.Open(m_opts.strLog, m_now, strError))
    {
        return false;
    }
    SSimConfig config;
    config.chip = m_opts.chip;
    config.dwEraseMs = m_opts.dwEraseMs;
    config.dwBlankMs = m_opts.dwBlankMs;
    config.faults = m_opts.faults;
    // The unit runs only the kernel made for its processor, as the program carries it: from
    // the same kernel files the program reads, else built in.
    SKernelStoreError kernelError;
    if (!LoadProcessKernels(m_opts.strKernels.empty() ? nullptr : m_opts.strKernels.c_str(), kernelError))
    {
        strError = KernelStoreMessage(kernelError);
        return false;
    }
    for (const SKernelInUse& inUse : ProcessKernelStore().InUse())
    {
        if (inUse.dwId == config.chip.ResourceId && inUse.bFromFile)
        {
            Message("kernel " + std::to_string(inUse.dwId) + " from " + inUse.strPath + ", SHA-256 " +
                    inUse.strSha256);
        }
    }
    SResourceData kernel;
    if (FindKernelResource(config.chip.ResourceId, "FLASH", kernel) && kernel.pData != nullptr)
    {
        config.expectedKernel.assign(kernel.pData, kernel.pData + kernel.dwSize);
    }
    m_pDevice = std::make_unique<CSimDevice>(std::move(config), this);

    if (!m_unit.Open(m_opts.strLink, strError))
    {
        return false;
    }
    for (const auto& strDecoy : m_opts.decoys)
    {
        auto pDecoy = std::make_unique<CSimPty>();
        if (!pDecoy->Open(strDecoy, strError))
        {
            return false;
        }
        Message("decoy " + strDecoy + " -> " + pDecoy->SlaveName() + " (never answers)");
        m_decoys.push_back(std::move(pDecoy));
    }
    CheckLine(m_now);
    MaybeDump(m_now, true);
    m_log.Note(m_now, "unit " + m_opts.chip.Name + " on " + m_unit.SlaveName() + " (" + m_opts.strLink + ")");
    return true;
}

void CSimHost::CheckLine(SimTime now)
{
    if (!m_unit.IsOpen())
    {
        return;
    }
    SPtyLineInfo info;
    if (!ReadPtyLineInfo(m_unit.SlaveFd(), info))
    {
        return;
    }
    const bool bChanged = !m_bLineKnown || !(info.line == m_lineInfo.line) || info.bRaw != m_lineInfo.bRaw;
    if (!bChanged)
    {
        return;
    }
    m_log.Note(now, std::string(m_bLineKnown ? "line set to " : "line at ") +
                        std::to_string(info.line.dwBaud) + " bit/s" +
                        (info.line.bFormatOk ? " 8N1" : " (not 8N1)"));
    if (!info.bRaw && (!m_bLineKnown || m_lineInfo.bRaw))
    {
        OnSimEvent(ESimEvent::Violation, "the line is not raw (" + info.strNotRaw +
                                             "): bytes may be altered, echoed or swallowed by the terminal");
    }
    m_lineInfo = info;
    m_bLineKnown = true;
    m_bTxLostRun = false;
    m_pDevice->OnLineChange(info.line, now);
}

void CSimHost::ReadUnit(SimTime now)
{
    uint8_t buf[4096];
    for (;;)
    {
        const ssize_t n = read(m_unit.MasterFd(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            return; // EAGAIN: all read. (No hang-up while we hold the slave ourselves.)
        }
        // The line as it is now is the line these bytes were sent at: the program changes the
        // speed only between its frames.
        CheckLine(now);
        const SLineState line = m_lineInfo.line;
        m_log.Bytes(now, "rx", line.dwBaud, buf, static_cast<size_t>(n));
        for (ssize_t i = 0; i < n; ++i)
        {
            m_inbound.push_back({buf[i], line, m_pacer.InboundDelivery(now, line.dwBaud), i + 1 == n});
        }
        m_lastActivity = now;
    }
}

void CSimHost::DrainDecoy(size_t nIndex, SimTime now)
{
    CSimPty& decoy = *m_decoys[nIndex];
    uint8_t buf[4096];
    for (;;)
    {
        const ssize_t n = read(decoy.MasterFd(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            return;
        }
        SPtyLineInfo info;
        ReadPtyLineInfo(decoy.SlaveFd(), info);
        m_log.Bytes(now, ("decoy" + std::to_string(nIndex)).c_str(), info.line.dwBaud, buf,
                    static_cast<size_t>(n));
    }
}

void CSimHost::QueueOutput(SimTime tReady)
{
    for (const SSimOutByte& out : m_pDevice->TakeOutput())
    {
        m_outbound.push_back({out.byValue, out.dwBaud, m_pacer.OutboundDone(tReady, out.dwBaud)});
    }
}

void CSimHost::ProcessDue(SimTime now)
{
    // Received bytes and the unit's own timers, in the order they happen.
    for (;;)
    {
        const std::optional<SimTime> tIn =
            m_inbound.empty() ? std::nullopt : std::optional<SimTime>(m_inbound.front().tDeliver);
        const std::optional<SimTime> tDev = m_pDevice->NextDeadline();
        if (tIn && *tIn <= now && (!tDev || *tIn <= *tDev))
        {
            const SInbound in = m_inbound.front();
            m_inbound.pop_front();
            m_now = in.tDeliver;
            m_pDevice->Receive(in.by, in.line, in.tDeliver);
            QueueOutput(in.tDeliver);
        }
        else if (tDev && *tDev <= now)
        {
            m_now = *tDev;
            m_pDevice->Advance(*tDev);
            QueueOutput(*tDev);
            if (m_pDevice->NextDeadline() == tDev)
            {
                break; // nothing more the unit can do at this time
            }
        }
        else
        {
            break;
        }
        if (m_pDevice->Phase() != m_eLastPhase)
        {
            // Leaving the kernel ends a programming run: keep its result.
            if (m_eLastPhase == ESimPhase::Kernel)
            {
                MaybeDump(m_now, false);
            }
            m_eLastPhase = m_pDevice->Phase();
        }
    }
    m_now = now;
}

void CSimHost::WriteDue(SimTime now)
{
    if (!m_unit.IsOpen())
    {
        m_outbound.clear();
        return;
    }
    std::vector<uint8_t> chunk;
    uint32_t dwChunkBaud = 0;
    size_t nTaken = 0;
    for (const SOutbound& out : m_outbound)
    {
        if (out.tDone > now)
        {
            break;
        }
        if (out.dwBaud != m_lineInfo.line.dwBaud || !m_lineInfo.line.bFormatOk)
        {
            // The program listens at another speed: what arrives there is garbage. Dropped.
            if (!chunk.empty())
            {
                break; // write what goes through first
            }
            m_log.Bytes(now, "tx-lost", out.dwBaud, &out.by, 1);
            if (!m_bTxLostRun)
            {
                m_bTxLostRun = true;
                char buf[48];
                std::snprintf(buf, sizeof buf, "reply byte 0x%02X", out.by);
                OnSimEvent(ESimEvent::Violation, std::string(buf) + " sent at " + std::to_string(out.dwBaud) +
                                                     " bit/s is lost: the program's line is at " +
                                                     std::to_string(m_lineInfo.line.dwBaud) + " bit/s");
            }
            ++nTaken;
            continue;
        }
        if (!chunk.empty() && out.dwBaud != dwChunkBaud)
        {
            break;
        }
        dwChunkBaud = out.dwBaud;
        chunk.push_back(out.by);
    }
    size_t nWritten = 0;
    m_bWriteBlocked = false;
    while (nWritten < chunk.size())
    {
        const ssize_t n = write(m_unit.MasterFd(), chunk.data() + nWritten, chunk.size() - nWritten);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            m_bWriteBlocked = true; // the program is not reading; try again when there is room
            break;
        }
        nWritten += static_cast<size_t>(n);
    }
    if (nWritten > 0)
    {
        m_log.Bytes(now, "tx", dwChunkBaud, chunk.data(), nWritten);
        m_bTxLostRun = false;
    }
    m_outbound.erase(m_outbound.begin(), m_outbound.begin() + static_cast<std::ptrdiff_t>(nTaken + nWritten));
    if (!m_bWriteBlocked && !m_outbound.empty() && m_outbound.front().tDone <= now)
    {
        WriteDue(now); // a change of speed or a lost byte split the run
    }
}

void CSimHost::Vanish(SimTime now)
{
    MaybeDump(now, true);
    m_log.Note(now, "the unit's pty and link are gone");
    Message("the unit vanished: " + m_opts.strLink + " removed");
    m_unit.Close();
    m_inbound.clear();
    m_outbound.clear();
}

void CSimHost::MaybeDump(SimTime now, bool bForce)
{
    if (m_opts.strDump.empty() || !m_pDevice)
    {
        return;
    }
    const uint64_t qwGeneration = m_pDevice->FlashGeneration();
    if (!bForce && m_bDumpedOnce && qwGeneration == m_qwDumpedGeneration)
    {
        return;
    }
    // A failed write is reported and not retried until the flash changes again: retrying
    // at once would spin.
    m_bDumpedOnce = true;
    m_qwDumpedGeneration = qwGeneration;
    std::string strError;
    if (!WriteFileAtomically(m_opts.strDump, m_pDevice->Flash(), strError))
    {
        Message(strError);
        m_log.Note(now, strError);
        return;
    }
    m_log.Note(now, "flash dumped to " + m_opts.strDump);
}

std::optional<SimTime> CSimHost::NextWake(SimTime now) const
{
    std::optional<SimTime> next;
    auto consider = [&next](SimTime t)
    {
        if (!next || t < *next)
        {
            next = t;
        }
    };
    // The unit answers a frame after its last byte, so received bytes are taken when the last
    // byte of their read is due: one wake-up per frame rather than one per byte (87 us at
    // 115200 bit/s). Each byte keeps its own delivery time for the unit.
    const auto endOfRead =
        std::find_if(m_inbound.begin(), m_inbound.end(), [](const SInbound& in) { return in.bEndOfRead; });
    if (endOfRead != m_inbound.end())
    {
        consider(endOfRead->tDeliver);
    }
    else if (!m_inbound.empty())
    {
        consider(m_inbound.back().tDeliver);
    }
    if (const auto tDev = m_pDevice->NextDeadline())
    {
        consider(*tDev);
    }
    if (!m_outbound.empty() && !m_bWriteBlocked)
    {
        consider(m_outbound.front().tDone);
    }
    if (!m_opts.strDump.empty() && m_pDevice->FlashGeneration() != m_qwDumpedGeneration)
    {
        consider(m_lastActivity + SIM_DUMP_QUIET);
    }
    if (m_unit.IsOpen() && m_pDevice->Phase() != ESimPhase::BootRom)
    {
        consider(now + SIM_LINE_POLL);
    }
    return next;
}

int CSimHost::Run()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const int nSignalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (nSignalFd < 0)
    {
        if (m_pFatal != nullptr)
        {
            std::fprintf(m_pFatal, "orlix-sim: signalfd: %s\n", std::strerror(errno));
        }
        return 1;
    }

    std::string strError;
    if (!Start(strError))
    {
        // Even with --quiet: the caller must learn why there is no unit.
        if (m_pFatal != nullptr)
        {
            std::fprintf(m_pFatal, "orlix-sim: %s\n", strError.c_str());
        }
        close(nSignalFd);
        return 1;
    }
    std::fprintf(m_pOut, "orlix-sim ready: %s -> %s %s\n", m_opts.strLink.c_str(), m_unit.SlaveName().c_str(),
                 m_opts.chip.Name.c_str());
    std::fflush(m_pOut);
    // Started by a program that reads our stdout through a pipe (a test): when that program
    // is gone, so is the reason to serve; end as after SIGTERM instead of lingering.
    struct stat outStat
    {
    };
    const bool bWatchStdout = fstat(fileno(m_pOut), &outStat) == 0 && S_ISFIFO(outStat.st_mode);

    for (;;)
    {
        const SimTime now = SimClock::now();
        std::vector<pollfd> fds;
        fds.push_back({nSignalFd, POLLIN, 0});
        const size_t nStdoutIndex = fds.size();
        if (bWatchStdout)
        {
            fds.push_back({fileno(m_pOut), 0, 0}); // POLLERR once the reader has closed the pipe
        }
        const size_t nUnitIndex = fds.size();
        if (m_unit.IsOpen())
        {
            fds.push_back(
                {m_unit.MasterFd(), static_cast<short>(POLLIN | (m_bWriteBlocked ? POLLOUT : 0)), 0});
        }
        const size_t nDecoyIndex = fds.size();
        for (const auto& pDecoy : m_decoys)
        {
            fds.push_back({pDecoy->MasterFd(), POLLIN, 0});
        }
        // Paced bytes are due at microsecond times: a millisecond time-out would send every
        // answer up to 1 ms late, which at 115200 bit/s is 11 bytes' worth of line.
        timespec wait{};
        timespec* pWait = nullptr;
        if (const auto tWake = NextWake(now))
        {
            const auto ns =
                std::max<std::chrono::nanoseconds>(*tWake - now, std::chrono::nanoseconds(0)).count();
            wait.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            wait.tv_nsec = static_cast<long>(ns % 1'000'000'000);
            pWait = &wait;
        }
        const int nReady = ppoll(fds.data(), fds.size(), pWait, nullptr);
        if (nReady < 0 && errno != EINTR)
        {
            Message(std::string("poll: ") + std::strerror(errno));
            break;
        }
        m_now = SimClock::now();
        if (nReady > 0 && (fds[0].revents & POLLIN) != 0)
        {
            signalfd_siginfo info{};
            if (read(nSignalFd, &info, sizeof info) > 0)
            {
                m_log.Note(m_now, std::string("stopped by ") + strsignal(static_cast<int>(info.ssi_signo)));
                break;
            }
        }
        if (nReady > 0 && bWatchStdout && (fds[nStdoutIndex].revents & (POLLERR | POLLHUP)) != 0)
        {
            m_log.Note(m_now, "stopped: the reader of stdout is gone");
            break;
        }
        if (nReady > 0 && m_unit.IsOpen() && (fds[nUnitIndex].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
        {
            ReadUnit(m_now);
        }
        for (size_t i = 0; nReady > 0 && i < m_decoys.size(); ++i)
        {
            if ((fds[nDecoyIndex + i].revents & POLLIN) != 0)
            {
                DrainDecoy(i, m_now);
            }
        }
        CheckLine(m_now);
        ProcessDue(m_now);
        m_pDevice->Advance(m_now);
        QueueOutput(m_now);
        WriteDue(m_now);
        if (m_pDevice->Phase() == ESimPhase::Vanished && m_unit.IsOpen() && m_outbound.empty())
        {
            Vanish(m_now);
        }
        if (m_now - m_lastActivity >= SIM_DUMP_QUIET)
        {
            MaybeDump(m_now, false);
        }
        m_log.Flush();
    }

    MaybeDump(m_now, true);
    m_log.Note(m_now, "exit");
    m_log.Close();
    m_unit.Close();
    m_decoys.clear();
    close(nSignalFd);
    return 0;
}
