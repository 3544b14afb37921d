#pragma once
// The command line as one string, the way the wizard's parser reads it.
#include <string>
#include <vector>

// One option of the command line, as the wizard's parser splits it.
struct SCommandLineOption
{
    std::string strName;
    std::string strValue;
    bool bHasValue = false;
};

// Splits the line into options: prefix '-' or '/', the name up to ' ' or ':', after ':' a
// value up to the next space or, when it starts with '"', up to the next '"'. Text before a
// prefix is skipped. Names are returned as written; the caller matches them whole.
std::vector<SCommandLineOption> SplitCommandLine(const std::string& strCmdLine);

// Joins argv[1..] with single spaces. An argument that contains a space is quoted so the
// parser reads it back whole: the value after "-name:" or "/name:" is put in double quotes
// ("-f:/home/a b/fw.mhx" becomes "-f:\"/home/a b/fw.mhx\""), any other argument as a whole.
std::string JoinCommandLine(int argc, const char* const* argv);
std::string JoinCommandLine(int argc, char** argv);

// The executable's file name without directories and extension ("/usr/bin/orlix-cli.exe"
// gives "orlix-cli"), the caption of the wizard's message boxes.
std::string AppNameFromPath(const std::string& strPath);

// The -k (or -K) option: true when the line has one, the last one counting, with its value
// (the folder of kernel files; empty when the option has none). Read before the wizard starts,
// because the kernels in use are reported in the banner and by --version.
bool FindKernelFolderOption(const std::string& strCmdLine, std::string& strFolder);
