#include "app/core/WizardPages.h"

#include "app/core/TextIds.h"
#include "app/core/Texts.h"

#include <algorithm>

namespace
{

constexpr const char* NO_VALUE = "---";

unsigned PhaseTextId(intptr_t nPhase)
{
    switch (nPhase)
    {
    case PHASE_ERASE:
        return IDS_PHASE_ERASE;
    case PHASE_BLANK_CHECK:
        return IDS_PHASE_BLANK_CHECK;
    case PHASE_PROGRAM:
        return IDS_PHASE_PROGRAM;
    case PHASE_VERIFY:
        return IDS_PHASE_VERIFY;
    default:
        return 0;
    }
}

} // namespace

void CWizardPages::ShowFirmwareGroupTitle()
{
    SetTextId(IDC_FWGROUP, IDS_FIRMWARE_GROUP);
}

void CWizardPages::ShowWelcomePage()
{
    for (int nPane = 0; nPane < 3; ++nPane)
    {
        m_view.SetStatusPane(nPane, std::string());
    }
    SetText(IDC_INFOLINE1, FormatText(LoadText(IDS_FIRMWARE_INFO), {NO_VALUE, NO_VALUE}));
    SetFirmwareStatus(LoadText(IDS_NO_FIRMWARE), MSG_INFO);
    SetTextId(IDC_INFOLINE2, IDS_WELCOME); // set directly: icon and sound stay as they are
    SetTextId(IDC_INFOLINE3, IDS_WELCOME_HINT);
    SetTextId(IDC_ACTION, IDS_BUTTON_START);
    ShowButtonRow(ROW_ACTION);
}

void CWizardPages::ShowFirmwarePage()
{
    SetMessage(IDS_FIRMWARE_WARNING, MSG_WARNING);
    SetTextId(IDC_INFOLINE3, IDS_FIRMWARE_HINT);
    SetTextId(IDC_ACTION, IDS_BUTTON_FILE_OPEN);
    ShowButtonRow(ROW_ACTION);
}

void CWizardPages::ShowConnectPage()
{
    SetMessage(IDS_CONNECT, MSG_INFO);
    SetTextId(IDC_INFOLINE3, IDS_CONNECT_HINT);
    ShowButtonRow(ROW_ACTION);
    SetTextId(IDC_ACTION, IDS_BUTTON_CONTINUE);
}

void CWizardPages::ShowFirmwareFile(const std::string& strPath)
{
    m_view.SetStatusPane(0, strPath);
}

void CWizardPages::ShowFirmware(const std::string& strName, const std::string& strVersion)
{
    m_view.SetStatusPane(1, strName);
    SetText(IDC_INFOLINE1, FormatText(LoadText(IDS_FIRMWARE_INFO), {strName, strVersion}));
    SetFirmwareStatus(FormatText(LoadText(IDS_FIRMWARE_FOR), {strName}), MSG_WARNING);
}

void CWizardPages::ShowFirmwareRefused(unsigned nTextId)
{
    SetMessage(nTextId, MSG_WARNING);
}

void CWizardPages::ShowWorkerPage(EUnitStep step)
{
    m_view.SetProgressPos(0);
    ShowButtonRow(ROW_PROGRESS);
    SetMessage(step == EUnitStep::Search ? IDS_SEARCHING : IDS_PROGRAMMING, MSG_PLAIN);
    SetText(IDC_INFOLINE3, step == EUnitStep::Download ? LoadText(IDS_DOWNLOADING) : std::string());
}

void CWizardPages::ShowSearchResult(bool bFound, bool bAuto)
{
    ShowButtonRow(ROW_ACTION);
    if (!bFound)
    {
        SetMessage(IDS_NOT_FOUND, MSG_WARNING);
        SetTextId(IDC_INFOLINE3, IDS_NOT_FOUND_HINT);
        SetTextId(IDC_ACTION, IDS_BUTTON_CONTINUE);
        return;
    }
    SetMessage(IDS_FOUND, MSG_PLAIN);
    if (!bAuto)
    {
        SetTextId(IDC_INFOLINE3, IDS_FOUND_HINT);
        SetTextId(IDC_ACTION, IDS_BUTTON_CONTINUE);
        return;
    }
    SetTextId(IDC_INFOLINE3, IDS_FOUND_AUTO);
    m_view.SetProgressPos(0);
    ShowButtonRow(ROW_PROGRESS);
}

