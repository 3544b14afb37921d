#include "firmware/FirmwareImage.h"

#include "firmware/LineReader.h"
#include "firmware/SRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace
{
constexpr uint64_t ADDRESS_SPACE = uint64_t{1} << 32;

struct SFileCloser
{
    void operator()(std::FILE* pFile) const { std::fclose(pFile); }
};
using FilePtr = std::unique_ptr<std::FILE, SFileCloser>;

// What the first pass learns about a file.
struct SScan
{
    uint32_t dwLowest = 0xFFFFFFFF;
    uint64_t qwHighestEnd = 0; // one past the highest data address
    bool bHasData = false;
    std::string strName;
    std::string strVersion;
    std::string strProcessor;
};

// The header record holds name, version and processor, separated by NUL bytes.
void TakeHeaderTexts(const CSRecord& record, SScan& scan)
{
    std::string* texts[3] = {&scan.strName, &scan.strVersion, &scan.strProcessor};
    const char* p = reinterpret_cast<const char*>(record.GetData());
    const char* pEnd = p + record.GetDataLength();
    for (std::string* pText : texts)
    {
        const char* pNul = std::find(p, pEnd, '\0');
        pText->assign(p, pNul);
        p = pNul == pEnd ? pEnd : pNul + 1;
    }
}

// One line must hold one valid record. Text after the checksum is ignored, unless it holds
// the start of a further record: two records on one line, or lines ended by a lone CR, would
// otherwise load without all but their first record.
bool ParseLine(CSRecord& record, const char* pLine, std::size_t nLength)
{
    if (!record.Parse(pLine, nLength))
    {
        return false;
    }
    const std::size_t nRecordEnd = 4 + 2 * std::size_t{record.GetCount()};
    for (std::size_t i = nRecordEnd; i + 1 < nLength; ++i)
    {
        if (pLine[i] == 'S' && pLine[i + 1] >= '0' && pLine[i + 1] <= '9')
        {
            return false;
        }
    }
    return true;
}

// Both passes walk the same lines from the start: every line must be a valid record, and
// onRecord (returning a load result) sees each one in file order.
template <typename TOnRecord> int ForEachRecord(CLineReader& reader, TOnRecord&& onRecord)
{
    if (!reader.Rewind())
    {
        return LOAD_CANNOT_SEEK;
    }
    CSRecord record;
    const char* pLine = nullptr;
    std::size_t nLength = 0;
    while (reader.Next(pLine, nLength))
    {
        if (!ParseLine(record, pLine, nLength))
        {
            return LOAD_CORRUPT;
        }
        const int nResult = onRecord(record);
        if (nResult != LOAD_OK)
        {
            return nResult;
        }
    }
    return reader.Failed() ? LOAD_CANNOT_SEEK : LOAD_OK;
}

// Pass 1: finds the range and the header texts.
int ScanPass(CLineReader& reader, SScan& scan)
{
    const auto scanRecord = [&scan](const CSRecord& record) -> int
    {
        if (record.GetType() == 0)
        {
            TakeHeaderTexts(record, scan);
        }
        else if (record.IsDataRecord())
        {
            // A record must not run past the top of the address space. One without data
            // counts from its address up to the byte before it.
            const uint64_t qwEnd = uint64_t{record.GetAddress()} + record.GetDataLength();
            if (qwEnd > ADDRESS_SPACE)
            {
                return LOAD_CORRUPT;
            }
            scan.dwLowest = std::min(scan.dwLowest, record.GetAddress());
            scan.qwHighestEnd = std::max(scan.qwHighestEnd, qwEnd);
            scan.bHasData = scan.bHasData || record.GetDataLength() > 0;
        }
        return LOAD_OK;
    };
    const int nResult = ForEachRecord(reader, scanRecord);
    if (nResult != LOAD_OK)
    {
        return nResult;
    }
    // Nothing to program must not pass as a firmware.
    return scan.bHasData ? LOAD_OK : LOAD_CORRUPT;
}

// Pass 2: the same lines again, now written into the image in file order.
int FillPass(CLineReader& reader, CFirmwareImage& image)
{
    return ForEachRecord(reader,
                         [&image](const CSRecord& record) -> int
                         {
                             const bool bWhole =
                                 !record.IsDataRecord() ||
                                 image.Write(record.GetData(), record.GetAddress(), record.GetDataLength()) ==
                                     record.GetDataLength();
                             return bWhole ? LOAD_OK : LOAD_CORRUPT;
                         });
}
} // namespace

