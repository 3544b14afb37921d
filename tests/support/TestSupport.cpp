#include "tests/support/TestSupport.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

CTempDir::~CTempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_strPath, ec);
}

std::vector<uint8_t> ReadFileBytes(const std::string& strPath)
{
    const std::string strText = ReadFileText(strPath);
    return std::vector<uint8_t>(strText.begin(), strText.end());
}

std::string ReadFileText(const std::string& strPath)
{
    std::ostringstream text;
    text << std::ifstream(strPath, std::ios::binary).rdbuf();
    return text.str();
}

void WriteFileText(const std::string& strPath, const std::string& strText)
{
    if (!(std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strText))
        throw std::runtime_error("cannot write " + strPath);
}
