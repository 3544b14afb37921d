#include "app/gui/WizardDialog.h"

#include "app/core/Texts.h"
#include "app/gui/AboutDlg.h"
#include "app/gui/Artwork.h"
#include "app/gui/DialogTemplate.h"
#include "app/gui/FileFilter.h"
#include "app/gui/WxText.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/settings.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>

namespace
{
// Wakes the dialog's thread for its message queue.
constexpr int ID_WIZARD_QUEUE = wxID_HIGHEST + 1;

// The message line's stock icons and the firmware status icons, in pixels at 100 %.
constexpr int MESSAGE_ICON_SIZE = 32;
constexpr int SMALL_ICON_SIZE = 16;

constexpr int DIALOG_FONT_POINTS = 8;

// Status bar panes: 60 % and 25 % of the client width, the third takes the rest.
constexpr int STATUS_PANES = 3;
} // namespace

wxFont DialogFont()
{
    // The template was drawn for an 8-point dialog font: the platform's interface face at
    // that size keeps the proportions of texts, controls and banner.
    wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    font.SetPointSize(DIALOG_FONT_POINTS);
    return font;
}

template <typename Fn> void CWizardDialog::CallCore(Fn&& fn)
{
    ++m_nCoreDepth;
    fn();
    --m_nCoreDepth;
    if (m_nCoreDepth == 0)
    {
        AfterCoreCall();
    }
}

CWizardDialog::CWizardDialog(const std::string& strCmdLine, const std::string& strAppName,
                             std::optional<SWorkerProcs> procs)
{
    // Fixed size, close box, no minimize or maximize box; a task-bar entry of its own.
    Create(nullptr, wxID_ANY, FromNarrow(COrlixDlg::GetDialogTitle()), wxDefaultPosition, wxDefaultSize,
           wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxDIALOG_NO_PARENT);
    SetFont(DialogFont());
    const SDialogTemplate& tmpl = WizardTemplate();
    SetClientSize(ConvertDialogToPixels(wxSize(tmpl.cx, tmpl.cy)));

    CreateControls();
    CreateStatusBar();
    SetIcons(AppIcons());
    CreateAboutCommands();

    Bind(wxEVT_BUTTON, &CWizardDialog::OnButton, this);
    Bind(wxEVT_CLOSE_WINDOW, &CWizardDialog::OnCloseWindow, this);
    Bind(wxEVT_CHAR_HOOK, &CWizardDialog::OnCharHook, this);
    Bind(wxEVT_THREAD, &CWizardDialog::OnWizardQueue, this, ID_WIZARD_QUEUE);

    m_pCore =
        procs ? std::make_unique<COrlixDlg>(*this, std::move(*procs)) : std::make_unique<COrlixDlg>(*this);
    m_pCore->SetAppName(strAppName);
    m_pCore->ParseCommandLine(strCmdLine);
}

CWizardDialog::~CWizardDialog()
{
    m_bEnded = true;
    // The worker stops and is joined while every control and the queue still exist; what it
    // posts meanwhile is dropped with the queue.
    m_pCore.reset();
    while (m_nBusyCursor > 0)
    {
        --m_nBusyCursor;
        wxEndBusyCursor();
    }
}

