#pragma once
// orlix-cli as a child whose input is typed while it runs: the test reads what it printed,
// acts (e.g. takes a port away), then answers. RunProcess feeds all input up front instead.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class CCliSession
{
public:
    CCliSession() = default;
    CCliSession(const CCliSession&) = delete;
    CCliSession& operator=(const CCliSession&) = delete;
    // Kills the child (and its process group) if it still runs.
    ~CCliSession();

    bool Start(const std::string& strPath, const std::vector<std::string>& args,
               const std::vector<std::string>& extraEnv, std::string& strError);
    // Reads the child's output until strText has appeared after what earlier waits consumed;
    // false when the time-out passes or the output ends first.
    bool WaitFor(const std::string& strText, std::chrono::milliseconds timeout);
    bool Type(const std::string& strText);
    void CloseInput();
    // Closes the input, reads the rest of the output and reaps the child. The exit status, or
    // -1 when it had to be killed or ended by a signal.
    int Finish(std::chrono::milliseconds timeout);

    const std::string& Output() const { return m_strOut; }
    std::chrono::milliseconds Elapsed() const { return m_elapsed; }

private:
    // Reads what is there within nWaitMs; false at the end of the output.
    bool ReadSome(int nWaitMs);

    pid_t m_pid = -1;
    int m_nInFd = -1;
    int m_nOutFd = -1;
    std::string m_strOut;
    size_t m_nConsumed = 0;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::milliseconds m_elapsed{0};
};
