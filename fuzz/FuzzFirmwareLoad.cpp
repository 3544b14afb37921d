// Loads arbitrary bytes as a firmware file with CFirmwareImage::Load and checks the result
// against the plain reference reading: the result code, the range, every byte a record wrote,
// the 0xFF fill elsewhere, the texts, and that a failed load leaves the earlier image alone.
//
// Load takes a path, so each input is written to a file of this process's own in /dev/shm.
#include "firmware/FirmwareImage.h"
#include "fuzz/SRecordModel.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace
{
constexpr uint32_t BLOCK = 512;
// Images up to this size are also scanned whole for stray bytes.
constexpr uint32_t FULL_SCAN_LIMIT = 256 * 1024;

[[noreturn]] void Fail(const char* pWhat)
{
    std::fprintf(stderr, "fuzz_firmware_load: %s\n", pWhat);
    std::abort();
}

std::string g_strPath;
bool g_bTrailingRecordKnown = false;
unsigned long g_nTrailingRecordHits = 0;
CFirmwareImage g_image; // lives across inputs, so a failed load must leave it as it was

void AtExit()
{
    std::remove(g_strPath.c_str());
    if (g_bTrailingRecordKnown)
    {
        std::fprintf(stderr, "fuzz_firmware_load: known finding trailing-record hit %lu times\n",
                     g_nTrailingRecordHits);
    }
}

void WriteFile(const uint8_t* pData, std::size_t nSize)
{
    std::FILE* pFile = std::fopen(g_strPath.c_str(), "wb");
    if (pFile == nullptr || std::fwrite(pData, 1, nSize, pFile) != nSize || std::fclose(pFile) != 0)
    {
        Fail("cannot write the input file");
    }
}

struct SExpected
{
    int nResult = LOAD_CORRUPT;
    bool bHiddenRecord = false; // a line holds a further record after its checksum
    uint32_t dwLow = 0;
    uint32_t dwHigh = 0;
    std::unordered_map<uint32_t, uint8_t> bytes; // address -> the last byte written there
    std::string strName;
    std::string strVersion;
    std::string strProcessor;
};

SExpected Expect(std::string_view file)
{
    SExpected expected;
    uint64_t qwLowest = UINT64_MAX;
    uint64_t qwHighestEnd = 0;
    bool bHasData = false;
    for (const std::string& strLine : SplitLinesModel(file))
    {
        expected.bHiddenRecord = expected.bHiddenRecord || HidesRecordModel(strLine);
        const SModelRecord record = DecodeRecordModel(strLine, !g_bTrailingRecordKnown);
        if (!record.bValid)
        {
            return expected;
        }
        if (record.nType == 0)
        {
            std::string* texts[3] = {&expected.strName, &expected.strVersion, &expected.strProcessor};
            std::string strData(record.data.begin(), record.data.end());
            std::size_t nPos = 0;
            for (std::string* pText : texts)
            {
                const std::size_t nNul = std::min(strData.find('\0', nPos), strData.size());
                *pText = nPos < strData.size() ? strData.substr(nPos, nNul - nPos) : std::string();
                nPos = nNul + 1;
            }
        }
        else if (record.nType <= 3)
        {
            const uint64_t qwEnd = uint64_t{record.dwAddress} + record.data.size();
            if (qwEnd > (uint64_t{1} << 32))
            {
                return expected;
            }
            qwLowest = std::min<uint64_t>(qwLowest, record.dwAddress);
            qwHighestEnd = std::max(qwHighestEnd, qwEnd);
            bHasData = bHasData || !record.data.empty();
            for (std::size_t i = 0; i < record.data.size(); ++i)
            {
                expected.bytes[static_cast<uint32_t>(record.dwAddress + i)] = record.data[i];
            }
        }
    }
    if (!bHasData)
    {
        return expected;
    }
    expected.dwLow = static_cast<uint32_t>(qwLowest) & ~(BLOCK - 1);
    expected.dwHigh = static_cast<uint32_t>(qwHighestEnd - 1) | (BLOCK - 1);
    if (uint64_t{expected.dwHigh} - expected.dwLow + 1 > CFirmwareImage::MAX_IMAGE_SIZE)
    {
        expected.nResult = LOAD_NO_MEMORY;
        return expected;
    }
    expected.nResult = LOAD_OK;

    const uint32_t dwIdent = CFirmwareImage::IDENT_ADDRESS;
    if (expected.dwLow <= dwIdent && dwIdent + 3 * CFirmwareImage::IDENT_FIELD_SIZE - 1 <= expected.dwHigh)
    {
        std::string* texts[3] = {&expected.strProcessor, &expected.strVersion, &expected.strName};
        uint32_t dwField = dwIdent;
        for (std::string* pText : texts)
        {
            pText->clear();
            for (uint32_t i = 0; i < CFirmwareImage::IDENT_FIELD_SIZE; ++i)
            {
                const auto it = expected.bytes.find(dwField + i);
                const uint8_t nByte = it == expected.bytes.end() ? CFirmwareImage::BLANK : it->second;
                if (nByte == 0)
                {
                    break;
                }
                *pText += static_cast<char>(nByte);
            }
            dwField += CFirmwareImage::IDENT_FIELD_SIZE;
        }
    }
    else
    {
        for (std::string* pText : {&expected.strName, &expected.strVersion, &expected.strProcessor})
        {
            if (pText->size() > CFirmwareImage::HEADER_TEXT_MAX)
            {
                pText->resize(CFirmwareImage::HEADER_TEXT_MAX);
            }
        }
    }
    return expected;
}

// What a failed load must not change.
struct SSnapshot
{
    bool bLoaded = false;
    uint32_t dwLow = 0;
    uint32_t dwHigh = 0;
    uint32_t dwBase = 0;
    uint32_t dwSize = 0;
    std::string strName;
    std::string strVersion;
    std::string strProcessor;
    std::vector<uint8_t> head;

    static SSnapshot Take(const CFirmwareImage& image)
    {
        SSnapshot snap;
        snap.bLoaded = image.IsLoaded();
        snap.dwLow = image.GetLowAddress();
        snap.dwHigh = image.GetHighAddress();
        snap.dwBase = image.GetBase();
        snap.dwSize = image.GetSize();
        snap.strName = image.GetName();
        snap.strVersion = image.GetVersion();
        snap.strProcessor = image.GetProcessor();
        snap.head.resize(std::min<uint32_t>(image.GetSize(), 64));
        if (!snap.head.empty())
        {
            image.Read(snap.head.data(), image.GetBase(), static_cast<uint32_t>(snap.head.size()));
        }
        return snap;
    }

    bool operator==(const SSnapshot&) const = default;
};

SSnapshot g_snapshot;

void CheckLoaded(const CFirmwareImage& image, const SExpected& expected)
{
    if (!image.IsLoaded() || image.GetLowAddress() != expected.dwLow ||
        image.GetHighAddress() != expected.dwHigh || image.GetBase() != expected.dwLow ||
        uint64_t{image.GetSize()} != uint64_t{expected.dwHigh} - expected.dwLow + 1)
    {
        Fail("range or buffer differ from the reference");
    }
    if (image.GetName() != expected.strName || image.GetVersion() != expected.strVersion ||
        image.GetProcessor() != expected.strProcessor)
    {
        Fail("identification texts differ from the reference");
    }
    for (const auto& [dwAddress, nValue] : expected.bytes)
    {
        uint8_t nByte = 0;
        if (image.Read(&nByte, dwAddress, 1) != 1 || nByte != nValue)
        {
            Fail("a byte written by a record is missing or wrong");
        }
    }
    if (image.GetSize() > FULL_SCAN_LIMIT)
    {
        return;
    }
    std::vector<uint8_t> block(BLOCK);
    // Counted in 64 bits: an image that ends at 0xFFFFFFFF has its last block there, and a
    // 32-bit address would step past it to 0.
    for (uint64_t qwBlock = image.GetLowAddress(); qwBlock <= image.GetHighAddress(); qwBlock += BLOCK)
    {
        const auto dwBlock = static_cast<uint32_t>(qwBlock);
        if (image.ReadBlock(block.data(), dwBlock) != BLOCK)
        {
            Fail("ReadBlock inside the range returned a short block");
        }
        bool bBlank = true;
        for (uint32_t i = 0; i < BLOCK; ++i)
        {
            if (block[i] != CFirmwareImage::BLANK)
            {
                bBlank = false;
                if (expected.bytes.count(dwBlock + i) == 0)
                {
                    Fail("a byte no record wrote is not 0xFF");
                }
            }
        }
        if (image.IsBlockBlank(dwBlock) != bBlank)
        {
            Fail("IsBlockBlank disagrees with the block's bytes");
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* pDir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    g_strPath = std::string(pDir) + "/orlix-fuzz-load-" + std::to_string(getpid()) + ".mhx";
    g_bTrailingRecordKnown = IsKnownFinding("trailing-record");
    std::atexit(AtExit);

    // Start from a loaded image, so the first failed load already has something to keep.
    static constexpr std::string_view START = "S00F00006E616D650076310070726F63F4\n"
                                              "S1130000000102030405060708090A0B0C0D0E0F74\n"
                                              "S9030000FC\n";
    WriteFile(reinterpret_cast<const uint8_t*>(START.data()), START.size());
    if (g_image.Load(g_strPath) != LOAD_OK)
    {
        Fail("the start image does not load");
    }
    g_snapshot = SSnapshot::Take(g_image);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, std::size_t nSize)
{
    WriteFile(pData, nSize);
    const int nResult = g_image.Load(g_strPath);
    const SExpected expected = Expect(std::string_view(reinterpret_cast<const char*>(pData), nSize));
    if (nResult == LOAD_OK && expected.bHiddenRecord)
    {
        ++g_nTrailingRecordHits;
    }
    if (nResult == LOAD_OK && expected.bHiddenRecord && !g_bTrailingRecordKnown)
    {
        Fail("a record after another record's checksum was ignored and the load succeeded");
    }
    if (nResult != expected.nResult)
    {
        std::fprintf(stderr, "Load returned %d, the reference %d\n", nResult, expected.nResult);
        Fail("result code differs from the reference");
    }
    if (nResult != LOAD_OK)
    {
        if (!(SSnapshot::Take(g_image) == g_snapshot))
        {
            Fail("a failed load changed the image loaded before");
        }
        return 0;
    }
    CheckLoaded(g_image, expected);
    g_snapshot = SSnapshot::Take(g_image);
    return 0;
}