void CWizardDialog::CreateControls()
{
    const SDialogTemplate& tmpl = WizardTemplate();
    const int nClientWidth = GetClientSize().x;
    for (const SControlTemplate& ctl : tmpl.controls)
    {
        const wxPoint pos = ConvertDialogToPixels(wxPoint(ctl.rc.x, ctl.rc.y));
        const wxSize size = ConvertDialogToPixels(wxSize(ctl.rc.cx, ctl.rc.cy));
        const wxWindowID id = ctl.nId == IDC_STATIC ? wxID_ANY : ctl.nId;
        const wxString strText = wxString::FromUTF8(ctl.pszText);
        const long nAlign = ctl.align == ETextAlign::Centre ? wxALIGN_CENTRE_HORIZONTAL : wxALIGN_LEFT;
        wxWindow* pWnd = nullptr;
        switch (ctl.kind)
        {
        case EControlKind::ProgressBar:
            pWnd = new wxGauge(this, id, 100, pos, size, wxGA_HORIZONTAL | wxGA_SMOOTH);
            break;
        case EControlKind::Banner:
        {
            // The banner spans the window; its height is the template's, so the etched line
            // sits right below it whatever the font.
            const wxSize bannerSize(nClientWidth, size.y);
            m_pBanner = new wxStaticBitmap(this, id, BannerBitmap(bannerSize), pos, bannerSize);
            pWnd = m_pBanner;
            break;
        }
        case EControlKind::EtchedLine:
            pWnd = new wxStaticLine(this, id, pos, wxSize(nClientWidth, -1), wxLI_HORIZONTAL);
            break;
        case EControlKind::StaticText:
        {
            auto* pText = new wxStaticText(this, id, wxString(), pos, size, nAlign | wxST_NO_AUTORESIZE);
            pText->SetLabelText(strText);
            pWnd = pText;
            break;
        }
        case EControlKind::PushButton:
            pWnd = new wxButton(this, id, strText, pos, size);
            break;
        case EControlKind::StaticIcon:
        {
            // Like a static icon control, the control takes the size of its icon.
            const int nIcon = ctl.nId == IDC_MSGICON ? MESSAGE_ICON_SIZE : SMALL_ICON_SIZE;
            pWnd = new wxStaticBitmap(this, id, wxBitmapBundle(), pos, FromDIP(wxSize(nIcon, nIcon)));
            break;
        }
        case EControlKind::GroupBox:
            pWnd = new wxStaticBox(this, id, strText, pos, size);
            break;
        }
        if (pWnd != nullptr && ctl.nId != IDC_STATIC)
        {
            m_controls[ctl.nId] = pWnd;
        }
    }
}

void CWizardDialog::CreateStatusBar()
{
    m_pStatusBar =
        new wxStatusBar(this, wxID_ANY, wxSTB_SHOW_TIPS | wxSTB_ELLIPSIZE_MIDDLE | wxFULL_REPAINT_ON_RESIZE);
    wxSize client = GetClientSize();
    const int nBarHeight =
        std::max(m_pStatusBar->GetBestSize().y, m_pStatusBar->GetCharHeight() + FromDIP(10));
    // The bar lies over the bottom of the client area, as the template expects. Should this
    // platform's bar be so tall that it would cover the bottom row, the window grows instead.
    const SControlTemplate* pAction = FindControl(WizardTemplate(), IDC_ACTION);
    const int nRowBottom = ConvertDialogToPixels(wxPoint(0, pAction->rc.y + pAction->rc.cy)).y;
    const int nGap = ConvertDialogToPixels(wxPoint(0, 2)).y;
    if (client.y - nBarHeight < nRowBottom + nGap)
    {
        client.y = nRowBottom + nGap + nBarHeight;
        SetClientSize(client);
    }
    m_pStatusBar->SetSize(0, client.y - nBarHeight, client.x, nBarHeight);
    const int nWidth = client.x;
    const int widths[STATUS_PANES] = {static_cast<int>(nWidth * 0.6), static_cast<int>(nWidth * 0.25), -1};
    m_pStatusBar->SetFieldsCount(STATUS_PANES, widths);
    const int styles[STATUS_PANES] = {wxSB_SUNKEN, wxSB_SUNKEN, wxSB_SUNKEN};
    m_pStatusBar->SetStatusStyles(STATUS_PANES, styles);
    // Fixed size: the template is laid out once.
    SetMinSize(GetSize());
    SetMaxSize(GetSize());
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
    CallCore([this] { m_pCore->OnInitDialog(); });
}

int CWizardDialog::RunWizard()
{
    InitWizard();
    if (!m_bEnded)
    {
        CentreOnScreen();
        ShowModal();
    }
    return m_pCore->GetExitStatus();
}

wxWindow* CWizardDialog::GetControl(int nId) const
{
    const auto it = m_controls.find(nId);
    return it == m_controls.end() ? nullptr : it->second;
}