void CWizardPages::ShowDownloadResult(bool bOk)
{
    ShowButtonRow(ROW_ACTION);
    if (bOk)
    {
        SetMessage(IDS_DOWNLOAD_OK, MSG_PLAIN);
        SetText(IDC_INFOLINE3, std::string());
        return;
    }
    SetMessage(IDS_DOWNLOAD_FAILED, MSG_WARNING);
    AskQuestion(IDS_RETRY);
}

void CWizardPages::ShowProgrammingResult(bool bOk, const std::string& strDetail)
{
    m_view.SetProgressPos(0);
    ShowButtonRow(ROW_ACTION);
    if (!bOk)
    {
        SetMessage(strDetail.empty() ? LoadText(IDS_PROGRAM_FAILED)
                                     : LoadText(IDS_PROGRAM_FAILED) + "\n" + strDetail,
                   MSG_WARNING);
        AskQuestion(IDS_RETRY);
        return;
    }
    SetMessage(IDS_SUCCESS, MSG_INFO);
    SetTextId(IDC_INFOLINE3, IDS_SUCCESS_HINT);
    SetTextId(IDC_ACTION, IDS_BUTTON_CLOSE);
}

void CWizardPages::ShowUnitsFound(const std::vector<std::string>& names, bool bAuto)
{
    std::string strNames;
    for (const std::string& strName : names)
    {
        strNames += (strNames.empty() ? "" : ", ") + strName;
    }
    ShowButtonRow(ROW_ACTION);
    SetMessage(FormatText(LoadText(IDS_UNITS_FOUND), {std::to_string(names.size()), strNames}), MSG_PLAIN);
    SetTextId(IDC_INFOLINE3, bAuto ? IDS_FOUND_AUTO : IDS_FOUND_HINT);
    if (!bAuto)
    {
        SetTextId(IDC_ACTION, IDS_BUTTON_CONTINUE);
        return;
    }
    m_view.SetProgressPos(0);
    ShowButtonRow(ROW_PROGRESS);
}

void CWizardPages::ShowGroupResult(const std::vector<std::string>& unitLines, std::size_t nUpdated,
                                   bool bRepeat)
{
    const bool bAllOk = nUpdated == unitLines.size();
    std::string strMessage =
        FormatText(LoadText(IDS_UNITS_UPDATED), {std::to_string(nUpdated), std::to_string(unitLines.size())});
    for (const std::string& strLine : unitLines)
    {
        strMessage += "\n" + strLine;
    }
    m_view.SetProgressPos(0);
    ShowButtonRow(ROW_ACTION);
    SetMessage(strMessage, bAllOk ? MSG_INFO : MSG_WARNING);
    if (!bAllOk || bRepeat)
    {
        AskQuestion(bAllOk ? IDS_FURTHER_UNITS : IDS_RETRY);
        return;
    }
    SetTextId(IDC_INFOLINE3, IDS_SUCCESS_HINT);
    SetTextId(IDC_ACTION, IDS_BUTTON_CLOSE);
}

void CWizardPages::ShowProgress(int nPercent)
{
    m_view.SetProgressRange(0, 100);
    m_view.SetProgressPos(std::clamp(nPercent, 0, 100));
}

void CWizardPages::ShowUnitStatus(const std::string& strPort, EUnitStep step, int nPhase, int nPercent,
                                  const std::string& strResult)
{
    if (!strResult.empty())
    {
        m_view.ShowUnitStatus(strPort, strResult, -1);
        return;
    }
    const unsigned nTextId = step == EUnitStep::Download ? IDS_DOWNLOADING : PhaseTextId(nPhase);
    m_view.ShowUnitStatus(strPort, nTextId != 0 ? LoadText(nTextId) : std::string(),
                          std::clamp(nPercent, 0, 100));
}

void CWizardPages::ShowGroupProgress(int nStage, int nPercent)
{
    const unsigned nTextId = nStage == 0 ? IDS_DOWNLOADING : PhaseTextId(nStage);
    m_view.ShowGroupProgress(std::clamp(nPercent, 0, 100), nTextId != 0 ? LoadText(nTextId) : std::string());
}

