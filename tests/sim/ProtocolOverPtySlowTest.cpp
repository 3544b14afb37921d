// The program's protocol classes (CBootRomLoader, CFlashKernel) on its real serial port
// (CSerialPort, opened through CPortHolder with the fixed settings) over a pseudo-terminal
// against orlix-sim, at the termios speeds the program sets.
#include "firmware/FirmwareImage.h"
#include "serial/PortHolder.h"
#include "target/BootRomLoader.h"
#include "target/FlashKernel.h"
#include "target/ProtocolClock.h"
#include "tests/support/ChildSpawn.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace
{
// Real time 20 times faster with sleeps skipped: the erase's 30 polls and the blank check's
// 5 s limit pass quickly while every read still waits on the real line.
class CFastClock : public IProtocolClock
{
public:
    int64_t QueryCounter() override
    {
        const auto real = std::chrono::steady_clock::now() - m_start;
        return std::chrono::duration_cast<std::chrono::nanoseconds>(real).count() * 20 + m_nSkippedNs;
    }
    int64_t QueryFrequency() override { return 1'000'000'000; }
    void Sleep(uint32_t dwMilliseconds) override { m_nSkippedNs += int64_t{dwMilliseconds} * 1'000'000; }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    int64_t m_nSkippedNs = 0;
};

class CProgressLog : public IProgressSink
{
public:
    void OnProgress(int nPercent) override { m_values.push_back(nPercent); }
    std::vector<int> m_values;
};

std::string Hex(uint32_t dwValue)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%06X", dwValue);
    return buf;
}

bool Exists(const std::string& strPath)
{
    struct stat st
    {
    };
    return lstat(strPath.c_str(), &st) == 0;
}

// CPU time (user + system) a process has used so far.
std::chrono::milliseconds CpuTime(pid_t pid)
{
    std::istringstream in(ReadFileText("/proc/" + std::to_string(pid) + "/stat"));
    std::string strField;
    long nTicks = 0;
    for (int i = 1; i <= 15 && in >> strField; ++i)
    {
        nTicks += i >= 14 ? std::stol(strField) : 0;
    }
    return std::chrono::milliseconds(nTicks * 1000 / sysconf(_SC_CLK_TCK));
}

class ProtocolOverPtySlowTest : public ::testing::Test
{
protected:
    // Loads a sample, selects its processor and (re)starts a simulator for it.
    void StartUnit(const std::string& strSample, SSimProcessOptions opts = {},
                   const char* pszSimChip = nullptr)
    {
        m_holder.ClosePort();
        m_sim.Stop();
        ASSERT_EQ(m_image.Load(OrlixSamplePath(strSample)), LOAD_OK) << strSample;
        ASSERT_TRUE(m_chip.SelectChip(m_image.GetProcessor())) << m_image.GetProcessor();
        opts.strChip = pszSimChip != nullptr ? pszSimChip : m_chip.Name;
        ASSERT_TRUE(m_sim.Start(m_dir.Path(), opts)) << m_sim.Error();
        OpenPort();
    }

    void OpenPort()
    {
        m_record.devicePath = m_sim.LinkPath();
        m_holder.m_currentPort = &m_record;
        ASSERT_TRUE(m_holder.OpenPort());
        m_loader.AttachPort(&m_holder.m_port);
        m_loader.SetChip(m_chip);
        m_kernel.AttachPort(&m_holder.m_port);
        m_kernel.SetChip(m_chip);
    }

    void Download()
    {
        ASSERT_EQ(m_loader.Synchronize(), BOOTROM_OK);
        ASSERT_EQ(m_loader.DownloadKernel(), BOOTROM_OK);
        ASSERT_EQ(m_loader.SwitchToBaud2(), BOOTROM_OK);
        ASSERT_EQ(m_kernel.Ping(), KR_OK);
    }

    // Every non-blank block of the image, lowest first.
    std::vector<uint32_t> ImageBlocks() const
    {
        std::vector<uint32_t> blocks;
        for (uint32_t dw = m_image.GetLowAddress(); dw < m_image.GetHighAddress(); dw += 512)
        {
            if (!m_image.IsBlockBlank(dw))
            {
                blocks.push_back(dw);
            }
        }
        return blocks;
    }

    KernelResult WriteImageBlock(uint32_t dwAddress)
    {
        uint8_t buf[514];
        EXPECT_EQ(m_image.ReadBlock(buf, dwAddress), 512u);
        return m_kernel.WriteFlashBlock(buf, dwAddress, 512);
    }

    void ExpectBlockReadsBack(uint32_t dwAddress)
    {
        uint8_t reply[515];
        ASSERT_EQ(m_kernel.ReadFlashBlock(reply, dwAddress), KR_OK);
        uint8_t expected[514];
        m_image.ReadBlock(expected, dwAddress);
        EXPECT_TRUE(std::equal(reply, reply + 512, expected)) << Hex(dwAddress);
    }

    // After the simulator has ended: the image in the flash, blank elsewhere.
    void ExpectDumpEqualsImage()
    {
        EXPECT_EQ(m_sim.Stop(), 0);
        Bytes expected(m_chip.FlashSize, 0xFF);
        for (uint32_t dw = m_image.GetLowAddress(); dw <= m_image.GetHighAddress(); ++dw)
        {
            if (dw >= m_chip.StartAddress && dw <= m_chip.EndAddress)
            {
                m_image.Read(&expected[dw - m_chip.StartAddress], dw, 1);
            }
        }
        const Bytes dump = m_sim.ReadDump();
        ASSERT_EQ(dump.size(), expected.size());
        const auto mismatch = std::mismatch(dump.begin(), dump.end(), expected.begin());
        EXPECT_TRUE(mismatch.first == dump.end())
            << "first difference at "
            << Hex(m_chip.StartAddress + static_cast<uint32_t>(mismatch.first - dump.begin()));
    }

    size_t CountInStderr(const std::string& strPart) const
    {
        const std::string strErr = m_sim.StderrText();
        size_t n = 0;
        for (auto pos = strErr.find(strPart); pos != std::string::npos; pos = strErr.find(strPart, pos + 1))
        {
            ++n;
        }
        return n;
    }

    CTempDir m_dir;
    CSimProcess m_sim;
    CFirmwareImage m_image;
    SChipDef m_chip;
    SSerInfo m_record;
    CPortHolder m_holder;
    CBootRomLoader m_loader;
    CFlashKernel m_kernel;
};

class WholeSequenceSlowTest : public ProtocolOverPtySlowTest,
                              public ::testing::WithParamInterface<const char*>
{
};
} // namespace

