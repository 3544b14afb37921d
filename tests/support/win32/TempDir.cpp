// CTempDir on Windows, which has no mkdtemp: a random name under the temporary folder, made
// with CreateDirectoryW, which fails rather than reuse a folder.
#include "tests/support/TestSupport.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <windows.h>

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
