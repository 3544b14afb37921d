#include "app/win32/WizardWindow.h"

#include "app/win32/WideText.h"
#include "app/win32/resource.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <vector>

namespace
{
// Wakes the dialog's thread for its message queue.
constexpr UINT WM_APP_WIZARD_QUEUE = WM_APP + 1;
constexpr UINT WM_APP_DPI_CHANGED = WM_APP + 2;

constexpr int STATUS_PANES = WIZARD_STATUS_PANES;

// The banner's control in dialog units.
constexpr int BANNER_WIDTH_DLU = 267;
constexpr int BANNER_HEIGHT_DLU = 49;

// The wizard whose Return and Escape keys the message filter swallows (one per thread).
thread_local CWizardWindow* t_pFilterOwner = nullptr;
thread_local HWND t_hFilterDialog = nullptr;

std::wstring LoadResourceString(HINSTANCE hInstance, UINT nId)
{
    const wchar_t* pText = nullptr;
    // With a zero buffer size the loader hands out the resource itself (not NUL-terminated).
    const int nLength = LoadStringW(hInstance, nId, reinterpret_cast<LPWSTR>(&pText), 0);
    return nLength > 0 && pText != nullptr ? std::wstring(pText, static_cast<size_t>(nLength))
                                           : std::wstring();
}

void DestroyIconIf(HICON& hIcon)
{
    if (hIcon != nullptr)
    {
        DestroyIcon(hIcon);
        hIcon = nullptr;
    }
}

INT_PTR CALLBACK AboutProc(HWND hDlg, UINT nMsg, WPARAM wParam, LPARAM)
{
    switch (nMsg)
    {
    case WM_INITDIALOG:
    {
        const SProductTexts texts = ProductTexts();
        SetWindowTextW(hDlg, Utf8ToWide(texts.strAboutTitle).c_str());
        SetDlgItemTextW(hDlg, IDC_ABOUT_TEXT1, Utf8ToWide(texts.strAboutText1).c_str());
        SetDlgItemTextW(hDlg, IDC_ABOUT_TEXT2, Utf8ToWide(texts.strAboutText2).c_str());
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
        {
            ::EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}
} // namespace

CWizardWindow::CWizardWindow(HINSTANCE hInstance, const std::string& strCmdLine,
                             const std::string& strAppName)
    : m_hInstance(hInstance), m_pCore(std::make_unique<CWizardCore>(*this, strCmdLine, strAppName)),
      m_gate({[this] { WakeQueue(); }, [this](const SWizardMessage& msg) { m_pCore->HandleMessage(msg); },
              [this] { OnCloseRequest(); }, [this] { UpdateFocus(); }})
{
}

CWizardWindow::~CWizardWindow()
{
    m_gate.End();
    m_hQueueTarget = nullptr;
    // The worker stops and is joined before the icons go; what it posts meanwhile is dropped.
    m_pCore.reset();
    for (HICON* pIcon :
         {&m_hIconBig, &m_hIconSmall, &m_hStockInfo, &m_hStockWarning, &m_hFwInfo, &m_hFwWarning})
    {
        DestroyIconIf(*pIcon);
    }
    if (m_hBanner != nullptr)
    {
        DeleteObject(m_hBanner);
    }
}

int CWizardWindow::Run()
{
    // Return and Escape must neither press a button nor cancel the wizard. The dialog's own
    // modal loop offers each message to this thread's message filter first.
    t_pFilterOwner = this;
    HHOOK hHook =
        SetWindowsHookExW(WH_MSGFILTER, &CWizardWindow::MessageFilter, nullptr, GetCurrentThreadId());
    const INT_PTR nResult = DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_WIZARD), nullptr,
                                            &CWizardWindow::DialogProc, reinterpret_cast<LPARAM>(this));
    if (hHook != nullptr)
    {
        UnhookWindowsHookEx(hHook);
    }
    t_pFilterOwner = nullptr;
    t_hFilterDialog = nullptr;
    m_hQueueTarget = nullptr;
    if (nResult == -1 && !m_gate.HasEnded())
    {
        MessageBoxW(nullptr, L"The wizard window cannot be created.", L"Orlix", MB_OK | MB_ICONERROR);
        return 1;
    }
    return m_pCore->GetExitStatus();
}

LRESULT CALLBACK CWizardWindow::MessageFilter(int nCode, WPARAM wParam, LPARAM lParam)
{
    const auto* pMsg = reinterpret_cast<const MSG*>(lParam);
    if (nCode == MSGF_DIALOGBOX && pMsg != nullptr && t_hFilterDialog != nullptr &&
        (pMsg->hwnd == t_hFilterDialog || IsChild(t_hFilterDialog, pMsg->hwnd)))
    {
        const bool bKey =
            pMsg->message == WM_KEYDOWN || pMsg->message == WM_KEYUP || pMsg->message == WM_CHAR;
        if (bKey && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE))
        {
            return TRUE; // swallowed
        }
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

INT_PTR CALLBACK CWizardWindow::DialogProc(HWND hDlg, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg == WM_INITDIALOG)
    {
        auto* pThis = reinterpret_cast<CWizardWindow*>(lParam);
        SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
        pThis->OnInitDialog(hDlg);
        return FALSE; // the focus is set already
    }
    auto* pThis = reinterpret_cast<CWizardWindow*>(GetWindowLongPtrW(hDlg, DWLP_USER));
    return pThis != nullptr ? pThis->OnMessage(nMsg, wParam, lParam) : FALSE;
}

INT_PTR CWizardWindow::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    switch (nMsg)
    {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
        {
            // IDOK and IDCANCEL (Return, Escape) end nothing: only the wizard ends the wizard.
            OnButton(LOWORD(wParam));
        }
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX)
        {
            ShowAboutBox();
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        OnCloseRequest();
        return TRUE;
    case WM_APP_WIZARD_QUEUE:
        m_gate.OnWake();
        return TRUE;
    case WM_SIZE:
        LayoutStatusBar();
        return FALSE;
    case WM_DPICHANGED:
        // The dialog manager rescales the controls and their font after this handler returns;
        // the pictures it knows nothing of are fitted once it has.
        PostMessageW(m_hDlg, WM_APP_DPI_CHANGED, 0, 0);
        return FALSE;
    case WM_APP_DPI_CHANGED:
        OnDpiChanged();
        return TRUE;
    case WM_DESTROY:
        m_hQueueTarget = nullptr;
        t_hFilterDialog = nullptr;
        return FALSE;
    default:
        break;
    }
    (void)lParam;
    return FALSE;
}

