#pragma once
// Starts the simulated unit (orlix-sim) as a child process for a test and stops it again.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct SSimProcessOptions
{
    std::string strChip = "MB90F345";
    bool bPace = false;                  // --pace: bytes take their wire time
    std::vector<std::string> faults;     // each passed as --fault, e.g. "crc-once=0xF80200"
    std::vector<std::string> decoyNames; // silent ptys linked inside the folder under these names
    bool bDump = true;                   // --dump <folder>/flash.bin
    bool bLog = true;                    // --log <folder>/protocol.log
    std::vector<std::string> extraArgs;  // passed last, unchanged
};

class CSimProcess
{
public:
    CSimProcess() = default;
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;
    ~CSimProcess(); // stops the simulator if it still runs

    // Starts orlix-sim (erase 100 ms, blank check 50 ms) with its link "unit0", dump, log and
    // stderr inside strDir, an existing folder. Waits for the ready line; false with Error()
    // when it does not come within the time-out or the simulator ends first.
    bool Start(const std::string& strDir, const SSimProcessOptions& opts = {},
               std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

    // SIGTERM, then waits (SIGKILL once the time-out passes). The exit status, or -1 when it
    // was killed by a signal or never started. Safe to call twice.
    int Stop(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

    bool IsRunning();

    pid_t Pid() const { return m_pid; }
    const std::string& LinkPath() const { return m_strLinkPath; }
    const std::string& LogPath() const { return m_strLogPath; }
    const std::string& Error() const { return m_strError; }

    // The flash as last dumped, byte 0 at the flash's first address; empty without a dump.
    std::vector<uint8_t> ReadDump() const;
    std::string StderrText() const;

private:
    pid_t m_pid = -1;
    int m_nStdoutFd = -1;
    int m_nExitStatus = -1;
    bool m_bReaped = false;
    std::string m_strLinkPath;
    std::string m_strDumpPath;
    std::string m_strLogPath;
    std::string m_strStderrPath;
    std::string m_strError;
};
