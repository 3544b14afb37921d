// Worker steps: starting the three worker threads, showing their results, and the dialog's
// side of the messages they post.
#include "app/core/OrlixDlg.h"

#include "app/core/Texts.h"
#include "target/FlashKernel.h"

#include <system_error>

int COrlixDlg::StartSearch()
{
    m_bNotFoundPage = false;
    // A new unit is being tried; the success of the one before no longer describes the run.
    m_bLastUpdateOk = false;
    StartWorker(EWorker::Search, 125, std::string());
    return 1;
}

int COrlixDlg::ShowSearchResult(int bAuto)
{
    ShowButtonRow(ROW_ACTION);
    const bool bFound = m_holder.m_currentPort != nullptr;
    if (bFound)
    {
        SetMessage(126, MSG_PLAIN);
        if (bAuto == 0)
        {
            SetTextId(IDC_INFOLINE3, 127);
            SetTextId(IDC_ACTION, 104);
        }
        else
        {
            SetTextId(IDC_INFOLINE3, 128);
            m_view.SetProgressPos(0);
            ShowButtonRow(ROW_PROGRESS);
        }
    }
    else
    {
        SetMessage(129, MSG_WARNING);
        SetTextId(IDC_INFOLINE3, 130);
        SetTextId(IDC_ACTION, 104);
    }
    m_bNotFoundPage = !bFound;
    return bFound ? 1 : 0;
}

int COrlixDlg::StartDownload()
{
    if (!OpenPort())
    {
        return 0;
    }
    StartWorker(EWorker::Download, 131, ::LoadText(132));
    return 1;
}

int COrlixDlg::ShowDownloadResult()
{
    ShowButtonRow(ROW_ACTION);
    if (m_bDownloadOk != 0)
    {
        SetMessage(133, MSG_PLAIN);
        SetText(IDC_INFOLINE3, std::string());
    }
    else
    {
        ClosePort();
        SetMessage(134, MSG_WARNING);
        AskQuestion(135);
    }
    return m_bDownloadOk;
}

int COrlixDlg::StartProgramming()
{
    StartWorker(EWorker::Program, 131, std::string());
    return 1;
}

int COrlixDlg::ShowProgrammingResult()
{
    // The port is closed before the result is shown, so a unit unplugged on seeing it is
    // no longer in use.
    ClosePort();
    m_view.SetProgressPos(0);
    ShowButtonRow(ROW_ACTION);
    const bool bOk = m_nProgramResult == 0;
    if (!bOk)
    {
        SetMessage(145, MSG_WARNING);
        AskQuestion(135);
    }
    else
    {
        SetMessage(136, MSG_INFO);
        SetTextId(IDC_INFOLINE3, 137);
        SetTextId(IDC_ACTION, 107);
    }
    m_bLastUpdateOk = bOk;
    return bOk ? 1 : 0;
}

void COrlixDlg::OnWorkerStatus(const SWizardMessage& msg)
{
    switch (msg.wParam)
    {
    case STATUS_PROGRESS:
    {
        intptr_t nPercent = msg.lParam;
        nPercent = nPercent < 0 ? 0 : (nPercent > 100 ? 100 : nPercent);
        m_view.SetProgressRange(0, 100);
        m_view.SetProgressPos(static_cast<int>(nPercent));
        break;
    }
    case STATUS_INFOLINE1:
        SetText(IDC_INFOLINE1, msg.strText);
        break;
    case STATUS_INFOLINE2:
        SetMessage(msg.strText, MSG_PLAIN);
        break;
    case STATUS_INFOLINE3:
        SetText(IDC_INFOLINE3, msg.strText);
        break;
    default:
        break;
    }
}

void COrlixDlg::OnWorkerDone(const SWizardMessage& /*msg*/)
{
    // Only the end of the worker this dialog started moves the wizard on.
    if (m_bClosed || m_bBusy == 0)
    {
        return;
    }
    m_bBusy = 0;
    // Posting WM_WORKER_DONE is the worker's last act; the thread is about to end.
    JoinWorker();
    if (m_eWorker == EWorker::Search)
    {
        m_probeFailures = m_holder.m_probeFailures;
    }
    NextStep(0);
}

void COrlixDlg::StartWorker(EWorker kind, unsigned nMessageId, const std::string& strDetail)
{
    m_view.SetProgressPos(0);
    ShowButtonRow(ROW_PROGRESS);
    SetMessage(nMessageId, MSG_PLAIN);
    SetText(IDC_INFOLINE3, strDetail);
    m_bBusy = 1;

    JoinWorker();
    m_eWorker = kind;
    m_bWorkerDonePosted = false;
    const WorkerProc* pProc = &m_procs.search;
    if (kind == EWorker::Download)
    {
        pProc = &m_procs.download;
    }
    else if (kind == EWorker::Program)
    {
        pProc = &m_procs.program;
    }
    try
    {
        m_worker = std::thread([this, kind, proc = *pProc] { RunWorker(kind, proc); });
    }
    catch (const std::system_error&)
    {
        // No thread: the step fails as the worker would have, and the wizard goes on to
        // its result page.
        SetWorkerFailed(kind);
        PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, 0, {}});
    }
}

void COrlixDlg::RunWorker(EWorker kind, const WorkerProc& proc)
{
    try
    {
        if (proc)
        {
            proc(this);
        }
    }
    catch (...)
    {
        // Reported below as a failed step; nothing may leave a worker thread.
    }
    // A worker that ended without WM_WORKER_DONE would leave the dialog busy for good.
    if (!m_bWorkerDonePosted.load())
    {
        SetWorkerFailed(kind);
        PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, 0, {}});
    }
}

void COrlixDlg::SetWorkerFailed(EWorker kind)
{
    switch (kind)
    {
    case EWorker::Search:
        SetCurrentPort(nullptr);
        break;
    case EWorker::Download:
        SetDownloadOk(0);
        break;
    case EWorker::Program:
        SetProgramResult(KR_UNKNOWN_ERROR);
        break;
    }
}

void COrlixDlg::JoinWorker()
{
    if (m_worker.joinable())
    {
        m_worker.join();
    }
}
