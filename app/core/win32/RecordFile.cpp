#include "app/core/RecordFile.h"

#include <windows.h>

namespace
{
bool Fail(std::string& strError, const char* pszWhat, DWORD dwError)
{
    char szText[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0, szText,
                   sizeof szText, nullptr);
    strError = std::string(pszWhat) + ": " + szText;
    return false;
}
} // namespace

bool AppendRecordLine(const std::string& strPath, const std::string& strLine, std::string& strError)
{
    // FILE_APPEND_DATA alone: every write goes to the end of the file, as O_APPEND does.
    HANDLE hFile = CreateFileA(strPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        return Fail(strError, "CreateFile", GetLastError());
    }
    LARGE_INTEGER before = {};
    const bool bKnowSize = GetFileSizeEx(hFile, &before) != 0;
    DWORD dwWritten = 0;
    const BOOL bOk =
        WriteFile(hFile, strLine.data(), static_cast<DWORD>(strLine.size()), &dwWritten, nullptr);
    const DWORD dwError = GetLastError();
    if (!bOk || dwWritten != strLine.size())
    {
        CloseHandle(hFile);
        if (dwWritten > 0 && bKnowSize)
        {
            // Half a line would run into the next record: cut it off (needs write access).
            HANDLE hCut = CreateFileA(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (hCut != INVALID_HANDLE_VALUE)
            {
                SetFilePointerEx(hCut, before, nullptr, FILE_BEGIN);
                SetEndOfFile(hCut);
                CloseHandle(hCut);
            }
        }
        return Fail(strError, "WriteFile", bOk ? ERROR_DISK_FULL : dwError);
    }
    if (!FlushFileBuffers(hFile))
    {
        const DWORD dwFlushError = GetLastError();
        CloseHandle(hFile);
        return Fail(strError, "FlushFileBuffers", dwFlushError);
    }
    CloseHandle(hFile);
    return true;
}