size_t CWizardDialog::PendingMessages()
{
    std::lock_guard lock(m_mutexQueue);
    return m_queue.size();
}

void CWizardDialog::ShowAboutBox()
{
    if (m_nCoreDepth > 0 || m_bPausing)
    {
        return;
    }
    CAboutDlg dlg(this);
    dlg.ShowModal();
}

// ---------------------------------------------------------------------------------------
// Events

void CWizardDialog::OnButton(wxCommandEvent& event)
{
    ClickButton(event.GetId());
}

void CWizardDialog::ClickButton(int nId)
{
    if (m_bEnded || m_nCoreDepth > 0 || m_bPausing)
    {
        return;
    }
    switch (nId)
    {
    case IDC_ACTION:
        CallCore([this] { m_pCore->OnActionButton(); });
        break;
    case IDC_YES:
        CallCore([this] { m_pCore->OnYesButton(); });
        break;
    case IDC_NO:
        CallCore([this] { m_pCore->OnNoButton(); });
        break;
    default:
        break;
    }
}

void CWizardDialog::OnCloseWindow(wxCloseEvent& event)
{
    if (m_bEnded)
    {
        if (IsModal())
        {
            EndModal(wxID_CLOSE);
        }
        return;
    }
    // A close request while a step runs (its message box, the pause) comes after that step,
    // as it would from the platform's message queue.
    if ((m_nCoreDepth > 0 || m_bPausing) && event.CanVeto())
    {
        m_bCloseDeferred = true;
        event.Veto();
        return;
    }
    bool bClosed = false;
    CallCore([this, &bClosed] { bClosed = m_pCore->OnClose(); });
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
    m_bEnded = true;
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
    if (strAbout.empty() || m_nCoreDepth > 0 || m_bPausing)
    {
        event.Skip();
        return;
    }
    wxMenu menu;
    menu.Append(IDM_ABOUTBOX, FromNarrow(strAbout));
    PopupMenu(&menu);
}

// ---------------------------------------------------------------------------------------
// The message queue. Workers and the core post; the dialog's thread handles the messages in
// the order posted, one per turn of the event loop so painting and input go on in between.
// A step never runs inside another: while the core waits in a modal box only status messages
// (which merely change controls) pass; the rest waits until the core has returned.

void CWizardDialog::PostWizardMessage(SWizardMessage msg)
{
    bool bWake = false;
    {
        std::lock_guard lock(m_mutexQueue);
        m_queue.push_back(std::move(msg));
        if (!m_bWakePending)
        {
            m_bWakePending = true;
            bWake = true;
        }
    }
    if (bWake)
    {
        wxQueueEvent(this, new wxThreadEvent(wxEVT_THREAD, ID_WIZARD_QUEUE));
    }
}

void CWizardDialog::OnWizardQueue(wxThreadEvent&)
{
    {
        std::lock_guard lock(m_mutexQueue);
        m_bWakePending = false;
    }
    DispatchQueue();
}

void CWizardDialog::DispatchQueue()
{
    if (m_bEnded)
    {
        return;
    }
    if (m_nCoreDepth > 0 || m_bPausing)
    {
        for (;;)
        {
            SWizardMessage msg;
            {
                std::lock_guard lock(m_mutexQueue);
                if (m_queue.empty() || m_queue.front().nMsg != WM_WORKER_STATUS)
                {
                    return; // the rest follows when the core has returned (AfterCoreCall)
                }
                msg = std::move(m_queue.front());
                m_queue.pop_front();
            }
            CallCore([this, &msg] { m_pCore->HandleMessage(msg); });
        }
    }
    SWizardMessage msg;
    bool bWake = false;
    {
        std::lock_guard lock(m_mutexQueue);
        if (m_queue.empty())
        {
            return;
        }
        msg = std::move(m_queue.front());
        m_queue.pop_front();
        if (!m_queue.empty() && !m_bWakePending)
        {
            m_bWakePending = true;
            bWake = true;
        }
    }
    if (bWake)
    {
        wxQueueEvent(this, new wxThreadEvent(wxEVT_THREAD, ID_WIZARD_QUEUE));
    }
    CallCore([this, &msg] { m_pCore->HandleMessage(msg); });
}