// Both processors (and so both kernels): the whole run, two blocks read back, the dump equal
// to the image; then the wizard's retry reopens the port at 4800, which resets the unit.
TEST_P(WholeSequenceSlowTest, ProgramsTheImageAndReopeningThePortResetsTheUnit)
{
    ASSERT_NO_FATAL_FAILURE(StartUnit(GetParam()));
    ASSERT_NO_FATAL_FAILURE(Download());
    CProgressLog eraseProgress;
    ASSERT_EQ(m_kernel.EraseFlash(&eraseProgress), KR_OK);
    EXPECT_EQ(eraseProgress.m_values, (std::vector<int>{0, 100})); // done at the first poll
    ASSERT_EQ(m_kernel.BlankCheckFlash(), KR_OK);
    const std::vector<uint32_t> blocks = ImageBlocks();
    ASSERT_GT(blocks.size(), 2u);
    for (const uint32_t dwAddress : blocks)
    {
        ASSERT_EQ(WriteImageBlock(dwAddress), KR_OK) << Hex(dwAddress);
    }
    ExpectBlockReadsBack(blocks.front());
    ExpectBlockReadsBack(blocks.back());

    m_holder.ClosePort();
    ASSERT_NO_FATAL_FAILURE(OpenPort());
    ASSERT_NO_FATAL_FAILURE(Download());
    EXPECT_EQ(m_kernel.BlankCheckFlash(), KR_UNKNOWN_ERROR); // still programmed
    m_holder.ClosePort();
    ExpectDumpEqualsImage();
    EXPECT_EQ(CountInStderr("protocol error"), 0u) << m_sim.StderrText();
}

