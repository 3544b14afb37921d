#pragma once
// Where the tests find the project's executables and files; set by tests/support/CMakeLists.txt.
#include <string>

#ifndef ORLIX_SIM_PATH
#error "ORLIX_SIM_PATH must be defined by the build (link orlix_test_support)"
#endif

// The simulated unit.
inline std::string OrlixSimPath()
{
    return ORLIX_SIM_PATH;
}
// Folder of the project's executables (orlix-cli, orlix-sim, ...).
inline std::string OrlixBinDir()
{
    return ORLIX_BIN_DIR;
}
// An executable of the project by name, e.g. OrlixBinPath("orlix-cli").
inline std::string OrlixBinPath(const std::string& strName)
{
    return OrlixBinDir() + "/" + strName;
}
// The source tree, e.g. for samples/.
inline std::string OrlixSourceDir()
{
    return ORLIX_SOURCE_DIR;
}
inline std::string OrlixSamplePath(const std::string& strName)
{
    return OrlixSourceDir() + "/samples/" + strName;
}
