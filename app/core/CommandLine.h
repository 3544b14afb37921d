#pragma once
// The command line as one string, the way the wizard's parser reads it.
#include <string>

// Joins argv[1..] with single spaces. An argument that contains a space is quoted so the
// parser reads it back whole: the value after "-name:" or "/name:" is put in double quotes
// ("-f:/home/a b/fw.mhx" becomes "-f:\"/home/a b/fw.mhx\""), any other argument as a whole.
std::string JoinCommandLine(int argc, const char* const* argv);
std::string JoinCommandLine(int argc, char** argv);

// The executable's file name without directories and extension ("/usr/bin/orlix-cli.exe"
// gives "orlix-cli"), the caption of the wizard's message boxes.
std::string AppNameFromPath(const std::string& strPath);