void CWizardDialog::WakeQueueIfPending()
{
    bool bWake = false;
    {
        std::lock_guard lock(m_mutexQueue);
        if (!m_queue.empty() && !m_bWakePending)
        {
            m_bWakePending = true;
            bWake = true;
        }
    }
    if (bWake)
    {
        wxQueueEvent(this, new wxThreadEvent(wxEVT_THREAD, ID_WIZARD_QUEUE));
    }
}

void CWizardDialog::AfterCoreCall()
{
    if (m_bEnded)
    {
        return;
    }
    if (m_bCloseDeferred)
    {
        m_bCloseDeferred = false;
        Close();
        if (m_bEnded)
        {
            return;
        }
    }
    ShowAccessHint();
    WakeQueueIfPending();
}

// On the not-found page the third status pane names the ports the search could not open for
// lack of permission; on Linux that is the usual reason a connected unit is not found.
void CWizardDialog::ShowAccessHint()
{
    if (m_pStatusBar == nullptr)
    {
        return;
    }
    std::vector<std::string> denied;
    if (m_pCore->IsUnitNotFoundPage())
    {
        denied = m_pCore->GetAccessDeniedPorts();
    }
    if (denied.empty())
    {
        if (m_bAccessHintShown)
        {
            m_pStatusBar->SetStatusText(wxString(), 2);
            m_bAccessHintShown = false;
        }
        return;
    }
    std::string strHint = GetTextLanguage() == ETextLanguage::German ? "Kein Zugriff: " : "No access: ";
    for (size_t i = 0; i < denied.size(); ++i)
    {
        strHint += (i == 0 ? "" : ", ") + denied[i];
    }
    m_pStatusBar->SetStatusText(FromNarrow(strHint), 2);
    m_bAccessHintShown = true;
}

// ---------------------------------------------------------------------------------------
// IWizardView

void CWizardDialog::SetControlText(int nId, const std::string& strText)
{
    wxWindow* pWnd = GetControl(nId);
    if (pWnd == nullptr)
    {
        return;
    }
    const wxString str = FromNarrow(strText);
    if (auto* pText = dynamic_cast<wxStaticText*>(pWnd))
    {
        // Port names and firmware names may hold '&'; static texts show it as it is.
        pText->SetLabelText(str);
    }
    else
    {
        pWnd->SetLabel(str);
    }
}

void CWizardDialog::SetControlIcon(int nId, EViewIcon icon)
{
    auto* pBitmap = dynamic_cast<wxStaticBitmap*>(GetControl(nId));
    if (pBitmap == nullptr)
    {
        return;
    }
    const wxSize messageSize(MESSAGE_ICON_SIZE, MESSAGE_ICON_SIZE);
    switch (icon)
    {
    case EViewIcon::StockInformation:
        pBitmap->SetBitmap(wxArtProvider::GetBitmapBundle(wxART_INFORMATION, wxART_MESSAGE_BOX, messageSize));
        break;
    case EViewIcon::StockExclamation:
        pBitmap->SetBitmap(wxArtProvider::GetBitmapBundle(wxART_WARNING, wxART_MESSAGE_BOX, messageSize));
        break;
    case EViewIcon::FwInfo:
    case EViewIcon::FwWarning:
        pBitmap->SetBitmap(FirmwareIconBundle(icon));
        break;
    case EViewIcon::None:
        pBitmap->SetBitmap(wxBitmapBundle());
        break;
    }
}

void CWizardDialog::ShowControl(int nId, bool bShow)
{
    wxWindow* pWnd = GetControl(nId);
    if (pWnd == nullptr)
    {
        return;
    }
    pWnd->Show(bShow);
    // A button loses the keyboard focus while its row is hidden; the row's first button takes
    // it back when the row shows again, so Space presses it without a Tab first.
    if (bShow && (nId == IDC_ACTION || nId == IDC_YES))
    {
        pWnd->SetFocus();
    }
}