void CWizardWindow::OnInitDialog(HWND hDlg)
{
    m_hDlg = hDlg;
    t_hFilterDialog = hDlg;
    m_hQueueTarget = hDlg;
    SetWindowTextW(hDlg, Utf8ToWide(ProductTexts().strDialogTitle).c_str());
    AddAboutItem();
    FitBanner();
    CreateStatusBar();

    LoadWindowIcons();
    SendDlgItemMessageW(hDlg, IDC_PROGRESS, PBM_SETRANGE32, 0, 100);

    // The first step shows the welcome page (and may load the command line's firmware)
    // before the dialog becomes visible.
    m_gate.Run([this] { m_pCore->InitDialog(); });
}

// The banner is drawn for 400 x 80 pixels, the size of its 267 x 49 dialog units with the
// usual dialog font at 96 dpi. Where the font or the DPI makes the control larger, the bitmap
// is scaled to it so the banner still meets the window's edge and the etched line.
void CWizardWindow::FitBanner()
{
    HWND hBanner = nullptr;
    for (HWND hChild = GetWindow(m_hDlg, GW_CHILD); hChild != nullptr;
         hChild = GetWindow(hChild, GW_HWNDNEXT))
    {
        if ((GetWindowLongW(hChild, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
        {
            hBanner = hChild;
            break;
        }
    }
    RECT rc{0, 0, BANNER_WIDTH_DLU, BANNER_HEIGHT_DLU};
    MapDialogRect(m_hDlg, &rc);
    HBITMAP hSource = static_cast<HBITMAP>(
        LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDB_BANNER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAP bm{};
    if (hBanner == nullptr || hSource == nullptr || GetObjectW(hSource, sizeof(bm), &bm) == 0)
    {
        if (hSource != nullptr)
        {
            DeleteObject(hSource);
        }
        return;
    }
    HDC hdcScreen = GetDC(nullptr);
    HDC hdcSource = CreateCompatibleDC(hdcScreen);
    HDC hdcTarget = CreateCompatibleDC(hdcScreen);
    HBITMAP hFitted = CreateCompatibleBitmap(hdcScreen, rc.right, rc.bottom);
    HGDIOBJ hOldSource = SelectObject(hdcSource, hSource);
    HGDIOBJ hOldTarget = SelectObject(hdcTarget, hFitted);
    SetStretchBltMode(hdcTarget, HALFTONE);
    SetBrushOrgEx(hdcTarget, 0, 0, nullptr);
    StretchBlt(hdcTarget, 0, 0, rc.right, rc.bottom, hdcSource, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    SelectObject(hdcSource, hOldSource);
    SelectObject(hdcTarget, hOldTarget);
    DeleteDC(hdcSource);
    DeleteDC(hdcTarget);
    ReleaseDC(nullptr, hdcScreen);
    DeleteObject(hSource);
    SendMessageW(hBanner, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(hFitted));
    if (m_hBanner != nullptr)
    {
        DeleteObject(m_hBanner); // fitted for the DPI before
    }
    m_hBanner = hFitted;
}

void CWizardWindow::LoadWindowIcons()
{
    HICON hOldBig = m_hIconBig;
    HICON hOldSmall = m_hIconSmall;
    m_hIconBig = LoadOwnIcon(IDR_MAINFRAME, ScaleForDpi(32));
    m_hIconSmall = LoadOwnIcon(IDR_MAINFRAME, ScaleForDpi(16));
    SendMessageW(m_hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIconBig));
    SendMessageW(m_hDlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));
    DestroyIconIf(hOldBig);
    DestroyIconIf(hOldSmall);
}

void CWizardWindow::OnDpiChanged()
{
    // The window moved to a monitor of another DPI: the banner, the window's icons and the
    // icons on the page are made again at the new size, and only then are the old ones freed,
    // so no control ever shows a destroyed icon.
    FitBanner();
    LoadWindowIcons();
    std::array<HICON, 4> oldIcons{m_hStockInfo, m_hStockWarning, m_hFwInfo, m_hFwWarning};
    m_hStockInfo = m_hStockWarning = m_hFwInfo = m_hFwWarning = nullptr;
    SetControlIcon(IDC_MSGICON, m_msgIcon);
    SetControlIcon(IDC_FWICON, m_fwIcon);
    for (HICON& hIcon : oldIcons)
    {
        DestroyIconIf(hIcon);
    }
    LayoutStatusBar();
}

void CWizardWindow::CreateStatusBar()
{
    // Along the bottom of the client area, over the template's last lines, without a grip.
    m_hStatusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | CCS_BOTTOM, 0, 0, 0, 0,
                                   m_hDlg, nullptr, m_hInstance, nullptr);
    LayoutStatusBar();
}

void CWizardWindow::LayoutStatusBar()
{
    if (m_hStatusBar == nullptr)
    {
        return;
    }
    SendMessageW(m_hStatusBar, WM_SIZE, 0, 0);
    RECT rc{};
    GetClientRect(m_hDlg, &rc);
    const int nWidth = rc.right - rc.left;
    const int nPane1 = static_cast<int>(nWidth * 0.6);
    const int nPane2 = static_cast<int>(nWidth * 0.25);
    // Right edges; -1 stretches the last pane to the end.
    int edges[STATUS_PANES] = {nPane1, nPane1 + nPane2, -1};
    SendMessageW(m_hStatusBar, SB_SETPARTS, STATUS_PANES, reinterpret_cast<LPARAM>(edges));
    for (int nPane = 0; nPane < STATUS_PANES; ++nPane)
    {
        ShowStatusPane(nPane);
    }
}

void CWizardWindow::AddAboutItem()
{
    HMENU hMenu = GetSystemMenu(m_hDlg, FALSE);
    const std::wstring strAbout = LoadResourceString(m_hInstance, 101);
    if (hMenu == nullptr || strAbout.empty())
    {
        return;
    }
    AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(hMenu, MF_STRING, IDM_ABOUTBOX, strAbout.c_str());
}

void CWizardWindow::ShowAboutBox()
{
    if (!m_gate.IsIdle())
    {
        return;
    }
    DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), m_hDlg, &AboutProc, 0);
}

