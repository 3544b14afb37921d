#pragma once
// A second, deliberately plain reading of the S-record rules, used by the fuzz targets as the
// reference the product code must agree with. It favours obviousness over speed.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct SModelRecord
{
    bool bValid = false;
    uint8_t nType = 0;
    uint8_t nCount = 0;
    uint32_t dwAddress = 0;
    std::vector<uint8_t> data;
    uint8_t nChecksum = 0;
};

// One line (line end included when it has one): 'S', a type digit, then count, address, data
// and checksum as upper-case hex pairs, as many as the count says. At most 32 data bytes;
// types 4-9 carry none. What follows the checksum is ignored (the rule of a single record),
// unless bRefuseTrailingRecord is set and it holds the start of a further record (the rule of
// a line in a file, see HidesRecordModel).
SModelRecord DecodeRecordModel(std::string_view line, bool bRefuseTrailingRecord);

// True when the text after a valid record's checksum holds the start of a further record, as
// in a file whose lines end with a lone CR or a line holding two records. Such a line must not
// pass: only its first record would be read, and the others' bytes would be missing.
bool HidesRecordModel(std::string_view line);

// The lines a firmware file is read as: the text ends at the first Ctrl-Z; CR LF counts as one
// character; a line holds at most 511 characters, the rest of a longer one going on as a
// further line. Returned with CR LF already turned into LF.
std::vector<std::string> SplitLinesModel(std::string_view file);

// A long run would stop at the first input of a finding already reported. Naming the finding
// in ORLIX_FUZZ_KNOWN (comma-separated) lets the targets accept the present behaviour for it
// and count the hits instead, so that the run goes on to look for others. Known names:
// "trailing-record" (a file loads although a record follows another one's checksum on the same
// line) and "quoted-path" (a path holding '"' and a space does not pass JoinCommandLine whole).
bool IsKnownFinding(std::string_view name);
