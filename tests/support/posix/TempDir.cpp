#include "tests/support/TestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
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
