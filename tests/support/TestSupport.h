#pragma once
// What the test folders share: temporary folders, files, paths, processes, the unit, S-records.
#include "tests/support/RunProcess.h"
#include "tests/support/SRecords.h"
#include "tests/support/SimProcess.h"

#include <cstdint>
#include <string>
#include <vector>

// orlix-test-XXXXXX in the temporary folder ($TMPDIR or /tmp), removed with everything in it when the object
// goes.
class CTempDir
{
public:
    CTempDir(); // throws std::runtime_error when the folder cannot be made
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    ~CTempDir();
    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& strName) const { return m_strPath + "/" + strName; }

private:
    std::string m_strPath;
};

std::vector<uint8_t> ReadFileBytes(const std::string& strPath); // empty when unreadable
std::string ReadFileText(const std::string& strPath);
void WriteFileText(const std::string& strPath, const std::string& strText); // throws when it cannot

// A program of the project by name, e.g. OrlixBinPath("orlix-cli").
inline std::string OrlixBinPath(const std::string& strName)
{
    return ORLIX_BIN_DIR "/" + strName;
}
inline std::string OrlixSamplePath(const std::string& strName)
{
    return ORLIX_SOURCE_DIR "/samples/" + strName;
}
