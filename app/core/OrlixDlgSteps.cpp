// COrlixDlg's step actions: choosing and loading the firmware, starting the workers and
// reading their results from the unit session.
#include "app/core/OrlixDlg.h"

#include "app/core/TextIds.h"
#include "app/core/Texts.h"
#include "target/workers/Workers.h"

#include <cstdio>
#include <fstream>

namespace
{

// The detail line of a failed programming run: the first differing address of a read-back.
std::string FailureDetail(const CUnitSession& session)
{
    if (session.m_nProgramResult != KR_VERIFY_FAILED)
    {
        return {};
    }
    char szAddress[16];
    std::snprintf(szAddress, sizeof szAddress, "0x%06X", session.m_dwFirstDifference);
    return FormatText(LoadText(IDS_VERIFY_DIFFERS), {szAddress});
}

// What a unit of the group shows on the result page.
std::string UnitResultLine(const SGroupUnit& unit)
{
    const std::string& strPort = unit.port.devicePath;
    switch (unit.outcome)
    {
    case EUnitOutcome::Updated:
        return FormatText(LoadText(IDS_UNIT_UPDATED), {strPort});
    case EUnitOutcome::PortError:
        return FormatText(LoadText(IDS_UNIT_PORT_ERROR), {strPort});
    case EUnitOutcome::DownloadFailed:
        return FormatText(LoadText(IDS_UNIT_DOWNLOAD_FAILED), {strPort});
    default:
    {
        const std::string strDetail = FailureDetail(*unit.pSession);
        return FormatText(LoadText(IDS_UNIT_PROGRAM_FAILED), {strPort}) +
               (strDetail.empty() ? "" : " - " + strDetail);
    }
    }
}

const char* UnitOutcomeName(EUnitOutcome outcome)
{
    switch (outcome)
    {
    case EUnitOutcome::Updated:
        return OUTCOME_UPDATED;
    case EUnitOutcome::PortError:
        return OUTCOME_PORT_ERROR;
    case EUnitOutcome::DownloadFailed:
        return OUTCOME_DOWNLOAD_FAILED;
    default:
        return OUTCOME_PROGRAM_FAILED;
    }
}

} // namespace

bool COrlixDlg::ChooseFirmwareFile()
{
    if (!m_strCmdLineFile.empty())
    {
        // Only a test that the path can be opened; every attempt tests the same path again.
        std::ifstream file(m_strCmdLineFile, std::ios::binary);
        if (!file.is_open())
        {
            m_pages.MessageBox(PATH_MISSING_TEXT, EMsgBoxIcon::Exclamation);
            return false;
        }
        m_strFirmwareFile = m_strCmdLineFile;
        return true;
    }
    std::string strPath;
    if (!m_view.OpenFileDialog(m_strFirmwareFile, FIRMWARE_FILE_FILTER, strPath))
    {
        return false;
    }
    m_strFirmwareFile = strPath;
    return true;
}

bool COrlixDlg::LoadFirmware()
{
    if (!ChooseFirmwareFile())
    {
        return false;
    }
    m_pages.ShowFirmwareFile(m_strFirmwareFile);

    m_view.BeginWaitCursor();
    const int nCode = m_image.Load(m_strFirmwareFile);
    m_view.EndWaitCursor();

    switch (nCode)
    {
    case LOAD_OK:
        break;
    case LOAD_CANNOT_OPEN:
    case LOAD_CANNOT_SEEK:
        m_pages.ShowFirmwareRefused(IDS_FILE_CANNOT_OPEN);
        return false;
    case LOAD_CORRUPT:
        m_pages.ShowFirmwareRefused(IDS_FILE_CORRUPT);
        return false;
    default:
        m_pages.ShowFirmwareRefused(IDS_FILE_CANNOT_LOAD);
        return false;
    }
    if (!m_session.m_chip.SelectChip(m_image.GetProcessor()))
    {
        m_pages.ShowFirmwareRefused(IDS_NO_PROCESSOR);
        return false;
    }
    m_pages.ShowFirmware(m_image.GetName(), m_image.GetVersion());
    m_recorder.SetFirmware(m_strFirmwareFile, m_image);
    return true;
}

