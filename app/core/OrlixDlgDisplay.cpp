// Display operations: how texts, icons and the bottom row reach the view.
#include "app/core/OrlixDlg.h"

#include "app/core/Texts.h"

void COrlixDlg::SetMessage(const std::string& strText, int nKind)
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

void COrlixDlg::SetMessage(unsigned nId, int nKind)
{
    SetMessage(::LoadText(nId), nKind);
}

void COrlixDlg::SetFirmwareStatus(const std::string& strText, int nKind)
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

void COrlixDlg::ShowButtonRow(int nRow)
{
    m_nRow = nRow;
    switch (nRow)
    {
    case ROW_PROGRESS:
        m_view.ShowControl(IDC_ACTION, false);
        m_view.ShowControl(IDC_YES, false);
        m_view.ShowControl(IDC_NO, false);
        m_view.ShowControl(IDC_PROGRESS, true);
        break;
    case ROW_ACTION:
        m_view.ShowControl(IDC_PROGRESS, false);
        m_view.ShowControl(IDC_YES, false);
        m_view.ShowControl(IDC_NO, false);
        m_view.ShowControl(IDC_ACTION, true);
        break;
    case ROW_YES_NO:
        m_view.ShowControl(IDC_PROGRESS, false);
        m_view.ShowControl(IDC_ACTION, false);
        SetTextId(IDC_YES, 105);
        SetTextId(IDC_NO, 106);
        m_view.ShowControl(IDC_YES, true);
        m_view.ShowControl(IDC_NO, true);
        break;
    default:
        break;
    }
}

void COrlixDlg::AskQuestion(unsigned nId)
{
    SetTextId(IDC_INFOLINE3, nId);
    ShowButtonRow(ROW_YES_NO);
}

void COrlixDlg::SetText(int nId, const std::string& strText)
{
    m_view.SetControlText(nId, strText);
}

void COrlixDlg::SetTextId(int nId, unsigned nTextId)
{
    m_view.SetControlText(nId, ::LoadText(nTextId));
}

void COrlixDlg::MessageBox(const std::string& strText, EMsgBoxIcon icon)
{
    m_view.MessageBox(strText, m_strAppName, icon);
}
