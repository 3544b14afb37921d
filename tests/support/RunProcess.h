#pragma once
// Runs another executable of the project (e.g. orlix-cli) as a child process: arguments,
// text on its stdin, its stdout and stderr captured, a time-out after which it is killed.
#include <chrono>
#include <string>
#include <vector>

struct SRunOptions
{
    std::vector<std::string> args; // argv[1..]; argv[0] is the program path
    std::string strStdin;          // written to the child's stdin, which is then closed
    std::chrono::milliseconds timeout{60000};
    std::vector<std::string> extraEnv; // "NAME=VALUE" entries added to (or replacing in) the environment
    std::string strWorkDir;            // empty: the test's working directory
};

struct SProcessResult
{
    bool bStarted = false;  // false: the program could not be started (strError says why)
    bool bTimedOut = false; // killed (SIGKILL to its process group) when the time-out passed
    int nExitCode = -1;     // exit status when it ended normally, else -1
    int nSignal = 0;        // signal that ended it, else 0
    std::string strStdout;
    std::string strStderr;
    std::string strError;
    std::chrono::milliseconds elapsed{0};
};

// Starts strPath in its own process group and waits for it (killing the group at the time-out).
// Never throws for the child's failures.
SProcessResult RunProcess(const std::string& strPath, const SRunOptions& opts);
