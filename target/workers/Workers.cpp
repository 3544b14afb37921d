#include "target/workers/Workers.h"

#include "firmware/FirmwareImage.h"
#include "serial/SerialIo.h"
#include "target/BootRomLoader.h"
#include "target/ChipDef.h"
#include "target/FlashKernel.h"
#include "target/PerfTimer.h"
#include "target/WorkerHost.h"
#include "target/workers/UnitSession.h"
#include "target/workers/Verify.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace
{

// What a programming run reports when it could not finish talking to the unit: the port
// failed underneath it, or the program is ending. The wizard shows only "failed" for any
// non-zero result, and "no answer" is the closest of the kernel's own results.
constexpr KernelResult PROGRAM_ABORTED = KR_NO_ANSWER;

void PostStatus(IWorkerHost& host, unsigned nCode, intptr_t lParam, std::string strText = {})
{
    SWizardMessage msg;
    msg.nMsg = WM_WORKER_STATUS;
    msg.wParam = nCode;
    msg.lParam = lParam;
    msg.strText = std::move(strText);
    host.PostWorkerMessage(std::move(msg));
}

void PostProgress(IWorkerHost& host, uint32_t dwPercent)
{
    PostStatus(host, STATUS_PROGRESS, static_cast<intptr_t>(dwPercent));
}

// The worker's last act. Nothing may escape a thread procedure, so a failing post is swallowed:
// there is no one left to tell.
void PostDone(IWorkerHost& host, intptr_t lParam) noexcept
{
    try
    {
        SWizardMessage msg;
        msg.nMsg = WM_WORKER_DONE;
        msg.lParam = lParam;
        host.PostWorkerMessage(std::move(msg));
    }
    catch (...)
    {
    }
}

// Closing must not throw the worker off its way to WM_WORKER_DONE.
void ClosePortQuietly(CUnitSession& session) noexcept
{
    try
    {
        session.ClosePort();
    }
    catch (...)
    {
    }
}

// --- search ---------------------------------------------------------------------------------

// One attempt on the current record: open, synchronise, close. A port that cannot be opened,
// or whose operations throw, counts as a port where nothing answered.
bool TryPort(CUnitSession& session, IWorkerHost& host, CBootRomLoader& loader, const SSerInfo& record)
{
    bool bOpen = false;
    try
    {
        bOpen = session.OpenPort();
    }
    catch (...)
    {
        bOpen = false;
    }
    if (!bOpen)
    {
        ClosePortQuietly(session);
        return false;
    }

    int nSync = BOOTROM_NO_REPLY;
    try
    {
        PostStatus(host, STATUS_INFOLINE3, 0, record.friendlyName);
        ISerialIo& port = session.Port();
        port.SetBaudRate(session.m_chip.Baud);
        loader.AttachPort(&port);
        nSync = loader.Synchronize();
    }
    catch (...)
    {
        nSync = BOOTROM_NO_REPLY;
    }
    loader.AttachPort(nullptr);
    ClosePortQuietly(session);
    return nSync == BOOTROM_OK;
}

bool SearchPorts(CUnitSession& session, IWorkerHost& host)
{
    CBootRomLoader loader;
    loader.SetClock(&host.Clock());
    loader.SetChip(session.m_chip);

    session.UpdatePortList(); // throws its error text; the caller turns that into "not found"
    std::vector<SSerInfo>& ports = session.Ports();
    const std::size_t nTotal = ports.size() * SEARCH_PASSES;
    std::size_t nTried = 0;

    for (unsigned nPass = 0; nPass < SEARCH_PASSES; ++nPass)
    {
        for (SSerInfo& record : ports)
        {
            if (host.StopRequested())
            {
                return false;
            }
            ++nTried;
            PostProgress(host, static_cast<uint32_t>(nTried * 100 / nTotal));
            ClosePortQuietly(session);
            session.SetCurrentPort(&record);
            if (TryPort(session, host, loader, record))
            {
                return true;
            }
        }
    }
    return false;
}

// --- download -------------------------------------------------------------------------------

bool DownloadKernel(CUnitSession& session, IWorkerHost& host)
{
    const SChipDef& chip = session.m_chip;
    CBootRomLoader loader;
    loader.SetClock(&host.Clock());
    ISerialIo& port = session.Port();
    port.SetBaudRate(chip.Baud);
    loader.AttachPort(&port);
    loader.SetChip(chip);

    if (host.StopRequested() || loader.Synchronize() != BOOTROM_OK)
    {
        return false;
    }
    for (unsigned nAttempt = 1; nAttempt <= DOWNLOAD_ATTEMPTS; ++nAttempt)
    {
        if (host.StopRequested())
        {
            return false;
        }
        PostProgress(host, nAttempt * 100 / DOWNLOAD_ATTEMPTS);
        if (loader.DownloadKernel() == BOOTROM_OK)
        {
            // Whether the target followed the switch shows at the first kernel command.
            loader.SwitchToBaud2();
            return true;
        }
    }
    return false;
}

// --- programming ----------------------------------------------------------------------------

// Forwards the kernel's progress of a long operation to the dialog.
class CProgressForwarder final : public IProgressSink
{
public:
    explicit CProgressForwarder(IWorkerHost& host) : m_host(host) {}
    void OnProgress(int nPercent) override
    {
        PostStatus(m_host, STATUS_PROGRESS, static_cast<intptr_t>(std::clamp(nPercent, 0, 100)));
    }

private:
    IWorkerHost& m_host;
};

KernelResult ProgramImage(CUnitSession& session, const CFirmwareImage& image, IWorkerHost& host,
                          CFlashKernel& kernel)
{
    // An image cut into other blocks than the kernel's would be read past the buffer's end.
    if (!image.IsLoaded() || image.GetBlockSize() != KERNEL_BLOCK_SIZE)
    {
        return KR_NO_IMAGE;
    }
    const uint32_t dwLow = image.GetLowAddress();
    const uint32_t dwHigh = image.GetHighAddress();
    uint8_t* pBlock = session.m_blockBuffer.data();

    for (uint32_t dwAddress = dwLow; dwAddress < dwHigh; dwAddress += KERNEL_BLOCK_SIZE)
    {
        if (host.StopRequested())
        {
            return PROGRAM_ABORTED;
        }
        PostProgress(host, ProgramProgress(dwAddress, dwLow, dwHigh));
        if (!image.IsBlockBlank(dwAddress))
        {
            // Bytes the image cannot supply read as erased flash, never as the previous block.
            std::fill(pBlock, pBlock + KERNEL_BLOCK_SIZE, uint8_t{0xFF});
            image.ReadBlock(pBlock, dwAddress);
            const KernelResult nResult = kernel.WriteFlashBlock(pBlock, dwAddress, KERNEL_BLOCK_SIZE);
            if (nResult != KR_OK)
            {
                return nResult;
            }
        }
        if (dwHigh - dwAddress < KERNEL_BLOCK_SIZE)
        {
            break; // the last block; stepping on would wrap past 0xFFFFFFFF
        }
    }
    return KR_OK;
}

// Announces the phase; false when the run is to stop instead.
bool BeginPhase(IWorkerHost& host, EWorkerPhase phase)
{
    if (host.StopRequested())
    {
        return false;
    }
    PostStatus(host, STATUS_PHASE, phase);
    return true;
}

// Times the phases of a programming run on the worker's clock, for the update record.
class CPhaseTimer
{
public:
    CPhaseTimer(CUnitSession& session, IWorkerHost& host) : m_session(session), m_timer(false, &host.Clock())
    {
    }
    ~CPhaseTimer() { End(); }
    CPhaseTimer(const CPhaseTimer&) = delete;
    CPhaseTimer& operator=(const CPhaseTimer&) = delete;
    void Begin(const char* pszName)
    {
        End();
        m_pszName = pszName;
        m_timer.Start(true);
    }
    void End()
    {
        if (m_pszName != nullptr)
        {
            m_session.m_phaseSeconds.emplace_back(m_pszName, m_timer.ElapsedMilliseconds() / 1000.0);
            m_pszName = nullptr;
        }
    }

private:
    CUnitSession& m_session;
    CPerfTimer m_timer;
    const char* m_pszName = nullptr;
};

KernelResult RunPhases(CUnitSession& session, const CFirmwareImage& image, IWorkerHost& host,
                       CFlashKernel& kernel)
{
    CProgressForwarder progress(host);
    CPhaseTimer phase(session, host);

    if (host.StopRequested())
    {
        return PROGRAM_ABORTED;
    }
    KernelResult nResult = kernel.Ping();
    if (nResult != KR_OK)
    {
        return nResult;
    }
    if (!BeginPhase(host, PHASE_ERASE))
    {
        return PROGRAM_ABORTED;
    }
    phase.Begin("erase");
    nResult = kernel.EraseFlash(&progress);
    if (nResult != KR_OK)
    {
        return nResult;
    }
    if (!BeginPhase(host, PHASE_BLANK_CHECK))
    {
        return PROGRAM_ABORTED;
    }
    phase.Begin("blank_check");
    nResult = kernel.BlankCheckFlash(&progress);
    if (nResult != KR_OK)
    {
        return nResult;
    }
    if (!BeginPhase(host, PHASE_PROGRAM))
    {
        return PROGRAM_ABORTED;
    }
    phase.Begin("program");
    nResult = ProgramImage(session, image, host, kernel);
    if (nResult != KR_OK || !session.m_bVerify)
    {
        return nResult;
    }
    if (!BeginPhase(host, PHASE_VERIFY))
    {
        return PROGRAM_ABORTED;
    }
    phase.Begin("verify");
    const SVerifyResult verify =
        VerifyImage(kernel, image, &progress, [&host] { return host.StopRequested(); });
    session.m_bVerified = verify.nResult == KR_OK;
    session.m_dwFirstDifference = verify.dwFirstDifference;
    return verify.nResult;
}

KernelResult ProgramFlash(CUnitSession& session, const CFirmwareImage& image, IWorkerHost& host)
{
    const SChipDef& chip = session.m_chip;
    CFlashKernel kernel;
    kernel.SetClock(&host.Clock());
    ISerialIo& port = session.Port();
    port.SetBaudRate(chip.Baud2);
    kernel.AttachPort(&port);
    kernel.SetChip(chip);
    // The counts are taken however the run ends, a thrown port error included.
    struct SCounts
    {
        CUnitSession& session;
        CFlashKernel& kernel;
        ~SCounts()
        {
            session.m_dwBlocksWritten = kernel.GetBlocksWritten();
            session.m_dwCrcRetries = kernel.GetCrcRetries();
        }
    } counts{session, kernel};
    return RunPhases(session, image, host, kernel);
}

} // namespace

