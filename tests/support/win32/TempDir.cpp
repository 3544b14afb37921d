// CTempDir on Windows, where the C library has no mkdtemp: a random name under the system's
// temporary folder, created with CreateDirectoryW, which fails rather than reuse a folder.
#include "tests/support/TestSupport.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <windows.h>

CTempDir::CTempDir()
{
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec)
    {
        throw std::runtime_error("no temporary folder: " + ec.message());
    }
    std::random_device random;
    for (int nTry = 0; nTry < 100; ++nTry)
    {
        char szName[32];
        std::snprintf(szName, sizeof szName, "orlix-test-%08x", random());
        const std::filesystem::path path = base / szName;
        if (CreateDirectoryW(path.c_str(), nullptr))
        {
            // Forward slashes, so File() joins names the same way on both platforms.
            m_strPath = path.generic_string();
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
        {
            break;
        }
    }
    throw std::runtime_error("cannot create a temporary folder under " + base.string());
}