void COrlixDlg::StartWorker(EUnitStep step)
{
    m_pages.ShowWorkerPage(step);
    m_bBusy = true;
    m_stepStart = std::chrono::steady_clock::now();
    m_session.m_bVerify = m_bVerify;
    const WorkerProc& proc = step == EUnitStep::Search
                                 ? m_procs.search
                                 : (step == EUnitStep::Download ? m_procs.download : m_procs.program);
    m_runner.Start(step, proc, m_image);
}

void COrlixDlg::StartSearch()
{
    m_bNotFoundPage = false;
    // A new unit is being tried; the success of the one before no longer describes the run.
    m_bLastUpdateOk = false;
    m_recorder.NextAttempt();
    m_phases.clear();
    if (m_bGroup)
    {
        StartGroupSearch();
        return;
    }
    StartWorker(EUnitStep::Search);
}

bool COrlixDlg::ShowSearchResult()
{
    const bool bFound = m_session.IsFound();
    if (!bFound)
    {
        WriteRecord(OUTCOME_NOT_FOUND, nullptr, nullptr, m_phases);
    }
    m_pages.ShowSearchResult(bFound, m_bAuto);
    m_bNotFoundPage = !bFound;
    return bFound;
}

bool COrlixDlg::StartDownload()
{
    if (!OpenPort())
    {
        return false;
    }
    StartWorker(EUnitStep::Download);
    return true;
}

void COrlixDlg::StartProgramming()
{
    StartWorker(EUnitStep::Program);
}

bool COrlixDlg::ShowDownloadResult()
{
    const bool bOk = m_session.m_bDownloadOk;
    if (!bOk)
    {
        ClosePort();
        WriteRecord(OUTCOME_DOWNLOAD_FAILED, m_session.GetCurrentPort(), &m_session, m_phases);
    }
    m_pages.ShowDownloadResult(bOk);
    return bOk;
}

bool COrlixDlg::ShowProgrammingResult()
{
    // The port is closed before the result is shown, so a unit unplugged on seeing it is
    // no longer in use.
    ClosePort();
    const bool bOk = m_session.m_nProgramResult == KR_OK;
    WriteRecord(bOk ? OUTCOME_UPDATED : OUTCOME_PROGRAM_FAILED, m_session.GetCurrentPort(), &m_session,
                m_phases);
    m_pages.ShowProgrammingResult(bOk, FailureDetail(m_session));
    m_bLastUpdateOk = bOk;
    return bOk;
}

bool COrlixDlg::OpenPort()
{
    return m_session.OpenPort();
}

void COrlixDlg::ClosePort()
{
    m_session.ClosePort();
}

void COrlixDlg::EndTimedStep(const char* pszName)
{
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - m_stepStart;
    m_phases.emplace_back(pszName, elapsed.count());
}

void COrlixDlg::WriteRecord(const char* pszOutcome, const SSerInfo* pPort, const CUnitSession* pSession,
                            const std::vector<std::pair<std::string, double>>& phases)
{
    std::string strError;
    if (!m_recorder.Write(m_recorder.Make(pszOutcome, pPort, pSession, phases), strError))
    {
        m_pages.MessageBox(FormatText(LoadText(IDS_RECORD_FAILED), {strError}), EMsgBoxIcon::Exclamation);
    }
}

// --- several units at once -------------------------------------------------------------------

void COrlixDlg::StartGroupSearch()
{
    m_pages.ShowWorkerPage(EUnitStep::Search);
    m_bBusy = true;
    m_stepStart = std::chrono::steady_clock::now();
    // The list is made once here; each unit's search then tries its own port alone.
    try
    {
        m_session.UpdatePortList();
    }
    catch (const std::string&)
    {
        m_session.Ports().clear(); // the enumeration failed: nothing to search
    }
    m_probeFailures = m_session.GetProbeFailures();
    if (!m_group.StartSearch(m_session.Ports(), m_session.m_chip, m_procs.search, m_image))
    {
        PostGroupDone();
    }
}

