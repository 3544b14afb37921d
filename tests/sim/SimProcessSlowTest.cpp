// orlix-sim as a process: command line, ready line, links, dump, log, decoys, pacing, and the
// end of the unit's line when it vanishes. The program's side is a minimal raw line.
#include "RawLine.h"
#include "sim/SimDevice.h"
#include "target/Crc16.h"
#include "target/KernelResources.h"
#include "tests/support/ChildSpawn.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <numeric>
#include <regex>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace
{
bool Exists(const std::string& strPath)
{
    struct stat st
    {
    };
    return lstat(strPath.c_str(), &st) == 0;
}

Bytes KernelFrame(uint32_t dwResourceId)
{
    SResourceData kernel;
    if (!FindKernelResource(dwResourceId, "FLASH", kernel))
    {
        return {};
    }
    Bytes frame(5 + kernel.dwSize);
    frame[1] = 0x01;
    frame[2] = 0x90;
    frame[3] = static_cast<uint8_t>(kernel.dwSize >> 8);
    frame[4] = static_cast<uint8_t>(kernel.dwSize);
    std::copy(kernel.pData, kernel.pData + kernel.dwSize, frame.begin() + 5);
    frame.push_back(static_cast<uint8_t>(std::accumulate(frame.begin(), frame.end(), 0u)));
    return frame;
}

// Sync, download and switch over the raw line; the line ends at 115200.
void StartKernel(CRawLine& line, uint32_t dwResourceId = 134)
{
    line.Write({0x18});
    ASSERT_EQ(line.Read(1, 2s), Bytes{0x11});
    line.Write(KernelFrame(dwResourceId));
    ASSERT_EQ(line.Read(1, 2s), Bytes{0x01});
    line.Write({0x40, 0, 0, 0, 0});
    ASSERT_EQ(line.Read(1, 2s), Bytes{0x01});
    line.SetSpeed(115200);
    line.Write({0xE8});
    ASSERT_EQ(line.Read(1, 2s), Bytes{'1'});
}

// CPU time the process has used so far (user + system).
std::chrono::milliseconds CpuTime(pid_t pid)
{
    std::istringstream in(ReadFileText("/proc/" + std::to_string(pid) + "/stat"));
    std::string strField;
    long nUser = 0;
    long nSystem = 0;
    // Field 2 (the name) is in parentheses and may hold blanks; the sim's does not.
    for (int i = 1; i <= 15 && in >> strField; ++i)
    {
        if (i == 14)
        {
            nUser = std::stol(strField);
        }
        else if (i == 15)
        {
            nSystem = std::stol(strField);
        }
    }
    return std::chrono::milliseconds((nUser + nSystem) * 1000 / sysconf(_SC_CLK_TCK));
}

Bytes WriteBlockFrame(uint8_t byFill)
{
    Bytes data(512, byFill);
    const uint16_t wCrc = Crc16(data.data(), 512);
    data.push_back(static_cast<uint8_t>(wCrc >> 8));
    data.push_back(static_cast<uint8_t>(wCrc));
    return data;
}
} // namespace

TEST(SimProcessSlowTest, HelpAndBadCommandLines)
{
    const SProcessResult help = RunProcess(OrlixSimPath(), {"--help"}, "", 10s);
    EXPECT_TRUE(help.Succeeded()) << help.strStderr;
    EXPECT_NE(help.strStdout.find("--fault SPEC"), std::string::npos);

    const SProcessResult bad = RunProcess(OrlixSimPath(), {"--link", "/tmp/x", "--chip", "Z80"}, "", 10s);
    EXPECT_EQ(bad.nExitCode, 2);
    EXPECT_NE(bad.strStderr.find("unknown processor"), std::string::npos);
    EXPECT_TRUE(bad.strStdout.empty());

    // A link that cannot be made: it says why and ends with 1, without a ready line.
    const SProcessResult noDir = RunProcess(OrlixSimPath(), {"--link", "/nonexistent-dir/unit0"}, "", 10s);
    EXPECT_EQ(noDir.nExitCode, 1);
    EXPECT_NE(noDir.strStderr.find("/nonexistent-dir/unit0"), std::string::npos);
    EXPECT_TRUE(noDir.strStdout.empty());
}

