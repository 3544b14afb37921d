// The view half of the wizard window: what the core draws on (texts, icons, rows, boxes, the
// open-file dialog, the status bar and the automatic pause). WizardWindow.cpp holds the
// dialog's creation and its event policy.
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
constexpr int STATUS_PANES = WIZARD_STATUS_PANES;

// Sizes at 96 dpi of the firmware status icons and of the stock icons on the message line.
constexpr int SMALL_ICON_SIZE = 16;
constexpr int LARGE_ICON_SIZE = 32;
constexpr UINT DEFAULT_DPI = 96;

// The open-file dialog's path buffer, long enough for long paths.
constexpr DWORD OPEN_FILE_BUFFER = 32768;

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

// A stock icon at nSize pixels. LoadIconWithScaleDown is missing from some import libraries,
// so it is looked up; without it the icon comes at the system's large size.
HICON LoadStockIcon(PCWSTR pszId, int nSize)
{
    using LoadFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    static const auto pLoad = reinterpret_cast<LoadFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"comctl32.dll"), "LoadIconWithScaleDown")));
    HICON hIcon = nullptr;
    if (pLoad == nullptr || FAILED(pLoad(nullptr, pszId, nSize, nSize, &hIcon)))
    {
        LoadIconMetric(nullptr, pszId, LIM_LARGE, &hIcon);
    }
    return hIcon;
}
} // namespace

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
    const int nLargeSize = ScaleForDpi(LARGE_ICON_SIZE);
    (nId == IDC_FWICON ? m_fwIcon : m_msgIcon) = icon;
    switch (icon)
    {
    case EViewIcon::StockInformation:
        if (m_hStockInfo == nullptr)
        {
            m_hStockInfo = LoadStockIcon(IDI_INFORMATION, nLargeSize);
        }
        hIcon = m_hStockInfo;
        break;
    case EViewIcon::StockExclamation:
        if (m_hStockWarning == nullptr)
        {
            m_hStockWarning = LoadStockIcon(IDI_WARNING, nLargeSize);
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
    m_gate.SetPausing(true);
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
    m_gate.SetPausing(false);
}

void CWizardWindow::EndDialog()
{
    m_gate.End();
    m_hQueueTarget = nullptr;
    if (m_hDlg != nullptr)
    {
        ::EndDialog(m_hDlg, 0);
    }
}
