// Entry point of orlix.exe: the wizard as a native Win32 dialog.
#include "app/core/CommandLine.h"
#include "app/win32/WideText.h"
#include "app/win32/WizardCore.h"
#include "app/win32/WizardWindow.h"

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace
{
std::string ModulePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;)
    {
        const DWORD nLength = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (nLength < buffer.size())
        {
            return WideToUtf8(std::wstring(buffer.data(), nLength));
        }
        buffer.resize(buffer.size() * 2);
    }
}
} // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR pszCmdLine, int)
{
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    // The text table that the resource loader picks for the user's interface language
    // decides the wizard's language.
    const wchar_t* pText101 = nullptr;
    const int nLength = LoadStringW(hInstance, 101, reinterpret_cast<LPWSTR>(&pText101), 0);
    SelectLanguageFromResourceText(
        nLength > 0 ? WideToUtf8(std::wstring(pText101, static_cast<size_t>(nLength))) : std::string());

    const std::string strCmdLine = WideToUtf8(pszCmdLine != nullptr ? pszCmdLine : L"");
    CWizardWindow window(hInstance, strCmdLine, AppNameFromPath(ModulePath()));
    return window.Run();
}
