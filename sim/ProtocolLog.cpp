#include "sim/ProtocolLog.h"

#include <cerrno>
#include <cstring>

namespace
{
constexpr size_t BYTES_PER_LINE = 16;
}

CProtocolLog::~CProtocolLog()
{
    Close();
}

bool CProtocolLog::Open(const std::string& strPath, SimTime start, std::string& strError)
{
    Close();
    m_pFile = std::fopen(strPath.c_str(), "we");
    if (m_pFile == nullptr)
    {
        strError = "cannot create the log " + strPath + ": " + std::strerror(errno);
        return false;
    }
    m_start = start;
    return true;
}

void CProtocolLog::Close()
{
    if (m_pFile != nullptr)
    {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
}

double CProtocolLog::Seconds(SimTime t) const
{
    return std::chrono::duration<double>(t - m_start).count();
}

void CProtocolLog::Bytes(SimTime t, const char* pszDirection, uint32_t dwBaud, const uint8_t* pData,
                         size_t nCount)
{
    if (m_pFile == nullptr)
    {
        return;
    }
    for (size_t i = 0; i < nCount; i += BYTES_PER_LINE)
    {
        std::fprintf(m_pFile, "%11.6f %-7s %6u ", Seconds(t), pszDirection, dwBaud);
        for (size_t j = i; j < nCount && j < i + BYTES_PER_LINE; ++j)
        {
            std::fprintf(m_pFile, " %02X", pData[j]);
        }
        std::fputc('\n', m_pFile);
    }
}

void CProtocolLog::Note(SimTime t, const std::string& strText)
{
    if (m_pFile != nullptr)
    {
        std::fprintf(m_pFile, "%11.6f --      %s\n", Seconds(t), strText.c_str());
    }
}

void CProtocolLog::Flush()
{
    if (m_pFile != nullptr)
    {
        std::fflush(m_pFile);
    }
}