void CWizardWindow::OnButton(int nId)
{
    // A click that arrives while a step waits in a message box or the pause is not a click
    // on the page the wizard shows.
    if (!m_gate.IsIdle())
    {
        return;
    }
    switch (nId)
    {
    case IDC_ACTION:
        m_gate.Run([this] { m_pCore->ActionButton(); });
        break;
    case IDC_YES:
        m_gate.Run([this] { m_pCore->YesButton(); });
        break;
    case IDC_NO:
        m_gate.Run([this] { m_pCore->NoButton(); });
        break;
    default:
        break;
    }
}

void CWizardWindow::OnCloseRequest()
{
    // A close request while a step runs (its message box) comes after that step, as it
    // would from the message queue.
    if (m_gate.HasEnded() || m_gate.DeferClose())
    {
        return;
    }
    m_gate.Run([this] { m_pCore->Close(); });
}

// ---------------------------------------------------------------------------------------
// The message queue: workers and the core post, the gate hands the messages to the core on
// the dialog's thread, one per wake-up.

void CWizardWindow::PostWizardMessage(SWizardMessage msg)
{
    m_gate.Post(std::move(msg));
}

void CWizardWindow::WakeQueue()
{
    if (HWND hTarget = m_hQueueTarget.load())
    {
        PostMessageW(hTarget, WM_APP_WIZARD_QUEUE, 0, 0);
    }
}

// Whenever the page shows its button row, the keyboard focus is on the action button (or
// Yes), so Space presses it at once.
void CWizardWindow::UpdateFocus()
{
    HWND hTarget = nullptr;
    for (const int nId : {IDC_ACTION, IDC_YES})
    {
        HWND hButton = Control(nId);
        if (hButton != nullptr && (GetWindowLongW(hButton, GWL_STYLE) & WS_VISIBLE) != 0)
        {
            hTarget = hButton;
            break;
        }
    }
    if (hTarget != nullptr && GetFocus() != hTarget)
    {
        SendMessageW(m_hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hTarget), TRUE);
    }
}
