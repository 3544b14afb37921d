#pragma once
// Runs a program of the project as a child: arguments, text on its stdin, stdout and stderr
// captured, killed with its process group at the time-out. Never throws for the child's failures.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A child in its own process group with chosen standard descriptors, safe from a multi-threaded
// test (posix_spawn).
struct SSpawnRequest
{
    std::string strPath;
    std::vector<std::string> args, extraEnv;           // argv[1..]; NAME=VALUE, replacing an inherited NAME
    int nStdinFd = -1, nStdoutFd = -1, nStderrFd = -1; // -1: /dev/null
};

pid_t SpawnChild(const SSpawnRequest& req, std::string& strError); // -1 with strError set
// Blocks until the child ends or nTimeoutMs passes; true and the raw wait status when it ended.
bool WaitChild(pid_t pid, int nTimeoutMs, int& nStatus);

struct SRunOptions
{
    std::vector<std::string> args = {}; // argv[1..]
    std::string strStdin = {};          // written to the child's stdin, which is then closed
    std::chrono::milliseconds timeout{60000};
    std::vector<std::string> extraEnv = {}; // "NAME=VALUE", added or replacing
};

struct SProcessResult
{
    bool bStarted = false, bTimedOut = false; // not started: strError says why
    int nExitCode = -1, nSignal = 0;          // when it ended normally; the signal that ended it
    std::string strStdout, strStderr, strError;
    std::chrono::milliseconds elapsed{0};
};

SProcessResult RunProcess(const std::string& strPath, const SRunOptions& opts);
