#include "app/win32/WideText.h"

#include <windows.h>

#include <climits>

std::wstring Utf8ToWide(const std::string& str)
{
    if (str.empty() || str.size() > INT_MAX)
    {
        return {};
    }
    const int nIn = static_cast<int>(str.size());
    const int nOut = MultiByteToWideChar(CP_UTF8, 0, str.data(), nIn, nullptr, 0);
    if (nOut <= 0)
    {
        return {};
    }
    std::wstring wstr(static_cast<size_t>(nOut), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, str.data(), nIn, wstr.data(), nOut);
    return wstr;
}

std::string WideToUtf8(const std::wstring& wstr)
{
    if (wstr.empty() || wstr.size() > INT_MAX)
    {
        return {};
    }
    const int nIn = static_cast<int>(wstr.size());
    const int nOut = WideCharToMultiByte(CP_UTF8, 0, wstr.data(), nIn, nullptr, 0, nullptr, nullptr);
    if (nOut <= 0)
    {
        return {};
    }
    std::string str(static_cast<size_t>(nOut), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wstr.data(), nIn, str.data(), nOut, nullptr, nullptr);
    return str;
}

std::wstring OpenFileFilter(const std::string& strFilter)
{
    std::wstring wstr = Utf8ToWide(strFilter);
    for (wchar_t& ch : wstr)
    {
        if (ch == L'|')
        {
            ch = L'\0';
        }
    }
    // However the list was ended, it ends with two NULs here.
    wstr.push_back(L'\0');
    wstr.push_back(L'\0');
    return wstr;
}
