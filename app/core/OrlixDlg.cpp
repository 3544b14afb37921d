// COrlixDlg: construction, the command line, the dialog's event handlers and the state
// machine's step function.
#include "app/core/OrlixDlg.h"

#include "app/core/CommandLine.h"
#include "app/core/TextIds.h"
#include "app/core/Texts.h"
#include "app/core/Version.h"
#include "target/workers/Workers.h"

#include <cerrno>

SWorkerProcs DefaultWorkerProcs()
{
    return SWorkerProcs{&SearchDeviceThread, &DownloadKernelThread, &ProgramFlashThread};
}

COrlixDlg::COrlixDlg(IWizardView& view) : COrlixDlg(view, DefaultWorkerProcs()) {}

COrlixDlg::COrlixDlg(IWizardView& view, SWorkerProcs procs, std::unique_ptr<IUnitLine> pLine)
    : m_view(view), m_pages(view), m_procs(std::move(procs)), m_session(0, std::move(pLine)),
      m_runner(m_session, [&view](SWizardMessage msg) { view.PostWizardMessage(std::move(msg)); }),
      m_group([&view](SWizardMessage msg) { view.PostWizardMessage(std::move(msg)); })
{
}

COrlixDlg::~COrlixDlg()
{
    StopWorker();
}

void COrlixDlg::StopWorker()
{
    m_runner.Stop();
    m_group.Stop();
}

void COrlixDlg::ParseCommandLine(const std::string& strCmdLine)
{
    for (const SCommandLineOption& option : SplitCommandLine(strCmdLine))
    {
        const std::string& strName = option.strName;
        if (strName == "f" || strName == "F")
        {
            m_strCmdLineFile = option.strValue;
        }
        else if (strName == "a" || strName == "A")
        {
            m_bAuto = true;
        }
        else if (strName == "r" || strName == "R")
        {
            m_bRepeat = true;
        }
        else if ((strName == "p" || strName == "P") && !option.strValue.empty())
        {
            m_session.m_explicitPorts.push_back(option.strValue);
        }
        else if (strName == "g" || strName == "G")
        {
            m_bGroup = true;
        }
        else if (strName == "v" || strName == "V")
        {
            m_bVerify = true;
        }
        else if ((strName == "l" || strName == "L") && !option.strValue.empty())
        {
            m_strRecordFile = option.strValue;
        }
    }
    m_recorder.SetFile(m_strRecordFile);
    m_recorder.SetOptions(m_bAuto, m_bRepeat, m_bGroup, m_bVerify, m_session.m_explicitPorts);
}

void COrlixDlg::SetAppName(const std::string& strName)
{
    m_pages.SetAppName(strName);
}

std::string COrlixDlg::GetDialogTitle()
{
    return ORLIX_DIALOG_TITLE;
}

void COrlixDlg::OnInitDialog()
{
    m_pages.ShowFirmwareGroupTitle();
    m_nState = STATE_INIT;
    NextStep(0);
}

// A click counts only on a button the page shows, and only while the wizard waits for one:
// not while a worker runs and not while a step it posted to itself is still pending (a quick
// second click would otherwise start that step early, or a stale step run beside a worker).
void COrlixDlg::OnActionButton()
{
    if (!m_bClosed && !m_bBusy && m_nPendingNext == 0 && m_pages.GetRow() == ROW_ACTION)
    {
        NextStep(0);
    }
}

void COrlixDlg::OnYesButton()
{
    if (!m_bClosed && !m_bBusy && m_nPendingNext == 0 && m_pages.GetRow() == ROW_YES_NO)
    {
        NextStep(1);
    }
}

void COrlixDlg::OnNoButton()
{
    if (!m_bClosed && !m_bBusy && m_nPendingNext == 0 && m_pages.GetRow() == ROW_YES_NO)
    {
        NextStep(0);
    }
}

bool COrlixDlg::OnClose()
{
    if (m_bClosed)
    {
        return true;
    }
    if (m_bBusy)
    {
        m_pages.MessageBox(LoadText(IDS_CLOSE_REFUSED), EMsgBoxIcon::Information);
        return false;
    }
    m_bClosed = true;
    m_view.EndDialog();
    return true;
}

bool COrlixDlg::OnEndRequest()
{
    if (OnClose())
    {
        return true;
    }
    m_bEndRequested = true;
    return false;
}

void COrlixDlg::HandleMessage(const SWizardMessage& msg)
{
    const bool bOwnSession = msg.nSession == m_session.Index();
    if ((msg.nMsg == WM_WORKER_STATUS || msg.nMsg == WM_WORKER_DONE) &&
        (msg.nSession == GROUP_DONE_SESSION || m_group.OwnsSession(msg.nSession)))
    {
        OnGroupMessage(msg);
        return;
    }
    switch (msg.nMsg)
    {
    case WM_WORKER_STATUS:
        if (bOwnSession)
        {
            m_pages.ShowWorkerStatus(msg);
        }
        break;
    case WM_WORKER_DONE:
        if (bOwnSession)
        {
            OnWorkerDone();
        }
        break;
    case WM_WIZARD_NEXT:
        OnWizardNext();
        break;
    default:
        break;
    }
}

int COrlixDlg::GetExitStatus() const
{
    if (m_bPortError)
    {
        return 2;
    }
    return (m_bClosed && m_bLastUpdateOk) ? 0 : 1;
}

