#pragma once
// Small file helpers for tests.
#include <cstdint>
#include <string>
#include <vector>

// Whole file as bytes; empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string& strPath);
std::string ReadFileText(const std::string& strPath);
// Writes (replaces) the file; throws std::runtime_error when it cannot.
void WriteFileBytes(const std::string& strPath, const std::vector<uint8_t>& data);
void WriteFileText(const std::string& strPath, const std::string& strText);
