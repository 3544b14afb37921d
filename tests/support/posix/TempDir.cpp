#include "tests/support/TestSupport.h"

#include <filesystem>
#include <stdexcept>

CTempDir::CTempDir() : m_strPath((std::filesystem::temp_directory_path() / "orlix-test-XXXXXX").string())
{
    if (mkdtemp(m_strPath.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder under " + m_strPath);
}