namespace
{
std::vector<std::string> FailedPorts(const std::vector<SPortProbeFailure>& failures, int nError)
{
    std::vector<std::string> paths;
    for (const SPortProbeFailure& failure : failures)
    {
        if (failure.nError == nError)
        {
            paths.push_back(failure.devicePath);
        }
    }
    return paths;
}
} // namespace

std::vector<std::string> COrlixDlg::GetAccessDeniedPorts() const
{
    return FailedPorts(m_probeFailures, EACCES);
}

std::vector<std::string> COrlixDlg::GetPortsInUse() const
{
    return FailedPorts(m_probeFailures, EBUSY);
}

bool COrlixDlg::IsUnitNotFoundPage() const
{
    return !m_bClosed && !m_bBusy && m_nState == STATE_SEARCH && m_bNotFoundPage;
}

void COrlixDlg::NextStep(int nAnswer)
{
    const int nStateBefore = m_nState;
    const bool bOutcome = DoStep(nAnswer);
    const STransition next = NextTransition(nStateBefore, bOutcome, m_bAuto);
    m_nState = next.nState;
    switch (next.then)
    {
    case EThen::Continue:
        ContinueWithNextStep();
        break;
    case EThen::PauseThenContinue:
        m_view.Pause(AUTO_START_PAUSE_MS);
        ContinueWithNextStep();
        break;
    case EThen::Close:
        CloseWizard();
        break;
    case EThen::Wait:
    case EThen::PauseIfAuto:
        break;
    }
}

// The step of the current state; its outcome selects the row's transition.
bool COrlixDlg::DoStep(int nAnswer)
{
    switch (m_nState)
    {
    case STATE_INIT:
        m_pages.ShowWelcomePage();
        if (!m_strCmdLineFile.empty())
        {
            m_bFirmwareOk = LoadFirmware();
        }
        return m_bAuto;
    case STATE_CHECK_FIRMWARE:
        if (!m_bFirmwareOk)
        {
            m_pages.ShowFirmwarePage();
        }
        return m_bFirmwareOk;
    case STATE_SELECT_FIRMWARE:
        m_bFirmwareOk = LoadFirmware();
        return m_bFirmwareOk;
    case STATE_CONNECT:
        m_bNotFoundPage = false;
        m_pages.ShowConnectPage();
        return true;
    case STATE_SEARCH:
        StartSearch();
        return true;
    case STATE_SEARCH_RESULT:
        return m_bGroup ? ShowGroupSearchResult() : ShowSearchResult();
    case STATE_DOWNLOAD:
        return m_bGroup ? StartGroupTransfer() : StartDownload();
    case STATE_DOWNLOAD_RESULT:
        return ShowDownloadResult();
    case STATE_PROGRAM:
        StartProgramming();
        return true;
    case STATE_PROGRAM_RESULT:
    {
        if (m_bGroup)
        {
            return ShowGroupResult() && !m_bRepeat;
        }
        const bool bOk = ShowProgrammingResult();
        if (bOk && m_bRepeat)
        {
            m_pages.AskQuestion(IDS_FURTHER_UNITS);
        }
        return bOk && !m_bRepeat;
    }
    case STATE_QUESTION:
        return nAnswer == 1;
    case STATE_PORT_ERROR:
        WriteRecord(OUTCOME_PORT_ERROR, m_session.GetCurrentPort(), nullptr, m_phases);
        m_bPortError = true;
        m_pages.MessageBox(PORT_ERROR_TEXT, EMsgBoxIcon::Exclamation);
        return true;
    default: // STATE_WELCOME, STATE_CLOSE, and values not in the table
        return true;
    }
}

void COrlixDlg::ContinueWithNextStep()
{
    ++m_nPendingNext;
    m_view.PostWizardMessage(SWizardMessage{WM_WIZARD_NEXT, 0, 0, {}});
}

void COrlixDlg::CloseWizard()
{
    OnClose();
}

void COrlixDlg::OnWizardNext()
{
    if (m_nPendingNext > 0)
    {
        --m_nPendingNext;
    }
    // A step posted before a worker was started (by a click that came first) is stale: the
    // state can only be left through that worker's WM_WORKER_DONE.
    if (m_bClosed || m_bBusy)
    {
        return;
    }
    NextStep(0);
}

void COrlixDlg::OnWorkerDone()
{
    // Only the end of the worker this dialog started moves the wizard on.
    if (m_bClosed || !m_bBusy)
    {
        return;
    }
    m_bBusy = false;
    // Posting WM_WORKER_DONE is the worker's last act; the thread is about to end.
    m_runner.Join();
    const EUnitStep step = m_runner.GetStep();
    if (step == EUnitStep::Search)
    {
        m_probeFailures = m_session.GetProbeFailures();
    }
    if (step != EUnitStep::Program)
    {
        EndTimedStep(step == EUnitStep::Search ? "search" : "download");
    }
    // Asked to end while the search or the download ran: the unit's flash is still untouched,
    // and no further transfer may start.
    if (m_bEndRequested && step != EUnitStep::Program)
    {
        ClosePort();
        CloseWizard();
        return;
    }
    NextStep(0);
    if (m_bEndRequested)
    {
        CloseWizard();
    }
}
