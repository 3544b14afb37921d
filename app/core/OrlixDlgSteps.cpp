// COrlixDlg's step actions: choosing and loading the firmware, starting the workers and
// reading their results from the unit session.
#include "app/core/OrlixDlg.h"

#include "app/core/TextIds.h"

#include <fstream>

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
    return true;
}

void COrlixDlg::StartWorker(EUnitStep step)
{
    m_pages.ShowWorkerPage(step);
    m_bBusy = true;
    const WorkerProc& proc = step == EUnitStep::Search
                                 ? m_procs.search
                                 : (step == EUnitStep::Download ? m_procs.download : m_procs.program);
    m_runner.Start(step, proc, m_image);
}

bool COrlixDlg::ShowSearchResult()
{
    const bool bFound = m_session.IsFound();
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

bool COrlixDlg::ShowDownloadResult()
{
    const bool bOk = m_session.m_bDownloadOk;
    if (!bOk)
    {
        ClosePort();
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
    m_pages.ShowProgrammingResult(bOk);
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