int CFirmwareImage::Load(const std::string& strPath)
{
    FilePtr file(std::fopen(strPath.c_str(), "rb"));
    if (!file)
    {
        return LOAD_CANNOT_OPEN;
    }
    CLineReader reader(file.get());

    SScan scan;
    const int nScan = ScanPass(reader, scan);
    if (nScan != LOAD_OK)
    {
        return nScan;
    }

    // The range in whole blocks. Checked before allocating, so that no file can make us
    // allocate and fill more than a target could ever hold.
    const uint32_t dwMask = m_dwBlockSize - 1;
    const uint32_t dwLow = scan.dwLowest & ~dwMask;
    const uint32_t dwHigh = static_cast<uint32_t>(scan.qwHighestEnd - 1) | dwMask;
    const uint64_t qwTotal = uint64_t{dwHigh} - dwLow + 1;
    if (qwTotal > MAX_IMAGE_SIZE)
    {
        return LOAD_NO_MEMORY;
    }

    // Built aside and taken over only when complete, so a failed load leaves the image that was
    // there, and a new file never keeps an earlier file's texts.
    CFirmwareImage next;
    next.m_dwBlockSize = m_dwBlockSize;
    next.m_dwLowAddress = dwLow;
    next.m_dwHighAddress = dwHigh;
    next.m_strName = std::move(scan.strName);
    next.m_strVersion = std::move(scan.strVersion);
    next.m_strProcessor = std::move(scan.strProcessor);
    const uint32_t dwTotal = static_cast<uint32_t>(qwTotal);
    if (next.Allocate(dwLow, dwTotal) != dwTotal)
    {
        return LOAD_NO_MEMORY;
    }

    const int nFill = FillPass(reader, next);
    if (nFill != LOAD_OK)
    {
        return nFill;
    }
    next.TakeIdentification();
    *this = std::move(next);
    return LOAD_OK;
}

void CFirmwareImage::TakeIdentification()
{
    std::string* texts[3] = {&m_strProcessor, &m_strVersion, &m_strName};
    uint32_t dwAddress = IDENT_ADDRESS;
    for (std::string* pText : texts)
    {
        uint8_t field[IDENT_FIELD_SIZE];
        const uint32_t dwRead = Read(field, dwAddress, IDENT_FIELD_SIZE);
        if (dwRead > 0)
        {
            const uint8_t* pNul = std::find(field, field + dwRead, uint8_t{0});
            pText->assign(reinterpret_cast<const char*>(field), static_cast<std::size_t>(pNul - field));
        }
        else if (pText->size() > HEADER_TEXT_MAX)
        {
            pText->resize(HEADER_TEXT_MAX);
        }
        dwAddress += IDENT_FIELD_SIZE;
    }
}

void CFirmwareImage::SetBlockSize(uint32_t dwBlockSize)
{
    if (dwBlockSize != 0 && (dwBlockSize & (dwBlockSize - 1)) == 0)
    {
        m_dwBlockSize = dwBlockSize;
    }
}

uint32_t CFirmwareImage::Allocate(uint32_t dwBase, uint32_t dwSize)
{
    Free();
    if (dwSize == 0 || uint64_t{dwBase} + dwSize > ADDRESS_SPACE)
    {
        return 0;
    }
    m_pBuffer.reset(new (std::nothrow) uint8_t[dwSize]);
    if (!m_pBuffer)
    {
        return 0;
    }
    std::memset(m_pBuffer.get(), BLANK, dwSize);
    m_dwBase = dwBase;
    m_dwSize = dwSize;
    return dwSize;
}

void CFirmwareImage::Free()
{
    m_pBuffer.reset();
    m_dwBase = 0;
    m_dwSize = 0;
}

uint32_t CFirmwareImage::Read(uint8_t* pDest, uint32_t dwAddress, uint32_t dwMax) const
{
    const uint64_t qwEnd = uint64_t{m_dwBase} + m_dwSize;
    if (pDest == nullptr || !m_pBuffer || dwAddress < m_dwBase || dwAddress > qwEnd)
    {
        return 0;
    }
    const uint32_t dwCount = static_cast<uint32_t>(std::min<uint64_t>(dwMax, qwEnd - dwAddress));
    std::memcpy(pDest, m_pBuffer.get() + (dwAddress - m_dwBase), dwCount);
    return dwCount;
}

uint32_t CFirmwareImage::Write(const uint8_t* pSource, uint32_t dwAddress, uint32_t dwLength)
{
    const uint64_t qwEnd = uint64_t{m_dwBase} + m_dwSize;
    if (pSource == nullptr || !m_pBuffer || dwAddress < m_dwBase || dwAddress >= qwEnd)
    {
        return 0;
    }
    const uint32_t dwCount = static_cast<uint32_t>(std::min<uint64_t>(dwLength, qwEnd - dwAddress));
    std::memcpy(m_pBuffer.get() + (dwAddress - m_dwBase), pSource, dwCount);
    return dwCount;
}

uint32_t CFirmwareImage::ReadBlock(uint8_t* pDest, uint32_t dwAddress) const
{
    return Read(pDest, dwAddress, m_dwBlockSize);
}

bool CFirmwareImage::IsBlockBlank(uint32_t dwAddress) const
{
    if (!m_pBuffer || dwAddress < m_dwBase ||
        uint64_t{dwAddress} + m_dwBlockSize > uint64_t{m_dwBase} + m_dwSize)
    {
        return false;
    }
    const uint8_t* p = m_pBuffer.get() + (dwAddress - m_dwBase);
    uint8_t nAll = BLANK;
    for (uint32_t i = 0; i < m_dwBlockSize; ++i)
    {
        nAll &= p[i];
    }
    return nAll == BLANK;
}