TEST(SimProcessSlowTest, ReadyLineLinksDumpAndCleanExit)
{
    CTempDir dir;
    CSimProcess sim;
    SSimProcessOptions opts;
    opts.strChip = "MB90F362";
    opts.decoyNames = {"decoy0", "decoy1"};
    ASSERT_TRUE(sim.Start(dir.Path(), opts)) << sim.Error();
    EXPECT_TRUE(std::regex_match(sim.ReadyLine(), std::regex("orlix-sim ready: " + dir.File("unit0") +
                                                             " -> /dev/pts/[0-9]+ MB90F362")))
        << sim.ReadyLine();
    EXPECT_TRUE(Exists(sim.LinkPath()));
    for (const auto& strDecoy : sim.DecoyPaths())
    {
        EXPECT_TRUE(Exists(strDecoy)) << strDecoy;
    }
    // The dump exists from the start: the whole 64 KiB flash with the old firmware in it.
    const Bytes dump = sim.ReadDump();
    ASSERT_EQ(dump.size(), 0x10000u);
    for (uint32_t i = 0; i < 64; ++i)
    {
        EXPECT_EQ(dump[i], CSimDevice::OldFirmwareByte(i));
    }

    // A decoy takes bytes and never answers.
    CRawLine decoy;
    decoy.Open(sim.DecoyPaths()[0], 4800);
    decoy.Write({0x18});
    EXPECT_TRUE(decoy.Read(1, 300ms).empty());
    decoy.Close();

    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(Exists(sim.LinkPath()));
    for (const auto& strDecoy : sim.DecoyPaths())
    {
        EXPECT_FALSE(Exists(strDecoy)) << strDecoy;
    }
    const std::string strLog = ReadFileText(sim.LogPath());
    EXPECT_NE(strLog.find("decoy0"), std::string::npos); // the byte sent to the decoy
    EXPECT_NE(strLog.find("exit"), std::string::npos);
    EXPECT_EQ(sim.Stop(), 0); // a second stop is harmless
}

TEST(SimProcessSlowTest, ProtocolLogHasEveryByteWithSpeedAndProtocolErrorsGoToStderr)
{
    CTempDir dir;
    CSimProcess sim;
    ASSERT_TRUE(sim.Start(dir.Path())) << sim.Error();
    CRawLine line;
    line.Open(sim.LinkPath(), 9600);
    line.Write({0x18}); // wrong speed: garbage to the unit
    EXPECT_TRUE(line.Read(1, 300ms).empty());
    line.SetSpeed(4800);
    line.Write({0x18});
    EXPECT_EQ(line.Read(1, 2s), Bytes{0x11});
    EXPECT_EQ(sim.Stop(), 0);

    const std::string strLog = ReadFileText(sim.LogPath());
    EXPECT_TRUE(std::regex_search(strLog, std::regex(R"(\d+\.\d{6} rx +9600  18\n)"))) << strLog;
    EXPECT_TRUE(std::regex_search(strLog, std::regex(R"(\d+\.\d{6} rx +4800  18\n)"))) << strLog;
    EXPECT_TRUE(std::regex_search(strLog, std::regex(R"(\d+\.\d{6} tx +4800  11\n)"))) << strLog;
    const std::string strErr = sim.StderrText();
    EXPECT_NE(strErr.find("protocol error: byte 0x18 sent at 9600 bit/s"), std::string::npos) << strErr;
}

TEST(SimProcessSlowTest, ProgrammingRunIsDumpedWhenTheLineGoesQuiet)
{
    CTempDir dir;
    CSimProcess sim;
    ASSERT_TRUE(sim.Start(dir.Path())) << sim.Error();
    CRawLine line;
    line.Open(sim.LinkPath(), 4800);
    ASSERT_NO_FATAL_FAILURE(StartKernel(line));
    line.Write({0x38, 0x00, 0x00, 0xF8});
    ASSERT_EQ(line.Read(2, 3s), (Bytes{'0', '1'}));
    line.Write({0x08, 0x00, 0x02, 0xF8});
    ASSERT_EQ(line.Read(2, 2s), (Bytes{'0', '1'}));
    line.Write(WriteBlockFrame(0xA5));
    ASSERT_EQ(line.Read(2, 2s), (Bytes{'0', '1'}));

    // The simulator keeps running; the dump follows once the line is quiet.
    Bytes dump;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline)
    {
        dump = sim.ReadDump();
        if (dump.size() == 0x80000 && dump[0x200] == 0xA5)
        {
            break;
        }
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_EQ(dump.size(), 0x80000u);
    EXPECT_EQ(dump[0x1FF], 0xFF);
    EXPECT_EQ(Bytes(dump.begin() + 0x200, dump.begin() + 0x400), Bytes(512, 0xA5));
    EXPECT_EQ(dump[0x400], 0xFF);
    EXPECT_TRUE(sim.IsRunning());
}

