#pragma once
// The simulated unit (orlix-sim) as a child process of a test.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct SSimProcessOptions
{
    std::string strChip = "MB90F345";
    bool bPace = false;                       // --pace: bytes take their wire time
    std::vector<std::string> faults = {};     // each passed as --fault, e.g. "crc-once=0xF80200"
    std::vector<std::string> decoyNames = {}; // silent ptys linked inside the folder under these names
    std::vector<std::string> extraArgs = {};  // passed last, unchanged
};

class CSimProcess
{
public:
    CSimProcess() = default;
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;
    ~CSimProcess() { Stop(); }

    // Starts orlix-sim (erase 100 ms, blank check 50 ms) with its link "unit0", dump, log and
    // stderr inside strDir; false with Error() when its ready line does not come.
    bool Start(const std::string& strDir, const SSimProcessOptions& opts = {},
               std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // SIGTERM, then SIGKILL after the time-out; the exit status, or -1 (killed, never started).
    int Stop(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    bool IsRunning();

    const std::string& LinkPath() const { return m_strLinkPath; }
    const std::string& LogPath() const { return m_strLogPath; }
    const std::string& Error() const { return m_strError; }
    std::vector<uint8_t> ReadDump() const; // the flash as last dumped
    std::string StderrText() const;

private:
    pid_t m_pid = -1;
    int m_nStdoutFd = -1, m_nExitStatus = -1;
    bool m_bReaped = false;
    std::string m_strLinkPath, m_strDumpPath, m_strLogPath, m_strStderrPath, m_strError;
};
