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

// Status bar panes: 60 % and 25 % of the client width, the third takes the rest.
constexpr int STATUS_PANES = 3;

// Size at 96 dpi of the firmware status icons (the stock icons come at the system's size).
constexpr int SMALL_ICON_SIZE = 16;
constexpr UINT DEFAULT_DPI = 96;

// The banner's control in dialog units.
constexpr int BANNER_WIDTH_DLU = 267;
constexpr int BANNER_HEIGHT_DLU = 49;

// The open-file dialog's path buffer, long enough for long paths.
constexpr DWORD OPEN_FILE_BUFFER = 32768;

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

UINT WindowDpi(HWND hWnd)
{
    // GetDpiForWindow exists from Windows 10 1607 on; older systems have one DPI for all.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto pGetDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (pGetDpiForWindow != nullptr && hWnd != nullptr)
    {
        const UINT nDpi = pGetDpiForWindow(hWnd);
        if (nDpi != 0)
        {
            return nDpi;
        }
    }
    HDC hdc = GetDC(nullptr);
    const int nDpi = GetDeviceCaps(hdc, LOGPIXELSY);
    ReleaseDC(nullptr, hdc);
    return nDpi > 0 ? static_cast<UINT>(nDpi) : DEFAULT_DPI;
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

template <typename Fn> void CWizardWindow::CallCore(Fn&& fn)
{
    ++m_nCoreDepth;
    fn();
    --m_nCoreDepth;
    if (m_nCoreDepth == 0)
    {
        AfterCoreCall();
    }
}

CWizardWindow::CWizardWindow(HINSTANCE hInstance, const std::string& strCmdLine,
                             const std::string& strAppName)
    : m_hInstance(hInstance), m_pCore(std::make_unique<CWizardCore>(*this, strCmdLine, strAppName))
{
}

CWizardWindow::~CWizardWindow()
{
    m_bEnded = true;
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
    if (nResult == -1 && !m_bEnded)
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
    {
        std::lock_guard lock(m_mutexQueue);
        m_bWakePending = false;
    }
        DispatchQueue();
        return TRUE;
    case WM_SIZE:
        LayoutStatusBar();
        return FALSE;
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

    m_hIconBig = LoadOwnIcon(IDR_MAINFRAME, GetSystemMetrics(SM_CXICON));
    m_hIconSmall = LoadOwnIcon(IDR_MAINFRAME, GetSystemMetrics(SM_CXSMICON));
    SendMessageW(hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIconBig));
    SendMessageW(hDlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));
    SendDlgItemMessageW(hDlg, IDC_PROGRESS, PBM_SETRANGE32, 0, 100);

    // The first step shows the welcome page (and may load the command line's firmware)
    // before the dialog becomes visible.
    CallCore([this] { m_pCore->InitDialog(); });
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
    if (hBanner == nullptr || hSource == nullptr || GetObjectW(hSource, sizeof(bm), &bm) == 0 ||
        (bm.bmWidth == rc.right && bm.bmHeight == rc.bottom))
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
    m_hBanner = CreateCompatibleBitmap(hdcScreen, rc.right, rc.bottom);
    HGDIOBJ hOldSource = SelectObject(hdcSource, hSource);
    HGDIOBJ hOldTarget = SelectObject(hdcTarget, m_hBanner);
    SetStretchBltMode(hdcTarget, HALFTONE);
    SetBrushOrgEx(hdcTarget, 0, 0, nullptr);
    StretchBlt(hdcTarget, 0, 0, rc.right, rc.bottom, hdcSource, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    SelectObject(hdcSource, hOldSource);
    SelectObject(hdcTarget, hOldTarget);
    DeleteDC(hdcSource);
    DeleteDC(hdcTarget);
    ReleaseDC(nullptr, hdcScreen);
    DeleteObject(hSource);
    SendMessageW(hBanner, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_hBanner));
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
    if (m_nCoreDepth > 0 || m_bPausing || m_bEnded)
    {
        return;
    }
    DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), m_hDlg, &AboutProc, 0);
}

void CWizardWindow::OnButton(int nId)
{
    // A click that arrives while a step waits in a message box or the pause is not a click
    // on the page the wizard shows.
    if (m_bEnded || m_nCoreDepth > 0 || m_bPausing)
    {
        return;
    }
    switch (nId)
    {
    case IDC_ACTION:
        CallCore([this] { m_pCore->ActionButton(); });
        break;
    case IDC_YES:
        CallCore([this] { m_pCore->YesButton(); });
        break;
    case IDC_NO:
        CallCore([this] { m_pCore->NoButton(); });
        break;
    default:
        break;
    }
}

void CWizardWindow::OnCloseRequest()
{
    if (m_bEnded)
    {
        return;
    }
    // A close request while a step runs (its message box) comes after that step, as it
    // would from the message queue.
    if (m_nCoreDepth > 0 || m_bPausing)
    {
        m_bCloseDeferred = true;
        return;
    }
    CallCore([this] { m_pCore->Close(); });
}

