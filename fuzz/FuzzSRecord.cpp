// Feeds arbitrary bytes to CSRecord::Parse as one line and checks the decoded record against
// the plain reference reading. The input buffer has exactly the input's size, so a read past
// the given length is an AddressSanitizer report.
#include "firmware/SRecord.h"
#include "fuzz/SRecordModel.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace
{
[[noreturn]] void Fail(const char* pWhat)
{
    // libFuzzer records the input when the process aborts.
    std::fprintf(stderr, "fuzz_srecord: %s\n", pWhat);
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, std::size_t nSize)
{
    const char* pLine = reinterpret_cast<const char*>(pData);
    CSRecord record;
    const bool bOk = record.Parse(pLine, nSize);
    // Parse reads one record and ignores what follows it; refusing a line that hides a further
    // record is the loader's business.
    const SModelRecord expected = DecodeRecordModel(std::string_view(pLine, nSize), false);

    if (bOk != expected.bValid)
    {
        Fail(bOk ? "Parse accepted a line the reference rejects" : "Parse rejected a valid record");
    }
    if (!bOk)
    {
        return 0;
    }
    if (record.GetType() != expected.nType || record.GetCount() != expected.nCount ||
        record.GetAddress() != expected.dwAddress || record.GetChecksum() != expected.nChecksum)
    {
        Fail("decoded header fields differ from the reference");
    }
    if (record.GetDataLength() != expected.data.size() ||
        record.GetDataLength() > CSRecord::MaxDataBytes(record.GetType()) ||
        !std::equal(expected.data.begin(), expected.data.end(), record.GetData()))
    {
        Fail("decoded data differ from the reference");
    }
    if (record.IsDataRecord() != (record.GetType() >= 1 && record.GetType() <= 3))
    {
        Fail("IsDataRecord disagrees with the type");
    }
    return 0;
}