INSTANTIATE_TEST_SUITE_P(BothProcessors, WholeSequenceSlowTest,
                         ::testing::Values("analyzer-mb90f345.mhx", "controller-mb90f362.mhx"));

TEST_F(ProtocolOverPtySlowTest, MistakesOfTheProgramAreCaughtByTheUnit)
{
    ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx"));
    ASSERT_NO_FATAL_FAILURE(Download());
    // Without an erase: the old firmware is not blank and cannot be programmed over.
    EXPECT_EQ(m_kernel.BlankCheckFlash(), KR_UNKNOWN_ERROR);
    EXPECT_EQ(WriteImageBlock(ImageBlocks().front()), KR_TRANSFER_ERROR);
    // Commands for the other processor's flash are refused.
    uint8_t buf[515] = {};
    EXPECT_EQ(m_kernel.WriteFlashBlock(buf, 0xF80000, 512), KR_INVALID_COMMAND);
    EXPECT_EQ(m_kernel.ReadFlashBlock(buf, 0xF80000), KR_INVALID_COMMAND);
    SChipDef other;
    other.SelectChip("MB90F345");
    m_kernel.SetChip(other);
    EXPECT_EQ(m_kernel.EraseFlash(), KR_INVALID_COMMAND);
    EXPECT_GE(CountInStderr("protocol error"), 4u);
}

