#include "app/cli/ConsolePlatform.h"
#include "app/cli/ConsoleApp.h"
#include "app/core/Texts.h"

#include <cstdlib>
#include <windows.h>

namespace
{
UINT g_nSavedInputCp = 0;
UINT g_nSavedOutputCp = 0;

// The console window is shared with the shell that started the program; leave its code pages
// as they were.
void RestoreCodePages()
{
    if (g_nSavedOutputCp != 0)
    {
        SetConsoleOutputCP(g_nSavedOutputCp);
    }
    if (g_nSavedInputCp != 0)
    {
        SetConsoleCP(g_nSavedInputCp);
    }
}

bool IsConsoleHandle(DWORD dwStdHandle)
{
    DWORD dwMode = 0;
    return GetConsoleMode(GetStdHandle(dwStdHandle), &dwMode) != 0;
}

bool HasLocaleEnvironment()
{
    for (const char* pszName : {"LC_ALL", "LC_MESSAGES", "LANG"})
    {
        const char* pszValue = std::getenv(pszName);
        if (pszValue != nullptr && *pszValue != '\0')
        {
            return true;
        }
    }
    return false;
}
} // namespace

void PrepareConsole()
{
    // The texts are UTF-8 (umlauts, and whatever a firmware file names itself).
    g_nSavedOutputCp = GetConsoleOutputCP();
    g_nSavedInputCp = GetConsoleCP();
    if (g_nSavedOutputCp != 0 || g_nSavedInputCp != 0)
    {
        SetConsoleOutputCP(CP_UTF8);
        SetConsoleCP(CP_UTF8);
        std::atexit(&RestoreCodePages);
    }
    // Windows users rarely have LANG set; their display language is the better guide.
    if (!HasLocaleEnvironment() && PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_GERMAN)
    {
        SelectTextLanguage(ETextLanguage::German);
    }
}

bool IsConsoleOutput()
{
    return IsConsoleHandle(STD_OUTPUT_HANDLE);
}

bool IsConsoleInput()
{
    return IsConsoleHandle(STD_INPUT_HANDLE);
}

// Windows has no owning group to suggest; the hint then names no group of its own.
std::string DeviceGroupName(const std::string& /*strPath*/)
{
    return {};
}
