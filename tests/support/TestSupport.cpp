#include "tests/support/TestSupport.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <random>
#include <windows.h>

// No mkdtemp: a random name, made with CreateDirectoryW, which fails rather than reuse a folder.
CTempDir::CTempDir()
{
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int nTry = 0; nTry < 100 && m_strPath.empty(); ++nTry)
    {
        char szName[32];
        std::snprintf(szName, sizeof szName, "orlix-test-%08x", random());
        const std::filesystem::path path = base / szName;
        if (CreateDirectoryW(path.c_str(), nullptr))
            m_strPath = path.generic_string(); // forward slashes, as File() joins names
        else if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (m_strPath.empty())
        throw std::runtime_error("cannot create a temporary folder under " + base.string());
}
#else
CTempDir::CTempDir() : m_strPath((std::filesystem::temp_directory_path() / "orlix-test-XXXXXX").string())
{
    if (mkdtemp(m_strPath.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder under " + m_strPath);
}
#endif

CTempDir::~CTempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_strPath, ec);
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
