// Drives a running orlix.exe from outside, as a Windows UI test does. The arguments are steps
// run in order after the wizard dialog appears; waiting steps give up after 60 s. One line per
// step; status 1 at the first failing step, after listing the wizard's controls.
//   wait-text ID TEXT     control ID shows TEXT      expect ID shown|hidden|focus
//   click ID              posts a click              key ID return|escape|space
//   box TEXT              a dialog titled or saying TEXT appears;  ok  presses its OK
//   file PATH             answers the open-file dialog with PATH
//   about | close         the system menu's About item | closing the wizard
//   shot FILE.png | sleep MS | wait-gone
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{
constexpr int IDC_ACTION = 1014, MSGBOX_TEXT = 0xFFFF, FILE_COMBO = 0x47C, FILE_EDIT = 0x480;

std::wstring TextOf(HWND h)
{
    wchar_t sz[1024] = {};
    GetWindowTextW(h, sz, 1024);
    return sz;
}

std::string Narrow(const std::wstring& w)
{
    char sz[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, sz, sizeof sz, nullptr, nullptr);
    return sz;
}

bool IsShown(HWND h)
{
    return h != nullptr && (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0;
}

// The shown top-level dialogs matching pred.
template <typename Pred> HWND FindDialog(Pred pred)
{
    std::pair<Pred*, HWND> search{&pred, nullptr};
    EnumWindows(
        [](HWND h, LPARAM l) -> BOOL
        {
            auto* s = reinterpret_cast<std::pair<Pred*, HWND>*>(l);
            wchar_t szClass[16] = {};
            GetClassNameW(h, szClass, 16);
            if (std::wstring(szClass) == L"#32770" && IsShown(h) && (*s->first)(h))
                s->second = h;
            return s->second == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

HWND Wizard()
{
    return FindDialog([](HWND h) { return GetDlgItem(h, IDC_ACTION) != nullptr; });
}

template <typename Fn> bool WaitFor(Fn&& fn) // polls for about 60 s
{
    for (int i = 0; i < 1200; ++i, Sleep(50))
        if (fn())
            return true;
    return false;
}

HWND FocusOf(HWND hWnd)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(hWnd, nullptr), &info) ? info.hwndFocus : nullptr;
}

HWND g_hBox = nullptr; // the last dialog found by "box" or "file"

// One step, consuming its arguments; false when it failed.
bool RunStep(const std::vector<std::wstring>& args, size_t& i)
{
    const std::wstring cmd = args[i++];
    auto arg = [&] { return i < args.size() ? args[i++] : std::wstring(); };
    auto control = [](int nId) { return GetDlgItem(Wizard(), nId); };
    if (cmd == L"wait-text" || cmd == L"expect" || cmd == L"click" || cmd == L"key")
    {
        const int nId = std::stoi(arg());
        const std::wstring what = arg();
        if (cmd == L"wait-text")
            return WaitFor([&] { return TextOf(control(nId)).find(what) != std::wstring::npos; });
        if (cmd == L"expect" && what == L"focus")
            return WaitFor([&] { return control(nId) != nullptr && FocusOf(Wizard()) == control(nId); });
        if (cmd == L"expect")
            return IsShown(control(nId)) == (what == L"shown");
        if (cmd == L"key")
        {
            const UINT nVk = what == L"return" ? VK_RETURN : what == L"escape" ? VK_ESCAPE : VK_SPACE;
            PostMessageW(control(nId), WM_KEYDOWN, nVk, 1);
            PostMessageW(control(nId), WM_KEYUP, nVk, static_cast<LPARAM>(0xC0000001u));
            return true;
        }
        --i; // click takes no text
        if (!WaitFor([&] { return IsShown(control(nId)) && IsWindowEnabled(Wizard()); }))
            return false;
        PostMessageW(control(nId), BM_CLICK, 0, 0); // posted: the click may open a modal box
        return true;
    }
    if (cmd == L"box" || cmd == L"file")
    {
        const std::wstring want = arg();
        auto match = [&](HWND h)
        {
            if (cmd == L"file")
                return GetDlgItem(h, FILE_COMBO) || GetDlgItem(h, FILE_EDIT);
            return !GetDlgItem(h, IDC_ACTION) &&
                   (TextOf(h).find(want) != std::wstring::npos ||
                    TextOf(GetDlgItem(h, MSGBOX_TEXT)).find(want) != std::wstring::npos);
        };
        if (!WaitFor([&] { return (g_hBox = FindDialog(match)) != nullptr; }))
            return false;
        if (cmd == L"box")
            return true;
        SetDlgItemTextW(g_hBox, GetDlgItem(g_hBox, FILE_COMBO) ? FILE_COMBO : FILE_EDIT, want.c_str());
    }
    if (cmd == L"ok" || cmd == L"file")
        return PostMessageW(g_hBox, WM_COMMAND, IDOK, 0) && WaitFor([] { return !IsWindow(g_hBox); });
    if (cmd == L"about" || cmd == L"close")
        return PostMessageW(Wizard(), cmd == L"about" ? WM_SYSCOMMAND : WM_CLOSE, cmd == L"about" ? 0x10 : 0,
                            0);
    if (cmd == L"shot") // the script grabs the rectangle; done when the file exists
    {
        const std::wstring path = arg();
        Sleep(400); // let the last change paint
        HWND hWnd = GetForegroundWindow();
        RECT rc{};
        GetWindowRect(IsShown(hWnd) ? hWnd : Wizard(), &rc);
        std::printf("grab %s %ldx%ld+%ld+%ld\n", Narrow(path).c_str(), rc.right - rc.left, rc.bottom - rc.top,
                    rc.left, rc.top);
        std::fflush(stdout);
        return WaitFor([&] { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; });
    }
    if (cmd == L"sleep")
        return Sleep(static_cast<DWORD>(std::stoi(arg()))), true;
    if (cmd == L"wait-gone")
        return WaitFor([] { return Wizard() == nullptr; });
    return false;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    bool bOk = WaitFor([] { return Wizard() != nullptr; });
    std::printf("%s wizard window\n", bOk ? "ok:" : "failed at:");
    for (size_t i = 0; bOk && i < args.size();)
    {
        const size_t nFirst = i;
        bOk = RunStep(args, i);
        std::string line;
        for (size_t k = nFirst; k < i; ++k)
            line += " " + Narrow(args[k]);
        std::printf("%s%s\n", bOk ? "ok:" : "failed at:", line.c_str());
        std::fflush(stdout);
    }
    if (HWND hWizard = bOk ? nullptr : Wizard())
        for (HWND h = GetWindow(hWizard, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT))
            std::printf("  %5d %s \"%s\"\n", GetDlgCtrlID(h), IsShown(h) ? "shown " : "hidden",
                        Narrow(TextOf(h)).c_str());
    return bOk ? 0 : 1;
}
