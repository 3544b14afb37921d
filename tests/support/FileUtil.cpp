#include "tests/support/FileUtil.h"

#include <fstream>
#include <stdexcept>

namespace
{
template <typename TContainer> TContainer ReadWhole(const std::string& strPath)
{
    TContainer data;
    std::ifstream in(strPath, std::ios::binary);
    char buf[65536];
    while (in)
    {
        in.read(buf, sizeof buf);
        const auto n = static_cast<size_t>(in.gcount());
        data.insert(data.end(), buf, buf + n);
    }
    return data;
}

void WriteWhole(const std::string& strPath, const char* pData, size_t nSize)
{
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    out.write(pData, static_cast<std::streamsize>(nSize));
    if (!out)
    {
        throw std::runtime_error("cannot write " + strPath);
    }
}
} // namespace

std::vector<uint8_t> ReadFileBytes(const std::string& strPath)
{
    return ReadWhole<std::vector<uint8_t>>(strPath);
}

std::string ReadFileText(const std::string& strPath)
{
    return ReadWhole<std::string>(strPath);
}

void WriteFileBytes(const std::string& strPath, const std::vector<uint8_t>& data)
{
    WriteWhole(strPath, reinterpret_cast<const char*>(data.data()), data.size());
}

void WriteFileText(const std::string& strPath, const std::string& strText)
{
    WriteWhole(strPath, strText.data(), strText.size());
}
