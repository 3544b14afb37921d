#include "tests/support/TestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

CTempDir::CTempDir()
{
    const char* pszBase = std::getenv("TMPDIR");
    std::string strTemplate = std::string(pszBase && *pszBase ? pszBase : "/tmp") + "/orlix-test-XXXXXX";
    if (mkdtemp(strTemplate.data()) == nullptr)
    {
        throw std::runtime_error("cannot create a temporary folder: " + std::string(std::strerror(errno)));
    }
    m_strPath = strTemplate;
}

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
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFileText(const std::string& strPath, const std::string& strText)
{
    if (!(std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strText))
    {
        throw std::runtime_error("cannot write " + strPath);
    }
}
