// COrlixDlg: construction and destruction, the command line, the dialog's event handlers and
// what the worker threads reach through IWorkerHost.
#include "app/core/OrlixDlg.h"

#include "app/core/CommandLine.h"
#include "app/core/Texts.h"
#include "app/core/Version.h"
#include "target/workers/Workers.h"

#include <cerrno>

SWorkerProcs DefaultWorkerProcs()
{
    return SWorkerProcs{&SearchDeviceThread, &DownloadKernelThread, &ProgramFlashThread};
}

COrlixDlg::COrlixDlg(IWizardView& view) : COrlixDlg(view, DefaultWorkerProcs()) {}

COrlixDlg::COrlixDlg(IWizardView& view, SWorkerProcs procs) : m_view(view), m_procs(std::move(procs)) {}

COrlixDlg::~COrlixDlg()
{
    StopWorker();
}

void COrlixDlg::StopWorker()
{
    if (!m_worker.joinable())
    {
        return;
    }
    // A worker never outlives the dialog: it sees the stop request at its next check, its
    // waits on the clock end, and a blocking read on the port throws.
    m_bStopRequested = true;
    m_clock.Cancel();
    m_holder.m_port.Interrupt();
    JoinWorker();
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
            m_bAuto = 1;
        }
        else if (strName == "r" || strName == "R")
        {
            m_bRepeat = 1;
        }
        else if ((strName == "p" || strName == "P") && !option.strValue.empty())
        {
            m_holder.m_explicitPorts.push_back(option.strValue);
        }
    }
}

void COrlixDlg::SetAppName(const std::string& strName)
{
    m_strAppName = strName;
}

std::string COrlixDlg::GetDialogTitle()
{
    return ORLIX_DIALOG_TITLE;
}

void COrlixDlg::OnInitDialog()
{
    m_view.SetControlText(IDC_FWGROUP, ::LoadText(117));
    m_nState = STATE_INIT;
    NextStep(0);
}

// A click counts only on a button the page shows, and only while the wizard waits for one:
// not while a worker runs and not while a step it posted to itself is still pending (a quick
// second click would otherwise start that step early, or a stale step run beside a worker).
void COrlixDlg::OnActionButton()
{
    if (m_bClosed || m_bBusy || m_nPendingNext > 0 || m_nRow != ROW_ACTION)
    {
        return;
    }
    NextStep(0);
}

void COrlixDlg::OnYesButton()
{
    if (m_bClosed || m_bBusy || m_nPendingNext > 0 || m_nRow != ROW_YES_NO)
    {
        return;
    }
    NextStep(1);
}

void COrlixDlg::OnNoButton()
{
    if (m_bClosed || m_bBusy || m_nPendingNext > 0 || m_nRow != ROW_YES_NO)
    {
        return;
    }
    NextStep(0);
}

bool COrlixDlg::OnClose()
{
    if (m_bClosed)
    {
        return true;
    }
    if (m_bBusy)
    {
        MessageBox(::LoadText(102), EMsgBoxIcon::Information);
        return false;
    }
    m_bClosed = true;
    m_view.EndDialog();
    return true;
}

void COrlixDlg::HandleMessage(const SWizardMessage& msg)
{
    switch (msg.nMsg)
    {
    case WM_WORKER_STATUS:
        OnWorkerStatus(msg);
        break;
    case WM_WORKER_DONE:
        OnWorkerDone(msg);
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

// IWorkerHost

void COrlixDlg::PostWorkerMessage(SWizardMessage msg)
{
    // One WM_WORKER_DONE per worker; a second one would move the wizard on twice.
    if (msg.nMsg == WM_WORKER_DONE && m_bWorkerDonePosted.exchange(true))
    {
        return;
    }
    m_view.PostWizardMessage(std::move(msg));
}

void COrlixDlg::UpdatePortList()
{
    m_holder.UpdatePortList();
}

std::vector<SSerInfo>& COrlixDlg::Ports()
{
    return m_holder.m_ports;
}

SSerInfo* COrlixDlg::GetCurrentPort() const
{
    return m_holder.m_currentPort;
}

void COrlixDlg::SetCurrentPort(SSerInfo* pPort)
{
    m_holder.m_currentPort = pPort;
}

bool COrlixDlg::OpenPort()
{
    return m_holder.OpenPort();
}

void COrlixDlg::ClosePort()
{
    m_holder.ClosePort();
}

ISerialIo& COrlixDlg::Port()
{
    return m_holder.m_port;
}

const SChipDef& COrlixDlg::Chip() const
{
    return m_chip;
}

CFirmwareImage& COrlixDlg::Image()
{
    return m_image;
}

uint8_t* COrlixDlg::BlockBuffer()
{
    return m_blockBuffer;
}

void COrlixDlg::SetDownloadOk(int bOk)
{
    m_bDownloadOk = bOk != 0 ? 1 : 0;
}

void COrlixDlg::SetProgramResult(int nResult)
{
    m_nProgramResult = nResult;
}

std::string COrlixDlg::LoadText(unsigned nId) const
{
    return ::LoadText(nId);
}

IProtocolClock& COrlixDlg::Clock()
{
    return m_clock;
}

bool COrlixDlg::StopRequested() const
{
    return m_bStopRequested.load();
}