void CWizardDialog::SetProgressRange(int nLower, int nUpper)
{
    auto* pGauge = dynamic_cast<wxGauge*>(GetControl(IDC_PROGRESS));
    if (pGauge == nullptr)
    {
        return;
    }
    m_nProgressLower = nLower;
    pGauge->SetRange(std::max(1, nUpper - nLower));
}

void CWizardDialog::SetProgressPos(int nPos)
{
    auto* pGauge = dynamic_cast<wxGauge*>(GetControl(IDC_PROGRESS));
    if (pGauge == nullptr)
    {
        return;
    }
    pGauge->SetValue(std::clamp(nPos - m_nProgressLower, 0, pGauge->GetRange()));
}

void CWizardDialog::PlaySound(EViewSound)
{
    // The portable minimum; silent where the system has no bell or sound device.
    wxBell();
}

void CWizardDialog::MessageBox(const std::string& strText, const std::string& strCaption, EMsgBoxIcon icon)
{
    const long nStyle = wxOK | (icon == EMsgBoxIcon::Information ? wxICON_INFORMATION : wxICON_EXCLAMATION);
    DoMessageBox(FromNarrow(strText), FromNarrow(strCaption), nStyle);
}

void CWizardDialog::DoMessageBox(const wxString& strText, const wxString& strCaption, long nStyle)
{
    // Before the window is shown (a command-line file that cannot be opened) the box stands
    // on its own.
    wxMessageBox(strText, strCaption, nStyle, IsShown() ? this : nullptr);
}

bool CWizardDialog::OpenFileDialog(const std::string& strInitialName, const std::string& strFilter,
                                   std::string& strPath)
{
    const std::string strWildcard = ConvertFileFilter(strFilter);
    const wxString wildcard =
        strWildcard.empty() ? wxString(wxFileSelectorDefaultWildcardStr) : FromNarrow(strWildcard);
    wxString strChosen;
    if (!DoOpenFileDialog(PathFromNarrow(strInitialName), wildcard, strChosen) || strChosen.empty())
    {
        return false;
    }
    strPath = PathToNarrow(strChosen);
    return true;
}

bool CWizardDialog::DoOpenFileDialog(const wxString& strInitialPath, const wxString& strWildcard,
                                     wxString& strPath)
{
    const wxFileName initial(strInitialPath);
    wxFileDialog dlg(this, wxFileSelectorPromptStr, strInitialPath.empty() ? wxString() : initial.GetPath(),
                     initial.GetFullName(), strWildcard, wxFD_OPEN);
    dlg.SetFilterIndex(0);
    if (dlg.ShowModal() != wxID_OK)
    {
        return false;
    }
    strPath = dlg.GetPath();
    return true;
}

void CWizardDialog::BeginWaitCursor()
{
    ++m_nBusyCursor;
    wxBeginBusyCursor();
}

void CWizardDialog::EndWaitCursor()
{
    if (m_nBusyCursor > 0)
    {
        --m_nBusyCursor;
        wxEndBusyCursor();
    }
}

void CWizardDialog::SetStatusPane(int nPane, const std::string& strText)
{
    if (m_pStatusBar != nullptr && nPane >= 0 && nPane < STATUS_PANES)
    {
        m_pStatusBar->SetStatusText(FromNarrow(strText), nPane);
    }
}

// The page must be on the screen during the pause, and the dialog must not react: only
// painting and layout run (input and the message queue wait, and are handled afterwards, in
// order). Yielding for those alone is safe from re-entrancy, unlike a full yield.
void CWizardDialog::Pause(uint32_t dwMilliseconds)
{
    using Clock = std::chrono::steady_clock;
    m_bPausing = true;
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
    m_bPausing = false;
}

void CWizardDialog::EndDialog()
{
    m_bEnded = true;
    if (IsModal())
    {
        EndModal(wxID_CLOSE);
    }
    else if (IsShown())
    {
        Hide();
    }
}
