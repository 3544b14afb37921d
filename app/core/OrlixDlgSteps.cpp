// The wizard's state machine: NextStep does one row of the state table per call.
#include "app/core/OrlixDlg.h"

void COrlixDlg::NextStep(int nAnswer)
{
    switch (m_nState)
    {
    case STATE_INIT:
        ShowWelcomePage();
        if (!m_strCmdLineFile.empty())
        {
            m_bFirmwareOk = LoadFirmware();
        }
        if (m_bAuto != 0)
        {
            m_nState = STATE_CHECK_FIRMWARE;
            ContinueWithNextStep();
        }
        else
        {
            m_nState = STATE_WELCOME;
        }
        break;

    case STATE_WELCOME:
        m_nState = STATE_CHECK_FIRMWARE;
        ContinueWithNextStep();
        break;

    case STATE_CHECK_FIRMWARE:
        if (m_bFirmwareOk != 0)
        {
            m_nState = STATE_CONNECT;
            ContinueWithNextStep();
        }
        else
        {
            ShowFirmwarePage();
            m_nState = STATE_SELECT_FIRMWARE;
        }
        break;

    case STATE_SELECT_FIRMWARE:
        m_bFirmwareOk = LoadFirmware();
        if (m_bFirmwareOk != 0)
        {
            m_nState = STATE_CONNECT;
            ContinueWithNextStep();
        }
        break;

    case STATE_CONNECT:
        ShowConnectPage();
        m_nState = STATE_SEARCH;
        break;

    case STATE_SEARCH:
        StartSearch();
        m_nState = STATE_SEARCH_RESULT;
        break;

    case STATE_SEARCH_RESULT:
        if (ShowSearchResult(m_bAuto) != 0)
        {
            m_nState = STATE_DOWNLOAD;
            if (m_bAuto != 0)
            {
                m_view.Pause(AUTO_START_PAUSE_MS);
                ContinueWithNextStep();
            }
        }
        else
        {
            m_nState = STATE_SEARCH;
        }
        break;

    case STATE_DOWNLOAD:
        if (StartDownload() != 0)
        {
            m_nState = STATE_DOWNLOAD_RESULT;
        }
        else
        {
            m_nState = STATE_PORT_ERROR;
            ContinueWithNextStep();
        }
        break;

    case STATE_DOWNLOAD_RESULT:
        if (ShowDownloadResult() != 0)
        {
            m_nState = STATE_PROGRAM;
            ContinueWithNextStep();
        }
        else
        {
            m_nState = STATE_QUESTION;
        }
        break;

    case STATE_PROGRAM:
        StartProgramming();
        m_nState = STATE_PROGRAM_RESULT;
        break;

    case STATE_PROGRAM_RESULT:
    {
        const int bOk = ShowProgrammingResult();
        if (bOk != 0 && m_bRepeat != 0)
        {
            AskQuestion(121);
        }
        m_nState = (bOk == 0 || m_bRepeat != 0) ? STATE_QUESTION : STATE_CLOSE;
        break;
    }

    case STATE_QUESTION:
        m_nState = nAnswer == 1 ? STATE_CONNECT : STATE_CLOSE;
        ContinueWithNextStep();
        break;

    case STATE_CLOSE:
        CloseWizard();
        break;

    case STATE_PORT_ERROR:
        m_bPortError = true;
        MessageBox(PORT_ERROR_TEXT, EMsgBoxIcon::Exclamation);
        CloseWizard();
        break;

    default:
        break;
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
