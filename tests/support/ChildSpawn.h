#pragma once
// Internal to the test support: starting a child in its own process group with chosen
// standard file descriptors, safely from a multi-threaded test process (posix_spawn).
#include <sys/types.h>

#include <string>
#include <vector>

struct SSpawnRequest
{
    std::string strPath;
    std::vector<std::string> args;     // argv[1..]
    std::vector<std::string> extraEnv; // NAME=VALUE, replacing an inherited NAME
    std::string strWorkDir;
    int nStdinFd = -1; // -1: /dev/null
    int nStdoutFd = -1;
    int nStderrFd = -1;
};

// The child's pid, or -1 with strError set.
pid_t SpawnChild(const SSpawnRequest& req, std::string& strError);

// Blocks until the child ends or nTimeoutMs passes; true and the raw wait status when it ended.
bool WaitChild(pid_t pid, int nTimeoutMs, int& nStatus);
