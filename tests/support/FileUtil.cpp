#include "tests/support/FileUtil.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

std::vector<uint8_t> ReadFileBytes(const std::string& strPath)
{
    const std::string strText = ReadFileText(strPath);
    return std::vector<uint8_t>(strText.begin(), strText.end());
}

std::string ReadFileText(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFileBytes(const std::string& strPath, const std::vector<uint8_t>& data)
{
    WriteFileText(strPath, std::string(data.begin(), data.end()));
}

void WriteFileText(const std::string& strPath, const std::string& strText)
{
    if (!(std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strText))
    {
        throw std::runtime_error("cannot write " + strPath);
    }
}