// Each injected fault gives the program's documented result at its step; every step before
// it succeeds.
TEST_F(ProtocolOverPtySlowTest, InjectedFaultsGiveTheDocumentedResults)
{
    // The steps of a programming run in order (2 is the switch); blocks: the image's first four.
    constexpr int Sync = 0, Load = 1, Ping = 3, Erase = 4, Blank = 5, Block0 = 6, Block1 = 7, Block2 = 8,
                  Block3 = 9;
    constexpr int THROWS = -1; // CSerialException
    struct SCase
    {
        std::string strFault; // ending in '=': the address of the step's block follows
        int nStep;
        int nExpected;  // KR_TIMEOUT: on a fast clock with 20 ms reads
        int nTimes = 1; // results like that before the step succeeds
        const char* pszStderr = nullptr;
        size_t nStderr = 0; // how often the simulator reports it
        const char* pszSimChip = nullptr;
    };
    const std::vector<SCase> cases = {
        {"no-sync", Sync, BOOTROM_NO_REPLY},
        {"bad-sync", Sync, BOOTROM_NO_REPLY},
        {"refuse-download=2", Load, BOOTROM_NO_REPLY, 2},
        {"no-ping", Ping, KR_NO_ANSWER},
        // The program assumed an MB90F362 and sent kernel 148; the unit is an MB90F345.
        {"", Ping, KR_NO_ANSWER, 1, "is not the one for MB90F345", 1, "MB90F345"},
        {"erase-hangs", Erase, KR_TIMEOUT},
        {"blank-fails", Blank, KR_UNKNOWN_ERROR},
        {"blank-hangs", Blank, KR_TIMEOUT},
        // Retried once by the program, so it succeeds; a CRC error on every try fails.
        {"crc-once=", Block0, KR_OK, 1, "crc-once", 1},
        {"crc-always=", Block1, KR_CRC_ERROR, 1, "crc-always", 2},
        {"write-fails=", Block2, KR_TRANSFER_ERROR},
        // A hung-up line is an error of the port, seen by a write or a read.
        {"vanish-after=3", Block3, THROWS, 3},
    };
    ASSERT_EQ(m_image.Load(OrlixSamplePath("controller-mb90f362.mhx")), LOAD_OK);
    const std::vector<uint32_t> blocks = ImageBlocks();
    ASSERT_GE(blocks.size(), 4u);
    const auto block = [&](int nStep) { return blocks[static_cast<size_t>(nStep - Block0)]; };

    CFastClock clock;
    CProgressLog eraseProgress;
    std::vector<std::function<int()>> steps = {[&] { return m_loader.Synchronize(); },
                                               [&] { return m_loader.DownloadKernel(); },
                                               [&] { return m_loader.SwitchToBaud2(); },
                                               [&] { return m_kernel.Ping(); },
                                               [&] { return m_kernel.EraseFlash(&eraseProgress); },
                                               [&] { return m_kernel.BlankCheckFlash(); }};
    for (int nBlock = Block0; nBlock <= Block3; ++nBlock)
    {
        steps.push_back([&, nBlock] { return WriteImageBlock(block(nBlock)); });
    }
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.strFault.empty() ? c.pszSimChip : c.strFault);
        SSimProcessOptions opts;
        if (!c.strFault.empty())
        {
            opts.faults = {c.strFault.back() == '=' ? c.strFault + Hex(block(c.nStep)) : c.strFault};
        }
        ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx", opts, c.pszSimChip));
        m_kernel.SetClock(nullptr);
        for (int nStep = Sync; nStep < c.nStep; ++nStep)
        {
            ASSERT_EQ(steps[static_cast<size_t>(nStep)](), 0) << "step " << nStep;
        }
        const auto& run = steps[static_cast<size_t>(c.nStep)];
        if (c.nExpected == KR_TIMEOUT)
        {
            m_kernel.SetClock(&clock);
            m_holder.m_port.SetTimeouts({500, 0, 20, 20, 100});
        }
        eraseProgress.m_values.clear();
        if (c.nExpected == THROWS)
        {
            EXPECT_THROW(
                for (int i = 0; i < c.nTimes; ++i) { run(); }, CSerialException);
            continue;
        }
        for (int i = 0; i < c.nTimes; ++i)
        {
            EXPECT_EQ(run(), c.nExpected);
        }
        if (c.nTimes > 1)
        {
            EXPECT_EQ(run(), 0) << "after the refusals";
        }
        if (c.nStep == Erase)
        {
            ASSERT_EQ(eraseProgress.m_values.size(), 31u); // 30 polls, then 100
            EXPECT_EQ(eraseProgress.m_values[29], 96);
        }
        if (c.pszStderr != nullptr)
        {
            EXPECT_EQ(CountInStderr(c.pszStderr), c.nStderr) << m_sim.StderrText();
        }
    }
    m_kernel.SetClock(nullptr);
}

// Mended: a dump that cannot be written made the simulator retry in a busy loop.
TEST_F(ProtocolOverPtySlowTest, SimulatorSleepsEvenWhenItsDumpCannotBeWritten)
{
    SSimProcessOptions opts;
    opts.bDump = false;
    opts.extraArgs = {"--dump", m_dir.File("missing/flash.bin")};
    ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx", opts));
    ASSERT_NO_FATAL_FAILURE(Download());
    ASSERT_EQ(m_kernel.EraseFlash(), KR_OK);
    // A spinning simulator would use most of these two seconds; a waiting one a few ms.
    const auto before = CpuTime(m_sim.Pid());
    std::this_thread::sleep_for(2s);
    EXPECT_LT(CpuTime(m_sim.Pid()) - before, 500ms);
    // Reported once per change of the flash (the first dump, the erase), not on every retry.
    EXPECT_GE(CountInStderr("cannot write the dump"), 1u);
    EXPECT_LE(CountInStderr("cannot write the dump"), 2u) << m_sim.StderrText();
    EXPECT_EQ(m_kernel.Ping(), KR_OK);
}

// Mended: a crashed test left its simulator running; it ends when its stdout's reader is gone.
TEST(SimProcessSlowTest, EndsCleanlyWhenTheReaderOfItsStdoutIsGone)
{
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