uint32_t ProgramProgress(uint32_t dwAddress, uint32_t dwLow, uint32_t dwHigh)
{
    const uint64_t qwSpan = uint64_t{dwHigh} - dwLow + 1;
    const uint64_t qwDone = uint64_t{dwAddress - dwLow};
    return static_cast<uint32_t>(qwDone * 100 / qwSpan);
}

unsigned SearchDeviceThread(CUnitSession& session, const CFirmwareImage& /*image*/, IWorkerHost& host)
{
    bool bFound = false;
    try
    {
        bFound = SearchPorts(session, host);
    }
    catch (...)
    {
        // The enumeration's error text, or a failing post: nothing was found.
        bFound = false;
    }
    ClosePortQuietly(session);
    if (!bFound)
    {
        session.SetCurrentPort(nullptr);
    }
    PostDone(host, bFound ? 1 : 0);
    return 0;
}

unsigned DownloadKernelThread(CUnitSession& session, const CFirmwareImage& /*image*/, IWorkerHost& host)
{
    bool bOk = false;
    try
    {
        bOk = DownloadKernel(session, host);
    }
    catch (...)
    {
        // The port failed underneath the exchange: the kernel is not known to be running.
        bOk = false;
    }
    session.m_bDownloadOk = bOk;
    PostDone(host, 0);
    return 0;
}

unsigned ProgramFlashThread(CUnitSession& session, const CFirmwareImage& image, IWorkerHost& host)
{
    session.m_dwBlocksWritten = 0;
    session.m_dwCrcRetries = 0;
    session.m_bVerified = false;
    session.m_dwFirstDifference = 0;
    session.m_phaseSeconds.clear();
    KernelResult nResult = PROGRAM_ABORTED;
    try
    {
        nResult = ProgramFlash(session, image, host);
    }
    catch (...)
    {
        nResult = PROGRAM_ABORTED;
    }
    session.m_nProgramResult = nResult;
    PostDone(host, 0);
    return 0;
}
