#pragma once
// Where the tests find the project's executables and files; set by tests/support/CMakeLists.txt.
#include <string>

#ifndef ORLIX_SIM_PATH
#error "ORLIX_SIM_PATH must be defined by the build (link orlix_test_support)"
#endif

inline std::string OrlixSimPath()
{
    return ORLIX_SIM_PATH;
}
inline std::string OrlixBinDir()
{
    return ORLIX_BIN_DIR;
}
// An executable of the project by name, e.g. OrlixBinPath("orlix-cli").
inline std::string OrlixBinPath(const std::string& strName)
{
    return OrlixBinDir() + "/" + strName;
}
inline std::string OrlixSourceDir()
{
    return ORLIX_SOURCE_DIR;
}
inline std::string OrlixSamplePath(const std::string& strName)
{
    return OrlixSourceDir() + "/samples/" + strName;
}
