// Drives a running orlix.exe from outside, the way a Windows UI test does: finds the wizard
// dialog, presses its buttons, answers its message boxes and open-file dialog, reads control
// texts, visibility and focus, and saves screenshots. The arguments are steps run in order;
// each waiting step gives up after the time-out (default 30 s). Prints one line per step and
// ends with status 1 at the first step that fails, after listing the wizard's controls.
//   gui_driver wait-text 1015 "was found" click 1014 msgbox "prematurely" shot page.bmp ...
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace
{

constexpr int IDC_ACTION = 1014;
constexpr int IDM_ABOUTBOX = 0x0010;
constexpr int MSGBOX_TEXT_ID = 0xFFFF; // the text of a message box
constexpr int FILE_NAME_COMBO = 0x47C; // cmb13 of the open-file dialog
constexpr int FILE_NAME_EDIT = 0x480;  // edt1, the older layout

int g_nTimeoutMs = 30000;

std::wstring ClassOf(HWND hWnd)
{
    wchar_t sz[64] = {};
    GetClassNameW(hWnd, sz, 64);
    return sz;
}

std::wstring TextOf(HWND hWnd)
{
    std::wstring str(static_cast<size_t>(GetWindowTextLengthW(hWnd)) + 1, L'\0');
    str.resize(static_cast<size_t>(GetWindowTextW(hWnd, str.data(), static_cast<int>(str.size()))));
    return str;
}

std::string Narrow(const std::wstring& wstr)
{
    std::string str(wstr.size() * 4 + 1, '\0');
    const int n = WideCharToMultiByte(CP_UTF8, 0, wstr.c_str(), -1, str.data(), static_cast<int>(str.size()),
                                      nullptr, nullptr);
    str.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    return str;
}

bool IsShown(HWND hWnd)
{
    return hWnd != nullptr && (GetWindowLongW(hWnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

// Top-level dialogs (#32770) that are shown and have a child with the given id.
std::vector<HWND> DialogsWithChild(int nChildId)
{
    struct SSearch
    {
        int nChildId;
        std::vector<HWND> found;
    } search{nChildId, {}};
    EnumWindows(
        [](HWND hWnd, LPARAM lParam) -> BOOL
        {
            auto* pSearch = reinterpret_cast<SSearch*>(lParam);
            if (ClassOf(hWnd) == L"#32770" && IsShown(hWnd) && GetDlgItem(hWnd, pSearch->nChildId) != nullptr)
            {
                pSearch->found.push_back(hWnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Wizard()
{
    const std::vector<HWND> found = DialogsWithChild(IDC_ACTION);
    return found.empty() ? nullptr : found.front();
}

HWND TopDialogTitled(const std::wstring& strTitle)
{
    HWND hFound = nullptr;
    for (HWND hWnd : DialogsWithChild(IDOK))
    {
        if (TextOf(hWnd) == strTitle)
        {
            hFound = hWnd;
        }
    }
    return hFound;
}

template <typename Fn> bool WaitFor(Fn&& fn)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_nTimeoutMs);
    while (!fn())
    {
        if (std::chrono::steady_clock::now() >= deadline)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

void DumpWizard()
{
    HWND hWizard = Wizard();
    if (hWizard == nullptr)
    {
        std::printf("  (no wizard window)\n");
        return;
    }
    std::printf("  wizard \"%s\"\n", Narrow(TextOf(hWizard)).c_str());
    for (HWND h = GetWindow(hWizard, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT))
    {
        std::printf("  %5d %-18s %s \"%s\"\n", GetDlgCtrlID(h), Narrow(ClassOf(h)).c_str(),
                    IsShown(h) ? "shown " : "hidden", Narrow(TextOf(h)).c_str());
    }
}

bool SaveScreenshot(HWND hWnd, const std::wstring& strPath)
{
    RECT rc{};
    GetWindowRect(hWnd, &rc);
    const int cx = rc.right - rc.left;
    const int cy = rc.bottom - rc.top;
    HDC hdcScreen = GetDC(nullptr);
    HDC hdcMem = CreateCompatibleDC(hdcScreen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = cy;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* pBits = nullptr;
    HBITMAP hBitmap = CreateDIBSection(hdcScreen, &bi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    HGDIOBJ hOld = SelectObject(hdcMem, hBitmap);
    BitBlt(hdcMem, 0, 0, cx, cy, hdcScreen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    const DWORD nStride = (static_cast<DWORD>(cx) * 3 + 3) & ~3u;
    const DWORD nImage = nStride * static_cast<DWORD>(cy);
    BITMAPFILEHEADER bf{};
    bf.bfType = 0x4D42;
    bf.bfOffBits = sizeof(bf) + sizeof(bi.bmiHeader);
    bf.bfSize = bf.bfOffBits + nImage;
    bool bOk = false;
    if (FILE* pFile = _wfopen(strPath.c_str(), L"wb"))
    {
        bOk = std::fwrite(&bf, sizeof(bf), 1, pFile) == 1 &&
              std::fwrite(&bi.bmiHeader, sizeof(bi.bmiHeader), 1, pFile) == 1 &&
              std::fwrite(pBits, nImage, 1, pFile) == 1;
        bOk = std::fclose(pFile) == 0 && bOk;
    }
    SelectObject(hdcMem, hOld);
    DeleteObject(hBitmap);
    DeleteDC(hdcMem);
    ReleaseDC(nullptr, hdcScreen);
    return bOk;
}

void PostKey(HWND hWnd, UINT nVk)
{
    PostMessageW(hWnd, WM_KEYDOWN, nVk, 1);
    PostMessageW(hWnd, WM_KEYUP, nVk, static_cast<LPARAM>(0xC0000001u));
}

HWND FocusOf(HWND hWizard)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD nThread = GetWindowThreadProcessId(hWizard, nullptr);
    return GetGUIThreadInfo(nThread, &info) ? info.hwndFocus : nullptr;
}

// One step; false when it failed (after saying why).
bool RunStep(const std::vector<std::wstring>& args, size_t& i)
{
    const std::wstring& strCmd = args[i++];
    auto next = [&](const wchar_t* pszWhat) -> std::wstring
    {
        if (i >= args.size())
        {
            std::printf("FAIL: %s needs %s\n", Narrow(strCmd).c_str(), Narrow(pszWhat).c_str());
            return L"\x1";
        }
        return args[i++];
    };
    auto control = [](int nId) { return GetDlgItem(Wizard(), nId); };

    if (strCmd == L"timeout")
    {
        g_nTimeoutMs = static_cast<int>(std::wcstol(next(L"milliseconds").c_str(), nullptr, 10));
        return true;
    }
    if (strCmd == L"sleep")
    {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::wcstol(next(L"milliseconds").c_str(), nullptr, 10)));
        return true;
    }
    if (strCmd == L"wait-window")
    {
        return WaitFor([] { return Wizard() != nullptr; }) ||
               (std::printf("FAIL: no wizard window\n"), false);
    }
    if (strCmd == L"wait-text")
    {
        const int nId = static_cast<int>(std::wcstol(next(L"id").c_str(), nullptr, 10));
        const std::wstring strWant = next(L"text");
        if (WaitFor([&] { return TextOf(control(nId)).find(strWant) != std::wstring::npos; }))
        {
            return true;
        }
        std::printf("FAIL: control %d never showed \"%s\"\n", nId, Narrow(strWant).c_str());
        return false;
    }
    if (strCmd == L"expect-shown" || strCmd == L"expect-hidden")
    {
        const bool bWant = strCmd == L"expect-shown";
        const int nId = static_cast<int>(std::wcstol(next(L"id").c_str(), nullptr, 10));
        if (IsShown(control(nId)) == bWant)
        {
            return true;
        }
        std::printf("FAIL: control %d is %s\n", nId, bWant ? "hidden" : "shown");
        return false;
    }
    if (strCmd == L"expect-focus")
    {
        const int nId = static_cast<int>(std::wcstol(next(L"id").c_str(), nullptr, 10));
        if (WaitFor([&] { return FocusOf(Wizard()) == control(nId) && control(nId) != nullptr; }))
        {
            return true;
        }
        std::printf("FAIL: focus is on control %d, not %d\n", GetDlgCtrlID(FocusOf(Wizard())), nId);
        return false;
    }
    if (strCmd == L"click")
    {
        const int nId = static_cast<int>(std::wcstol(next(L"id").c_str(), nullptr, 10));
        HWND hButton = control(nId);
        if (!WaitFor([&] { return IsShown(hButton = control(nId)) && IsWindowEnabled(Wizard()); }))
        {
            std::printf("FAIL: button %d is not shown\n", nId);
            return false;
        }
        // Posted: a click may open a modal box, and this program must be free to answer it.
        PostMessageW(hButton, BM_CLICK, 0, 0);
        return true;
    }
    if (strCmd == L"key")
    {
        const int nId = static_cast<int>(std::wcstol(next(L"id").c_str(), nullptr, 10));
        const std::wstring strKey = next(L"return|escape|space");
        const UINT nVk = strKey == L"return" ? VK_RETURN : strKey == L"escape" ? VK_ESCAPE : VK_SPACE;
        PostKey(control(nId), nVk);
        return true;
    }
    if (strCmd == L"msgbox")
    {
        const std::wstring strWant = next(L"text");
        HWND hBox = nullptr;
        const bool bFound = WaitFor(
            [&]
            {
                for (HWND h : DialogsWithChild(MSGBOX_TEXT_ID))
                {
                    if (TextOf(GetDlgItem(h, MSGBOX_TEXT_ID)).find(strWant) != std::wstring::npos)
                    {
                        hBox = h;
                        return true;
                    }
                }
                return false;
            });
        if (!bFound)
        {
            std::printf("FAIL: no message box saying \"%s\"\n", Narrow(strWant).c_str());
            return false;
        }
        std::printf("message box \"%s\": \"%s\"\n", Narrow(TextOf(hBox)).c_str(),
                    Narrow(TextOf(GetDlgItem(hBox, MSGBOX_TEXT_ID))).c_str());
        PostMessageW(hBox, WM_COMMAND, IDOK, 0);
        return WaitFor([&] { return !IsWindow(hBox); }) || (std::printf("FAIL: message box stays\n"), false);
    }
    if (strCmd == L"openfile")
    {
        const std::wstring strPath = next(L"path");
        HWND hDlg = nullptr;
        if (!WaitFor(
                [&]
                {
                    const std::vector<HWND> combo = DialogsWithChild(FILE_NAME_COMBO);
                    const std::vector<HWND> edit = DialogsWithChild(FILE_NAME_EDIT);
                    hDlg = !combo.empty() ? combo.front() : !edit.empty() ? edit.front() : nullptr;
                    return hDlg != nullptr;
                }))
        {
            std::printf("FAIL: no open-file dialog\n");
            return false;
        }
        std::printf("open-file dialog \"%s\"\n", Narrow(TextOf(hDlg)).c_str());
        const int nField = GetDlgItem(hDlg, FILE_NAME_COMBO) != nullptr ? FILE_NAME_COMBO : FILE_NAME_EDIT;
        SetDlgItemTextW(hDlg, nField, strPath.c_str());
        PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
        return WaitFor([&] { return !IsWindow(hDlg); }) ||
               (std::printf("FAIL: open-file dialog stays\n"), false);
    }
    if (strCmd == L"about")
    {
        PostMessageW(Wizard(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        const std::wstring strTitle = next(L"title");
        HWND hAbout = nullptr;
        if (!WaitFor([&] { return (hAbout = TopDialogTitled(strTitle)) != nullptr; }))
        {
            std::printf("FAIL: no About box \"%s\"\n", Narrow(strTitle).c_str());
            return false;
        }
        for (HWND h = GetWindow(hAbout, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT))
        {
            std::printf("about: %d \"%s\"\n", GetDlgCtrlID(h), Narrow(TextOf(h)).c_str());
        }
        return true;
    }
    if (strCmd == L"shot")
    {
        const std::wstring strPath = next(L"file.bmp");
        // Let the last change paint.
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        HWND hWnd = GetForegroundWindow();
        if (hWnd == nullptr || !IsShown(hWnd))
        {
            hWnd = Wizard();
        }
        if (hWnd == nullptr || !SaveScreenshot(hWnd, strPath))
        {
            std::printf("FAIL: no screenshot %s\n", Narrow(strPath).c_str());
            return false;
        }
        return true;
    }
    if (strCmd == L"press")
    {
        // OK of the topmost dialog with that title (About box).
        const std::wstring strTitle = next(L"title");
        HWND hDlg = TopDialogTitled(strTitle);
        if (hDlg == nullptr)
        {
            std::printf("FAIL: no dialog \"%s\"\n", Narrow(strTitle).c_str());
            return false;
        }
        PostMessageW(GetDlgItem(hDlg, IDOK), BM_CLICK, 0, 0);
        return WaitFor([&] { return !IsWindow(hDlg); }) || (std::printf("FAIL: dialog stays\n"), false);
    }
    if (strCmd == L"close")
    {
        PostMessageW(Wizard(), WM_CLOSE, 0, 0);
        return true;
    }
    if (strCmd == L"wait-gone")
    {
        return WaitFor([] { return Wizard() == nullptr; }) ||
               (std::printf("FAIL: the wizard stays open\n"), false);
    }
    std::printf("FAIL: unknown step %s\n", Narrow(strCmd).c_str());
    return false;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size();)
    {
        const size_t nFirst = i;
        const bool bOk = RunStep(args, i);
        std::string strLine;
        for (size_t k = nFirst; k < i; ++k)
        {
            strLine += (k == nFirst ? "" : " ") + Narrow(args[k]);
        }
        std::printf("%s %s\n", bOk ? "ok:" : "failed at:", strLine.c_str());
        std::fflush(stdout);
        if (!bOk)
        {
            DumpWizard();
            return 1;
        }
    }
    return 0;
}
