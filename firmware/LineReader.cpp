#include "firmware/LineReader.h"

#include <algorithm>
#include <cstring>

namespace
{
// Bytes needed to decide where a line ends: MAX_LINE characters plus a CR LF pair that counts
// as one.
constexpr std::size_t LOOKAHEAD = CLineReader::MAX_LINE + 1;
} // namespace

CLineReader::CLineReader(std::FILE* pFile, std::size_t nChunk)
    : m_pFile(pFile), m_nChunk(std::max<std::size_t>(nChunk, 1)),
      m_pBuffer(new char[std::max(m_nChunk, LOOKAHEAD) + LOOKAHEAD])
{
}

bool CLineReader::Rewind()
{
    m_nPos = 0;
    m_nEnd = 0;
    m_bEof = false;
    m_bFailed = false;
    if (m_pFile == nullptr || std::fseek(m_pFile, 0, SEEK_SET) != 0)
    {
        m_bEof = true;
        return false;
    }
    std::clearerr(m_pFile);
    return true;
}

void CLineReader::Fill()
{
    const std::size_t nCapacity = std::max(m_nChunk, LOOKAHEAD) + LOOKAHEAD;
    while (!m_bEof && m_nEnd - m_nPos < LOOKAHEAD)
    {
        if (m_nPos > 0)
        {
            std::memmove(m_pBuffer.get(), m_pBuffer.get() + m_nPos, m_nEnd - m_nPos);
            m_nEnd -= m_nPos;
            m_nPos = 0;
        }
        char* pFree = m_pBuffer.get() + m_nEnd;
        const std::size_t nWant = std::min(m_nChunk, nCapacity - m_nEnd);
        const std::size_t nGot = m_pFile != nullptr ? std::fread(pFree, 1, nWant, m_pFile) : 0;
        const void* pCtrlZ = std::memchr(pFree, CTRL_Z, nGot);
        if (pCtrlZ != nullptr)
        {
            m_nEnd += static_cast<std::size_t>(static_cast<const char*>(pCtrlZ) - pFree);
            m_bEof = true;
            return;
        }
        m_nEnd += nGot;
        if (nGot < nWant)
        {
            // A short read is the end of the file or an error; an error must not pass as a
            // normal end, or a truncated file would load.
            m_bFailed = m_pFile == nullptr || std::ferror(m_pFile) != 0;
            m_bEof = true;
        }
    }
}

bool CLineReader::Next(const char*& pLine, std::size_t& nLength)
{
    Fill();
    if (m_bFailed)
    {
        return false;
    }
    const std::size_t nAvail = m_nEnd - m_nPos;
    if (nAvail == 0)
    {
        return false;
    }
    const char* p = m_pBuffer.get() + m_nPos;
    const std::size_t nScan = std::min(nAvail, LOOKAHEAD);
    const void* pLf = std::memchr(p, '\n', nScan);
    std::size_t nLen = 0;
    if (pLf != nullptr)
    {
        const std::size_t nLfAt = static_cast<std::size_t>(static_cast<const char*>(pLf) - p);
        const bool bCrLf = nLfAt > 0 && p[nLfAt - 1] == '\r';
        const std::size_t nChars = nLfAt + 1 - (bCrLf ? 1 : 0);
        nLen = nChars <= MAX_LINE ? nLfAt + 1 : MAX_LINE;
    }
    else
    {
        nLen = std::min(nAvail, MAX_LINE);
    }
    pLine = p;
    nLength = nLen;
    m_nPos += nLen;
    return true;
}
