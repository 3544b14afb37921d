// The window's event policy around the wizard core: one core call at a time, buttons and keys,
// closing, the message queue and the automatic pause.
#include "app/core/Texts.h"
#include "app/gui/AboutDlg.h"
#include "app/gui/WizardDialog.h"
#include "app/gui/WxText.h"

#include <wx/evtloop.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>

namespace
{
// Wakes the dialog's thread for its message queue.
constexpr int ID_WIZARD_QUEUE = wxID_HIGHEST + 1;
// The third status pane, for the hint on ports the search could not open.
constexpr int ACCESS_HINT_PANE = 2;
} // namespace

void CWizardDialog::BindEvents()
{
    Bind(wxEVT_BUTTON, &CWizardDialog::OnButton, this);
    Bind(wxEVT_CLOSE_WINDOW, &CWizardDialog::OnCloseWindow, this);
    Bind(wxEVT_CHAR_HOOK, &CWizardDialog::OnCharHook, this);
    Bind(wxEVT_THREAD, &CWizardDialog::OnWizardQueue, this, ID_WIZARD_QUEUE);
}

void CWizardDialog::CreateAboutCommands()
{
    const std::string strAbout = ::LoadText(101);
#ifdef __WXMSW__
    // Where the window has a window menu, the About item goes there.
    if (!strAbout.empty())
    {
        if (wxMenu* pSystemMenu = MSWGetSystemMenu())
        {
            pSystemMenu->AppendSeparator();
            pSystemMenu->Append(IDM_ABOUTBOX, FromNarrow(strAbout));
        }
    }
#endif
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { ShowAboutBox(); }, IDM_ABOUTBOX);
    Bind(wxEVT_CONTEXT_MENU, &CWizardDialog::OnContextMenu, this);
}

void CWizardDialog::InitWizard()
{
    if (m_bInitDone)
    {
        return;
    }
    m_bInitDone = true;
    m_gate.Run([this] { m_pCore->OnInitDialog(); });
}

int CWizardDialog::RunWizard()
{
    InitWizard();
    if (!m_gate.HasEnded())
    {
        CentreOnScreen();
        ShowModal();
    }
    return m_pCore->GetExitStatus();
}

void CWizardDialog::ShowAboutBox()
{
    if (m_gate.IsBusy())
    {
        return;
    }
    CAboutDlg dlg(this);
    dlg.ShowModal();
}

// ---------------------------------------------------------------------------------------
// Buttons, keys, closing

void CWizardDialog::OnButton(wxCommandEvent& event)
{
    if (!m_gate.IsIdle())
    {
        return;
    }
    switch (event.GetId())
    {
    case IDC_ACTION:
        m_gate.Run([this] { m_pCore->OnActionButton(); });
        break;
    case IDC_YES:
        m_gate.Run([this] { m_pCore->OnYesButton(); });
        break;
    case IDC_NO:
        m_gate.Run([this] { m_pCore->OnNoButton(); });
        break;
    default:
        break;
    }
}

void CWizardDialog::OnCloseWindow(wxCloseEvent& event)
{
    if (m_gate.HasEnded())
    {
        if (IsModal())
        {
            EndModal(wxID_CLOSE);
        }
        return;
    }
    // A close request while a step runs (its message box, the pause) comes after that step,
    // as it would from the platform's message queue.
    if (event.CanVeto() && m_gate.DeferClose())
    {
        event.Veto();
        return;
    }
    bool bClosed = false;
    m_gate.Run([this, &bClosed] { bClosed = m_pCore->OnClose(); });
    if (bClosed)
    {
        return;
    }
    if (event.CanVeto())
    {
        event.Veto();
        return;
    }
    // The session ends and does not wait: go; the core stops its worker when it is destroyed.
    m_gate.End();
    if (IsModal())
    {
        EndModal(wxID_CLOSE);
    }
}

void CWizardDialog::OnCharHook(wxKeyEvent& event)
{
    switch (event.GetKeyCode())
    {
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
    case WXK_ESCAPE:
        // Neither presses a button nor cancels the wizard.
        return;
    case WXK_F1:
        if (event.GetModifiers() == wxMOD_NONE)
        {
            ShowAboutBox();
            return;
        }
        break;
    default:
        break;
    }
    event.Skip();
}

void CWizardDialog::OnContextMenu(wxContextMenuEvent& event)
{
    const std::string strAbout = ::LoadText(101);
    if (strAbout.empty() || m_gate.IsBusy())
    {
        event.Skip();
        return;
    }
    wxMenu menu;
    menu.Append(IDM_ABOUTBOX, FromNarrow(strAbout));
    PopupMenu(&menu);
}

// ---------------------------------------------------------------------------------------
// The message queue: workers and the core post, the gate hands the messages to the core on
// the dialog's thread, one per turn of the event loop.

void CWizardDialog::PostWizardMessage(SWizardMessage msg)
{
    m_gate.Post(std::move(msg));
}

void CWizardDialog::WakeQueue()
{
    wxQueueEvent(this, new wxThreadEvent(wxEVT_THREAD, ID_WIZARD_QUEUE));
}

void CWizardDialog::OnWizardQueue(wxThreadEvent&)
{
    m_gate.OnWake();
}

// On the not-found page the third status pane names the ports the search could not open for
// lack of permission; on Linux that is the usual reason a connected unit is not found.
void CWizardDialog::ShowAccessHint()
{
    std::vector<std::string> denied;
    if (m_pCore->IsUnitNotFoundPage())
    {
        denied = m_pCore->GetAccessDeniedPorts();
    }
    if (denied.empty())
    {
        if (m_bAccessHintShown)
        {
            m_controls.SetStatusPane(ACCESS_HINT_PANE, std::string());
            m_bAccessHintShown = false;
        }
        return;
    }
    std::string strHint = GetTextLanguage() == ETextLanguage::German ? "Kein Zugriff: " : "No access: ";
    for (size_t i = 0; i < denied.size(); ++i)
    {
        strHint += (i == 0 ? "" : ", ") + denied[i];
    }
    m_controls.SetStatusPane(ACCESS_HINT_PANE, strHint);
    m_bAccessHintShown = true;
}

// The page must be on the screen during the pause, and the dialog must not react: only
// painting and layout run (input and the message queue wait, and are handled afterwards, in
// order). Yielding for those alone is safe from re-entrancy, unlike a full yield.
void CWizardDialog::Pause(uint32_t dwMilliseconds)
{
    using Clock = std::chrono::steady_clock;
    m_gate.SetPausing(true);
    Refresh();
    Update();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
    for (;;)
    {
        if (wxEventLoopBase* pLoop = wxEventLoopBase::GetActive())
        {
            pLoop->YieldFor(wxEVT_CATEGORY_UI);
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
        {
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        wxMilliSleep(static_cast<unsigned long>(std::min<long long>(left.count() + 1, 10)));
    }
    m_gate.SetPausing(false);
}