void CWizardPages::AskQuestion(unsigned nTextId)
{
    SetTextId(IDC_INFOLINE3, nTextId);
    ShowButtonRow(ROW_YES_NO);
}

void CWizardPages::ShowWorkerStatus(const SWizardMessage& msg)
{
    switch (msg.wParam)
    {
    case STATUS_PROGRESS:
        m_view.SetProgressRange(0, 100);
        m_view.SetProgressPos(static_cast<int>(std::clamp<intptr_t>(msg.lParam, 0, 100)));
        break;
    case STATUS_INFOLINE1:
        SetText(IDC_INFOLINE1, msg.strText);
        break;
    case STATUS_INFOLINE2:
        SetMessage(msg.strText, MSG_PLAIN);
        break;
    case STATUS_INFOLINE3:
        SetText(IDC_INFOLINE3, msg.strText);
        break;
    case STATUS_PHASE:
        if (const unsigned nTextId = PhaseTextId(msg.lParam); nTextId != 0)
        {
            SetTextId(IDC_INFOLINE3, nTextId);
        }
        break;
    default:
        break;
    }
}

void CWizardPages::MessageBox(const std::string& strText, EMsgBoxIcon icon)
{
    m_view.MessageBox(strText, m_strAppName, icon);
}

void CWizardPages::SetMessage(const std::string& strText, int nKind)
{
    switch (nKind)
    {
    case MSG_INFO:
        m_view.SetControlIcon(IDC_MSGICON, EViewIcon::StockInformation);
        m_view.PlaySound(EViewSound::Information);
        break;
    case MSG_WARNING:
        m_view.SetControlIcon(IDC_MSGICON, EViewIcon::StockExclamation);
        m_view.PlaySound(EViewSound::Exclamation);
        break;
    default:
        m_view.SetControlIcon(IDC_MSGICON, EViewIcon::None);
        break;
    }
    m_view.SetControlText(IDC_INFOLINE2, strText);
}

void CWizardPages::SetMessage(unsigned nTextId, int nKind)
{
    SetMessage(LoadText(nTextId), nKind);
}

void CWizardPages::SetFirmwareStatus(const std::string& strText, int nKind)
{
    m_view.SetControlText(IDC_FWSTATUS, strText);
    EViewIcon icon = EViewIcon::None;
    if (nKind == MSG_INFO)
    {
        icon = EViewIcon::FwInfo;
    }
    else if (nKind == MSG_WARNING)
    {
        icon = EViewIcon::FwWarning;
    }
    m_view.SetControlIcon(IDC_FWICON, icon);
}

void CWizardPages::ShowButtonRow(int nRow)
{
    m_nRow = nRow;
    const bool bProgress = nRow == ROW_PROGRESS;
    const bool bAction = nRow == ROW_ACTION;
    const bool bYesNo = nRow == ROW_YES_NO;
    // What goes away is hidden before what comes is shown.
    for (const auto& [nId, bShow] : {std::pair{IDC_PROGRESS, bProgress}, std::pair{IDC_ACTION, bAction},
                                     std::pair{IDC_YES, bYesNo}, std::pair{IDC_NO, bYesNo}})
    {
        if (!bShow)
        {
            m_view.ShowControl(nId, false);
        }
    }
    if (bYesNo)
    {
        SetTextId(IDC_YES, IDS_BUTTON_YES);
        SetTextId(IDC_NO, IDS_BUTTON_NO);
    }
    for (const auto& [nId, bShow] : {std::pair{IDC_PROGRESS, bProgress}, std::pair{IDC_ACTION, bAction},
                                     std::pair{IDC_YES, bYesNo}, std::pair{IDC_NO, bYesNo}})
    {
        if (bShow)
        {
            m_view.ShowControl(nId, true);
        }
    }
}

void CWizardPages::SetText(int nId, const std::string& strText)
{
    m_view.SetControlText(nId, strText);
}

void CWizardPages::SetTextId(int nId, unsigned nTextId)
{
    m_view.SetControlText(nId, LoadText(nTextId));
}
