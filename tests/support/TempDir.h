#pragma once
// A private temporary folder for one test, removed with everything in it when the object goes.
#include <string>

class CTempDir
{
public:
    // Creates $TMPDIR/orlix-test-XXXXXX (or under /tmp); throws std::runtime_error when it cannot.
    CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    ~CTempDir();

    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& strName) const { return m_strPath + "/" + strName; }

private:
    std::string m_strPath;
};
