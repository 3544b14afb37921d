#pragma once
// Small firmware files for tests: S-record text with the identification block at 0xFF8000.
#include <cstdint>
#include <string>
#include <vector>

// One S2 (24-bit address) or S3 (32-bit address) record with its checksum.
std::string SRecordLine(int nType, uint32_t dwAddress, const std::vector<uint8_t>& data);

// A firmware of one code record at 0xF80000 and the identification block (processor, version,
// name, 16 bytes each, NUL-padded) at 0xFF8000.
std::string FirmwareText(const std::string& strProcessor, const std::string& strName,
                         const std::string& strVersion);
