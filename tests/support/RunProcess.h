#pragma once
// Runs a program of the project as a child: arguments, text on its stdin, stdout and stderr
// captured, killed with its process group at the time-out. Never throws for the child's failures.
#include <chrono>
#include <string>
#include <vector>

struct SRunOptions
{
    std::vector<std::string> args; // argv[1..]
    std::string strStdin;          // written to the child's stdin, which is then closed
    std::chrono::milliseconds timeout{60000};
    std::vector<std::string> extraEnv; // "NAME=VALUE", added or replacing
};

struct SProcessResult
{
    bool bStarted = false, bTimedOut = false; // not started: strError says why
    int nExitCode = -1, nSignal = 0;          // when it ended normally; the signal that ended it
    std::string strStdout, strStderr, strError;
    std::chrono::milliseconds elapsed{0};
};

SProcessResult RunProcess(const std::string& strPath, const SRunOptions& opts);