// ---------------------------------------------------------------------------------------
// The message queue. Workers and the core post; the dialog's thread handles the messages in
// the order posted, one per wake-up, so painting and input go on in between. A step never
// runs inside another: while the core waits in a modal box only status messages (which
// merely change controls) pass; the rest waits until the core has returned.

void CWizardWindow::PostWizardMessage(SWizardMessage msg)
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
        HWND hTarget = m_hQueueTarget.load();
        if (hTarget != nullptr)
        {
            PostMessageW(hTarget, WM_APP_WIZARD_QUEUE, 0, 0);
        }
    }
}

void CWizardWindow::WakeQueue()
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
    if (bWake && m_hDlg != nullptr)
    {
        PostMessageW(m_hDlg, WM_APP_WIZARD_QUEUE, 0, 0);
    }
}

void CWizardWindow::DispatchQueue()
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
    {
        std::lock_guard lock(m_mutexQueue);
        if (m_queue.empty())
        {
            return;
        }
        msg = std::move(m_queue.front());
        m_queue.pop_front();
    }
    WakeQueue();
    CallCore([this, &msg] { m_pCore->HandleMessage(msg); });
}

void CWizardWindow::AfterCoreCall()
{
    if (m_bEnded)
    {
        return;
    }
    if (m_bCloseDeferred)
    {
        m_bCloseDeferred = false;
        OnCloseRequest();
        if (m_bEnded)
        {
            return;
        }
    }
    UpdateFocus();
    WakeQueue();
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

// ---------------------------------------------------------------------------------------
// IWizardView

void CWizardWindow::SetControlText(int nId, const std::string& strText)
{
    if (HWND hCtl = Control(nId))
    {
        SetWindowTextW(hCtl, Utf8ToWide(strText).c_str());
    }
}

UINT CWizardWindow::Dpi() const
{
    return WindowDpi(m_hDlg);
}

int CWizardWindow::ScaleForDpi(int nPixels) const
{
    return MulDiv(nPixels, static_cast<int>(Dpi()), static_cast<int>(DEFAULT_DPI));
}

HICON CWizardWindow::LoadOwnIcon(int nResId, int nSize)
{
    return static_cast<HICON>(LoadImageW(m_hInstance, MAKEINTRESOURCEW(nResId), IMAGE_ICON, nSize, nSize, 0));
}

void CWizardWindow::SetControlIcon(int nId, EViewIcon icon)
{
    HICON hIcon = nullptr;
    const int nSmallSize = ScaleForDpi(SMALL_ICON_SIZE);
    switch (icon)
    {
    case EViewIcon::StockInformation:
        if (m_hStockInfo == nullptr)
        {
            LoadIconMetric(nullptr, IDI_INFORMATION, LIM_LARGE, &m_hStockInfo);
        }
        hIcon = m_hStockInfo;
        break;
    case EViewIcon::StockExclamation:
        if (m_hStockWarning == nullptr)
        {
            LoadIconMetric(nullptr, IDI_WARNING, LIM_LARGE, &m_hStockWarning);
        }
        hIcon = m_hStockWarning;
        break;
    case EViewIcon::FwInfo:
        if (m_hFwInfo == nullptr)
        {
            m_hFwInfo = LoadOwnIcon(IDI_FWINFO, nSmallSize);
        }
        hIcon = m_hFwInfo;
        break;
    case EViewIcon::FwWarning:
        if (m_hFwWarning == nullptr)
        {
            m_hFwWarning = LoadOwnIcon(IDI_FWWARNING, nSmallSize);
        }
        hIcon = m_hFwWarning;
        break;
    case EViewIcon::None:
        break;
    }
    if (HWND hCtl = Control(nId))
    {
        SendMessageW(hCtl, STM_SETICON, reinterpret_cast<WPARAM>(hIcon), 0);
        // A removed icon must not leave its picture behind on the transparent control.
        RECT rc{};
        GetWindowRect(hCtl, &rc);
        MapWindowPoints(nullptr, m_hDlg, reinterpret_cast<POINT*>(&rc), 2);
        InvalidateRect(m_hDlg, &rc, TRUE);
    }
}

void CWizardWindow::ShowControl(int nId, bool bShow)
{
    if (HWND hCtl = Control(nId))
    {
        ShowWindow(hCtl, bShow ? SW_SHOW : SW_HIDE);
    }
}

void CWizardWindow::SetProgressRange(int nLower, int nUpper)
{
    m_nProgressLower = nLower;
    SendDlgItemMessageW(m_hDlg, IDC_PROGRESS, PBM_SETRANGE32, static_cast<WPARAM>(nLower),
                        static_cast<LPARAM>(std::max(nUpper, nLower + 1)));
}

void CWizardWindow::SetProgressPos(int nPos)
{
    SendDlgItemMessageW(m_hDlg, IDC_PROGRESS, PBM_SETPOS,
                        static_cast<WPARAM>(std::max(nPos, m_nProgressLower)), 0);
}

void CWizardWindow::PlaySound(EViewSound sound)
{
    MessageBeep(sound == EViewSound::Information ? MB_ICONASTERISK : MB_ICONEXCLAMATION);
}

void CWizardWindow::MessageBox(const std::string& strText, const std::string& strCaption, EMsgBoxIcon icon)
{
    const auto nType = static_cast<UINT>(
        MB_OK | (icon == EMsgBoxIcon::Information ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
    // Before the dialog is shown (a command-line file that cannot be opened) the box stands
    // on its own.
    HWND hOwner = m_hDlg != nullptr && IsWindowVisible(m_hDlg) ? m_hDlg : nullptr;
    MessageBoxW(hOwner, Utf8ToWide(strText).c_str(), Utf8ToWide(strCaption).c_str(), nType);
}

bool CWizardWindow::OpenFileDialog(const std::string& strInitialName, const std::string& strFilter,
                                   std::string& strPath)
{
    const std::wstring strFilterW = OpenFileFilter(strFilter);
    std::vector<wchar_t> buffer(OPEN_FILE_BUFFER, L'\0');
    const std::wstring strInitial = Utf8ToWide(strInitialName);
    if (strInitial.size() < buffer.size())
    {
        std::copy(strInitial.begin(), strInitial.end(), buffer.begin());
    }
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = m_hDlg;
    ofn.lpstrFilter = strFilterW.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = OPEN_FILE_BUFFER;
    // A typed name that does not exist reaches the wizard, which says it cannot be accessed.
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
    if (!GetOpenFileNameW(&ofn) || buffer[0] == L'\0')
    {
        return false;
    }
    strPath = WideToUtf8(buffer.data());
    return true;
}

void CWizardWindow::BeginWaitCursor()
{
    HCURSOR hPrevious = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    if (m_nWaitCursor++ == 0)
    {
        m_hCursorBeforeWait = hPrevious;
    }
}

void CWizardWindow::EndWaitCursor()
{
    if (m_nWaitCursor > 0 && --m_nWaitCursor == 0)
    {
        SetCursor(m_hCursorBeforeWait != nullptr ? m_hCursorBeforeWait : LoadCursorW(nullptr, IDC_ARROW));
    }
}

void CWizardWindow::SetStatusPane(int nPane, const std::string& strText)
{
    if (nPane >= 0 && nPane < STATUS_PANES)
    {
        m_paneTexts[static_cast<size_t>(nPane)] = Utf8ToWide(strText);
        ShowStatusPane(nPane);
    }
}

// A path too long for its pane loses the middle of its folders, not its file name.
void CWizardWindow::ShowStatusPane(int nPane)
{
    if (m_hStatusBar == nullptr)
    {
        return;
    }
    std::wstring strShown = m_paneTexts[static_cast<size_t>(nPane)];
    RECT rc{};
    if (!strShown.empty() && SendMessageW(m_hStatusBar, SB_GETRECT, static_cast<WPARAM>(nPane),
                                          reinterpret_cast<LPARAM>(&rc)) != 0)
    {
        rc.right -= 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXBORDER);
        // DT_MODIFYSTRING may write up to four characters more than the text holds.
        strShown.append(4, L'\0');
        HDC hdc = GetDC(m_hStatusBar);
        HGDIOBJ hOldFont =
            SelectObject(hdc, reinterpret_cast<HGDIOBJ>(SendMessageW(m_hStatusBar, WM_GETFONT, 0, 0)));
        DrawTextW(hdc, strShown.data(), -1, &rc,
                  DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS | DT_MODIFYSTRING | DT_CALCRECT);
        SelectObject(hdc, hOldFont);
        ReleaseDC(m_hStatusBar, hdc);
        strShown.resize(std::wcslen(strShown.c_str()));
    }
    SendMessageW(m_hStatusBar, SB_SETTEXTW, static_cast<WPARAM>(nPane),
                 reinterpret_cast<LPARAM>(strShown.c_str()));
}

// The page must be on the screen during the pause, and the dialog must not react: only
// painting runs; input and the queue wait and are handled afterwards, in order.
void CWizardWindow::Pause(uint32_t dwMilliseconds)
{
    using Clock = std::chrono::steady_clock;
    m_bPausing = true;
    UpdateFocus();
    RedrawWindow(m_hDlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
    for (;;)
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT))
        {
            DispatchMessageW(&msg);
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
        {
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), static_cast<DWORD>(QS_PAINT));
    }
    m_bPausing = false;
}

void CWizardWindow::EndDialog()
{
    m_bEnded = true;
    m_hQueueTarget = nullptr;
    if (m_hDlg != nullptr)
    {
        ::EndDialog(m_hDlg, 0);
    }
}
