#pragma once
// Writing the flash dump so that a reader never sees half a file: the bytes go to a temporary
// file beside it, which is then renamed over the dump.
#include <cstdint>
#include <string>
#include <vector>

bool WriteFileAtomically(const std::string& strPath, const std::vector<uint8_t>& data, std::string& strError);
