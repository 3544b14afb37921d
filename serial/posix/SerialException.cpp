#include "serial/SerialException.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace
{
// strerror_r comes in two shapes (GNU returns the text, XSI fills the buffer); accept both.
[[maybe_unused]] const char* StrerrorText(char* pszResult, const char*)
{
    return pszResult;
}
[[maybe_unused]] const char* StrerrorText(int nResult, const char* pszBuf)
{
    return nResult == 0 ? pszBuf : nullptr;
}

// The system's text for a code, or null when the system has none. A code is known when the
// C library can name it; its text alone would not tell ("Unknown error N" may be translated).
const char* SystemText(uint32_t code, char* pszScratch, size_t nScratch)
{
    if (code == 0 || code > 0x7FFFFFFFu || strerrorname_np(static_cast<int>(code)) == nullptr)
        return nullptr;
    return StrerrorText(strerror_r(static_cast<int>(code), pszScratch, nScratch), pszScratch);
}
} // namespace

CSerialException::CSerialException(uint32_t errorCode) noexcept : m_errorCode(errorCode)
{
    char szScratch[256];
    const char* pszText = SystemText(errorCode, szScratch, sizeof szScratch);
    if (pszText == nullptr)
        pszText = "serial port error";
    std::strncpy(m_szWhat, pszText, sizeof m_szWhat - 1);
}

bool CSerialException::GetErrorMessage(char* pszBuf, unsigned nSize, unsigned* pnHelpContext) const
{
    if (pnHelpContext != nullptr)
        *pnHelpContext = 0;
    if (pszBuf == nullptr || nSize == 0)
        return false;
    char szScratch[1024];
    const char* pszText = SystemText(m_errorCode, szScratch, sizeof szScratch);
    if (pszText == nullptr)
    {
        pszBuf[0] = '\0';
        return false;
    }
    const size_t nLen = std::min<size_t>(std::strlen(pszText), nSize - 1);
    std::memcpy(pszBuf, pszText, nLen);
    pszBuf[nLen] = '\0';
    return true;
}

void ThrowSerialException(uint32_t errorCode)
{
    if (errorCode == 0)
        errorCode = static_cast<uint32_t>(errno);
    throw CSerialException(errorCode);
}
