#include "serial/SerialException.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace
{
// The system's text for a code into pszBuf; false when it has none. Inserts are left as they
// stand: without arguments to fill them, the system would read past what it was given.
bool SystemText(uint32_t code, char* pszBuf, size_t nSize)
{
    if (code == 0 || nSize == 0)
        return false;
    char* pszText = nullptr;
    const DWORD dwLen = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), reinterpret_cast<char*>(&pszText), 0, nullptr);
    if (dwLen == 0 || pszText == nullptr)
        return false;
    const size_t nLen = std::min<size_t>(dwLen, nSize - 1);
    std::memcpy(pszBuf, pszText, nLen);
    pszBuf[nLen] = '\0';
    ::LocalFree(pszText);
    return true;
}
} // namespace

CSerialException::CSerialException(uint32_t errorCode) noexcept : m_errorCode(errorCode)
{
    if (!SystemText(errorCode, m_szWhat, sizeof m_szWhat))
        std::strncpy(m_szWhat, "serial port error", sizeof m_szWhat - 1);
}

bool CSerialException::GetErrorMessage(char* pszBuf, unsigned nSize, unsigned* pnHelpContext) const
{
    if (pnHelpContext != nullptr)
        *pnHelpContext = 0;
    if (pszBuf == nullptr || nSize == 0)
        return false;
    pszBuf[0] = '\0';
    return SystemText(m_errorCode, pszBuf, nSize);
}

void ThrowSerialException(uint32_t errorCode)
{
    if (errorCode == 0)
        errorCode = ::GetLastError();
    throw CSerialException(errorCode);
}