bool COrlixDlg::ShowGroupSearchResult()
{
    const bool bFound = m_group.KeepFound();
    m_bNotFoundPage = !bFound;
    if (!bFound)
    {
        WriteRecord(OUTCOME_NOT_FOUND, nullptr, nullptr, m_phases);
        m_pages.ShowSearchResult(false, m_bAuto);
        return false;
    }
    std::vector<std::string> names;
    for (const SGroupUnit& unit : m_group.Units())
    {
        names.push_back(unit.port.devicePath);
    }
    m_pages.ShowUnitsFound(names, m_bAuto);
    return true;
}

bool COrlixDlg::StartGroupTransfer()
{
    m_pages.ShowWorkerPage(EUnitStep::Program);
    m_bBusy = true;
    if (m_group.StartTransfer(m_procs.download, m_image, m_bVerify) == 0)
    {
        PostGroupDone();
    }
    return true;
}

bool COrlixDlg::ShowGroupResult()
{
    std::vector<std::string> lines;
    for (const SGroupUnit& unit : m_group.Units())
    {
        std::vector<std::pair<std::string, double>> phases = m_phases; // the search, shared
        phases.insert(phases.end(), unit.phases.begin() + (unit.phases.empty() ? 0 : 1), unit.phases.end());
        WriteRecord(UnitOutcomeName(unit.outcome), &unit.port, unit.pSession.get(), phases);
        lines.push_back(UnitResultLine(unit));
    }
    const std::size_t nUpdated = m_group.CountUpdated();
    m_bLastUpdateOk = nUpdated == m_group.Units().size();
    m_pages.ShowGroupResult(lines, nUpdated, m_bRepeat);
    return m_bLastUpdateOk;
}

void COrlixDlg::OnGroupMessage(const SWizardMessage& msg)
{
    if (m_bClosed)
    {
        return;
    }
    if (msg.nMsg == WM_WORKER_STATUS)
    {
        const SGroupUnit* pUnit = m_group.OnWorkerStatus(msg);
        if (pUnit == nullptr)
        {
            return;
        }
        if (m_nState == STATE_SEARCH_RESULT)
        {
            m_pages.ShowProgress(m_group.SearchProgress());
        }
        else if (msg.wParam == STATUS_PHASE || msg.wParam == STATUS_PROGRESS)
        {
            m_pages.ShowUnitStatus(pUnit->port.devicePath, pUnit->pRunner->GetStep(), pUnit->nPhase,
                                   pUnit->nPercent);
            ShowGroupProgress();
        }
        return;
    }
    const bool bEnded =
        msg.nSession == GROUP_DONE_SESSION || m_group.OnWorkerDone(msg.nSession, m_procs.program, m_image);
    if (const SGroupUnit* pUnit = m_group.Unit(msg.nSession);
        pUnit != nullptr && pUnit->outcome != EUnitOutcome::Running)
    {
        m_pages.ShowUnitStatus(pUnit->port.devicePath, EUnitStep::Program, 0, -1, UnitResultLine(*pUnit));
        ShowGroupProgress();
    }
    if (bEnded && m_bBusy && !m_group.IsBusy())
    {
        OnGroupDone();
    }
}

void COrlixDlg::ShowGroupProgress()
{
    int nStage = 0;
    int nPercent = 0;
    if (m_group.TransferProgress(nStage, nPercent))
    {
        m_pages.ShowGroupProgress(nStage, nPercent);
    }
}

void COrlixDlg::OnGroupDone()
{
    m_bBusy = false;
    if (m_nState == STATE_SEARCH_RESULT)
    {
        EndTimedStep("search");
        // Asked to end during the search: every unit is still untouched.
        if (m_bEndRequested)
        {
            CloseWizard();
            return;
        }
        NextStep(0);
        return;
    }
    // The transfer is over for every unit: the result page lists them all.
    m_nState = STATE_PROGRAM_RESULT;
    NextStep(0);
    if (m_bEndRequested)
    {
        CloseWizard();
    }
}

void COrlixDlg::PostGroupDone()
{
    m_view.PostWizardMessage(SWizardMessage{WM_WORKER_DONE, 0, 0, {}, GROUP_DONE_SESSION});
}
