#include "app/gui/Autopilot.h"

#include <wx/button.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>
// The generic box needs the declarations of <wx/msgdlg.h> first.
#include <wx/generic/msgdlgg.h>

#include <cstdio>
#include <sstream>

namespace
{
// A page counts as settled once it has not changed for this long.
constexpr std::chrono::milliseconds SETTLE_TIME{250};
constexpr int TICK_MS = 50;
constexpr int MESSAGE_BOX_MS = 400;

std::string OneLine(const wxString& str)
{
    std::string strOut = str.utf8_string();
    for (char& ch : strOut)
    {
        if (ch == '\n' || ch == '\t')
        {
            ch = ' ';
        }
    }
    return strOut;
}
} // namespace

bool ParseAutopilot(const std::string& strValue, SAutopilotOptions& options)
{
    options = SAutopilotOptions();
    if (strValue.empty())
    {
        return false;
    }
    std::istringstream stream(strValue);
    std::string strToken;
    while (std::getline(stream, strToken, ','))
    {
        if (strToken == "click")
        {
            options.bClick = true;
        }
        else if (strToken == "yes")
        {
            options.nAnswer = IDC_YES;
        }
        else if (strToken == "no")
        {
            options.nAnswer = IDC_NO;
        }
        else if (strToken == "close-busy")
        {
            options.bCloseWhileBusy = true;
        }
    }
    return true;
}

CAutopilotDialog::CAutopilotDialog(const std::string& strCmdLine, const std::string& strAppName,
                                   SAutopilotOptions options)
    : CWizardDialog(strCmdLine, strAppName), m_options(options), m_timer(this)
{
    Bind(wxEVT_TIMER, &CAutopilotDialog::OnTick, this, m_timer.GetId());
    m_timer.Start(TICK_MS);
}

CAutopilotDialog::~CAutopilotDialog()
{
    m_timer.Stop();
}

void CAutopilotDialog::DoMessageBox(const wxString& strText, const wxString& strCaption, long nStyle)
{
    std::fprintf(stderr, "autopilot: message box \"%s\": %s\n", OneLine(strCaption).c_str(),
                 OneLine(strText).c_str());
    std::fflush(stderr);
    // A real modal box, so the dialog runs its nested loop as it would for a user.
    wxGenericMessageDialog dlg(IsShown() ? this : nullptr, strText, strCaption, nStyle);
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&dlg](wxTimerEvent&) { dlg.EndModal(wxID_OK); });
    timer.StartOnce(MESSAGE_BOX_MS);
    dlg.ShowModal();
}

std::string CAutopilotDialog::PageSignature() const
{
    std::string strSig;
    for (const int nId : {IDC_INFOLINE2, IDC_INFOLINE3})
    {
        if (auto* pText = dynamic_cast<wxStaticText*>(GetControl(nId)))
        {
            strSig += OneLine(pText->GetLabelText()) + " | ";
        }
    }
    for (const int nId : {IDC_PROGRESS, IDC_ACTION, IDC_YES})
    {
        const wxWindow* pWnd = GetControl(nId);
        if (pWnd != nullptr && pWnd->IsShown())
        {
            strSig += nId == IDC_PROGRESS ? std::string("[progress]") : "[" + OneLine(pWnd->GetLabel()) + "]";
        }
    }
    return strSig;
}

void CAutopilotDialog::Press(int nId)
{
    wxWindow* pButton = GetControl(nId);
    if (pButton == nullptr || !pButton->IsShown())
    {
        return;
    }
    std::fprintf(stderr, "autopilot: press %s\n", OneLine(pButton->GetLabel()).c_str());
    std::fflush(stderr);
    wxCommandEvent event(wxEVT_BUTTON, nId);
    event.SetEventObject(pButton);
    pButton->ProcessWindowEvent(event);
}

void CAutopilotDialog::OnTick(wxTimerEvent&)
{
    if (HasEnded() || IsInCore() || IsPausing() || !IsShown())
    {
        return;
    }
    // Once, while the programming thread runs.
    if (m_options.bCloseWhileBusy && !m_bCloseRequested && Core().IsBusy() &&
        Core().GetState() == STATE_PROGRAM_RESULT)
    {
        m_bCloseRequested = true;
        std::fprintf(stderr, "autopilot: close while busy\n");
        std::fflush(stderr);
        Close();
    }

    const auto now = std::chrono::steady_clock::now();
    const std::string strPage = PageSignature();
    if (strPage != m_strPage)
    {
        m_strPage = strPage;
        m_pageSince = now;
        std::fprintf(stderr, "autopilot: page %s\n", strPage.c_str());
        std::fflush(stderr);
        return;
    }

    if (now - m_pageSince < SETTLE_TIME || Core().IsBusy())
    {
        return;
    }
    const wxWindow* pAction = GetControl(IDC_ACTION);
    if (m_options.bClick && pAction != nullptr && pAction->IsShown())
    {
        m_strPage.clear(); // the page changes, or the same page counts as new again
        Press(IDC_ACTION);
        return;
    }
    const wxWindow* pYes = GetControl(IDC_YES);
    if (m_options.nAnswer != -1 && pYes != nullptr && pYes->IsShown())
    {
        m_strPage.clear();
        Press(m_options.nAnswer);
    }
}