TEST(SimProcessSlowTest, VanishingUnitHangsUpTheLineAndRemovesItsLink)
{
    CTempDir dir;
    CSimProcess sim;
    SSimProcessOptions opts;
    opts.faults = {"vanish-after=1"};
    ASSERT_TRUE(sim.Start(dir.Path(), opts)) << sim.Error();
    CRawLine line;
    line.Open(sim.LinkPath(), 4800);
    ASSERT_NO_FATAL_FAILURE(StartKernel(line));
    line.Write({0x38, 0x00, 0x00, 0xF8});
    ASSERT_EQ(line.Read(2, 3s), (Bytes{'0', '1'}));
    line.Write({0x08, 0x00, 0x00, 0xF8});
    ASSERT_EQ(line.Read(2, 2s), (Bytes{'0', '1'}));
    line.Write(WriteBlockFrame(0x11));
    EXPECT_EQ(line.Read(2, 2s), (Bytes{'0', '1'})); // the last reply still arrives

    // Then the line is hung up: reading ends (EOF/EIO) instead of waiting.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(line.Read(1, 5s).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (Exists(sim.LinkPath()) && std::chrono::steady_clock::now() < deadline)
    {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(Exists(sim.LinkPath()));
    const Bytes dump = sim.ReadDump();
    ASSERT_EQ(dump.size(), 0x80000u);
    EXPECT_EQ(dump[0], 0x11);
    EXPECT_TRUE(sim.IsRunning()); // it serves on (decoys) until stopped
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimProcessSlowTest, PacingHoldsBytesBackButCapsTheWait)
{
    CTempDir dir;
    CSimProcess sim;
    SSimProcessOptions opts;
    opts.bPace = true;
    ASSERT_TRUE(sim.Start(dir.Path(), opts)) << sim.Error();
    CRawLine line;
    line.Open(sim.LinkPath(), 4800);
    line.Write({0x18});
    ASSERT_EQ(line.Read(1, 2s), Bytes{0x11});

    // 918 bytes take 1.9 s at 4800 bit/s; the reply comes after the cap (300 ms), so it is
    // neither immediate nor late enough to miss an 800 ms reply time-out. Bounds are generous.
    const Bytes frame = KernelFrame(134);
    const auto start = std::chrono::steady_clock::now();
    line.Write(frame);
    ASSERT_EQ(line.Read(1, 3s), Bytes{0x01});
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 250ms);
    EXPECT_LT(elapsed, 1500ms);
}

TEST(SimProcessSlowTest, WaitsWithoutSpinningEvenWhenItsDumpCannotBeWritten)
{
    CTempDir dir;
    CSimProcess sim;
    SSimProcessOptions opts;
    opts.bDump = false;
    opts.extraArgs = {"--dump", dir.File("missing/flash.bin")};
    ASSERT_TRUE(sim.Start(dir.Path(), opts)) << sim.Error();
    CRawLine line;
    line.Open(sim.LinkPath(), 4800);
    ASSERT_NO_FATAL_FAILURE(StartKernel(line));
    line.Write({0x38, 0x00, 0x00, 0xF8});
    ASSERT_EQ(line.Read(2, 3s), (Bytes{'0', '1'}));

    // The kernel runs, the changed flash cannot be dumped: the simulator must still sleep.
    // A spinning one would use most of these two seconds; a waiting one a few milliseconds.
    const auto before = CpuTime(sim.Pid());
    std::this_thread::sleep_for(2s);
    EXPECT_LT(CpuTime(sim.Pid()) - before, 500ms);
    const std::string strErr = sim.StderrText();
    EXPECT_NE(strErr.find("cannot write the dump"), std::string::npos) << strErr;
    line.Write({0xE8});
    EXPECT_EQ(line.Read(1, 2s), Bytes{'1'});
}

TEST(SimProcessSlowTest, EndsCleanlyWhenTheReaderOfItsStdoutIsGone)
{
    // A test that crashes leaves no simulator behind: its end of the stdout pipe closes.
    CTempDir dir;
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    SSpawnRequest req;
    req.strPath = OrlixSimPath();
    req.args = {"--link", dir.File("unit0"), "--no-pace", "--dump", dir.File("flash.bin"), "--quiet"};
    req.nStdoutFd = fds[1];
    std::string strError;
    const pid_t pid = SpawnChild(req, strError);
    close(fds[1]);
    ASSERT_GT(pid, 0) << strError;
    char buf[256] = {};
    ASSERT_GT(read(fds[0], buf, sizeof buf - 1), 0);
    EXPECT_EQ(std::string(buf).rfind("orlix-sim ready:", 0), 0u);
    EXPECT_TRUE(Exists(dir.File("unit0")));
    close(fds[0]);
    int nStatus = 0;
    const bool bEnded = WaitChild(pid, 5000, nStatus);
    if (!bEnded)
    {
        kill(pid, SIGKILL);
        WaitChild(pid, 5000, nStatus);
    }
    ASSERT_TRUE(bEnded);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    EXPECT_FALSE(Exists(dir.File("unit0")));
    EXPECT_EQ(ReadFileBytes(dir.File("flash.bin")).size(), 0x80000u);
}
