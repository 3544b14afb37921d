#include "app/core/UnitGroup.h"

#include "firmware/FirmwareImage.h"
#include "target/ChipDef.h"

#include <algorithm>

bool CUnitGroup::StartSearch(const std::vector<SSerInfo>& ports, const SChipDef& chip,
                             const WorkerProc& search, const CFirmwareImage& image)
{
    Stop();
    m_units.clear();
    m_units.reserve(ports.size());
    for (const SSerInfo& port : ports)
    {
        SGroupUnit& unit = m_units.emplace_back();
        unit.port = port;
        const auto nIndex = static_cast<unsigned>(FIRST_SESSION + m_units.size() - 1);
        unit.pSession = std::make_unique<CUnitSession>(nIndex, MakeSerialLine());
        unit.pSession->m_chip = chip;
        // The session's own list is this one port: its search is the usual five passes over it.
        unit.pSession->m_explicitPorts = {port.devicePath};
        unit.pRunner = std::make_unique<CWorkerRunner>(*unit.pSession, m_post);
    }
    for (SGroupUnit& unit : m_units)
    {
        Start(unit, EUnitStep::Search, search, image);
    }
    return !m_units.empty();
}

bool CUnitGroup::KeepFound()
{
    std::erase_if(m_units, [](const SGroupUnit& unit) { return !unit.pSession->IsFound(); });
    return !m_units.empty();
}

std::size_t CUnitGroup::StartTransfer(const WorkerProc& download, const CFirmwareImage& image, bool bVerify)
{
    std::size_t nStarted = 0;
    for (SGroupUnit& unit : m_units)
    {
        unit.pSession->m_bVerify = bVerify;
        bool bOpen = false;
        try
        {
            bOpen = unit.pSession->OpenPort();
        }
        catch (...)
        {
            bOpen = false;
        }
        if (!bOpen)
        {
            unit.outcome = EUnitOutcome::PortError;
            continue;
        }
        Start(unit, EUnitStep::Download, download, image);
        ++nStarted;
    }
    return nStarted;
}

bool CUnitGroup::OnWorkerDone(unsigned nSession, const WorkerProc& program, const CFirmwareImage& image)
{
    SGroupUnit* pUnit = Find(nSession);
    if (pUnit != nullptr && pUnit->bBusy)
    {
        SGroupUnit& unit = *pUnit;
        unit.bBusy = false;
        unit.pRunner->Join();
        CUnitSession& session = *unit.pSession;
        switch (unit.pRunner->GetStep())
        {
        case EUnitStep::Search:
            EndStep(unit, "search");
            break;
        case EUnitStep::Download:
            EndStep(unit, "download");
            if (session.m_bDownloadOk)
            {
                Start(unit, EUnitStep::Program, program, image);
            }
            else
            {
                session.ClosePort();
                unit.outcome = EUnitOutcome::DownloadFailed;
            }
            break;
        case EUnitStep::Program:
            // Closed before the result shows, so a unit unplugged on seeing it is no longer in use.
            session.ClosePort();
            unit.outcome =
                session.m_nProgramResult == 0 ? EUnitOutcome::Updated : EUnitOutcome::ProgramFailed;
            break;
        }
    }
    return !IsBusy();
}

const SGroupUnit* CUnitGroup::OnWorkerStatus(const SWizardMessage& msg)
{
    SGroupUnit* pUnit = Find(msg.nSession);
    if (pUnit == nullptr)
    {
        return nullptr;
    }
    if (msg.wParam == STATUS_PHASE)
    {
        pUnit->nPhase = static_cast<int>(msg.lParam);
        pUnit->nPercent = 0;
    }
    else if (msg.wParam == STATUS_PROGRESS)
    {
        pUnit->nPercent = static_cast<int>(std::clamp<intptr_t>(msg.lParam, 0, 100));
    }
    return pUnit;
}

int CUnitGroup::SearchProgress() const
{
    if (m_units.empty())
    {
        return 0;
    }
    int nSum = 0;
    for (const SGroupUnit& unit : m_units)
    {
        nSum += unit.bBusy ? unit.nPercent : 100;
    }
    return nSum / static_cast<int>(m_units.size());
}

bool CombineTransferProgress(const std::vector<SUnitProgress>& units, int& nStage, int& nPercent)
{
    const SUnitProgress* pEarliest = nullptr;
    for (const SUnitProgress& unit : units)
    {
        if (unit.bRunning && (pEarliest == nullptr || unit.nStage < pEarliest->nStage))
        {
            pEarliest = &unit;
        }
    }
    if (pEarliest == nullptr)
    {
        return false;
    }
    nStage = pEarliest->nStage;
    int nSum = 0;
    for (const SUnitProgress& unit : units)
    {
        nSum += unit.bRunning && unit.nStage == nStage ? std::clamp(unit.nPercent, 0, 100) : 100;
    }
    nPercent = nSum / static_cast<int>(units.size());
    return true;
}

bool CUnitGroup::TransferProgress(int& nStage, int& nPercent) const
{
    std::vector<SUnitProgress> units;
    for (const SGroupUnit& unit : m_units)
    {
        // A unit between its download and its first phase report is about to erase.
        const bool bDownload = unit.pRunner->GetStep() == EUnitStep::Download;
        units.push_back({unit.bBusy, bDownload ? 0 : std::max<int>(unit.nPhase, PHASE_ERASE), unit.nPercent});
    }
    return CombineTransferProgress(units, nStage, nPercent);
}

void CUnitGroup::Stop()
{
    for (SGroupUnit& unit : m_units)
    {
        unit.pRunner->Stop();
    }
}

bool CUnitGroup::IsBusy() const
{
    return std::any_of(m_units.begin(), m_units.end(), [](const SGroupUnit& unit) { return unit.bBusy; });
}

std::size_t CUnitGroup::CountUpdated() const
{
    return static_cast<std::size_t>(std::count_if(m_units.begin(), m_units.end(),
                                                  [](const SGroupUnit& unit)
                                                  { return unit.outcome == EUnitOutcome::Updated; }));
}

SGroupUnit* CUnitGroup::Find(unsigned nSession)
{
    // Units dropped by KeepFound leave gaps in the numbering: look the index up.
    for (SGroupUnit& unit : m_units)
    {
        if (unit.pSession->Index() == nSession)
        {
            return &unit;
        }
    }
    return nullptr;
}

const SGroupUnit* CUnitGroup::Find(unsigned nSession) const
{
    return const_cast<CUnitGroup*>(this)->Find(nSession);
}

void CUnitGroup::Start(SGroupUnit& unit, EUnitStep step, const WorkerProc& proc, const CFirmwareImage& image)
{
    unit.bBusy = true;
    unit.nPhase = 0;
    unit.nPercent = 0;
    unit.stepStart = std::chrono::steady_clock::now();
    unit.pRunner->Start(step, proc, image);
}

void CUnitGroup::EndStep(SGroupUnit& unit, const char* pszPhase)
{
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - unit.stepStart;
    unit.phases.emplace_back(pszPhase, elapsed.count());
}
