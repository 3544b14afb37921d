#pragma once
// A child in its own process group with chosen standard descriptors, safe from a
// multi-threaded test (posix_spawn).
#include <sys/types.h>

#include <string>
#include <vector>

struct SSpawnRequest
{
    std::string strPath;
    std::vector<std::string> args, extraEnv;           // argv[1..]; NAME=VALUE, replacing an inherited NAME
    int nStdinFd = -1, nStdoutFd = -1, nStderrFd = -1; // -1: /dev/null
};

pid_t SpawnChild(const SSpawnRequest& req, std::string& strError); // -1 with strError set
// Blocks until the child ends or nTimeoutMs passes; true and the raw wait status when it ended.
bool WaitChild(pid_t pid, int nTimeoutMs, int& nStatus);
