// The program's protocol classes (CBootRomLoader, CFlashKernel) on its real serial port
// (CSerialPort, opened through CPortHolder with the fixed settings) over a pseudo-terminal
// against orlix-sim, at the termios speeds the program sets.
#include "firmware/FirmwareImage.h"
#include "serial/PortHolder.h"
#include "target/BootRomLoader.h"
#include "target/FlashKernel.h"
#include "target/ProtocolClock.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <regex>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace
{
// Real time that runs 20 times faster and skips sleeps: the erase's pauses and the blank
// check's 5 s limit pass quickly while every read still waits on the real line.
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

class ProtocolOverPtySlowTest : public ::testing::Test
{
protected:
    // Loads a sample, selects its processor and starts a simulator for it.
    void StartUnit(const std::string& strSample, SSimProcessOptions opts = {},
                   const char* pszSimChip = nullptr)
    {
        ASSERT_EQ(m_image.Load(OrlixSamplePath(strSample)), LOAD_OK) << strSample;
        ASSERT_TRUE(m_chip.SelectChip(m_image.GetProcessor())) << m_image.GetProcessor();
        opts.strChip = pszSimChip != nullptr ? pszSimChip : m_chip.Name;
        ASSERT_TRUE(m_sim.Start(m_dir.Path(), opts)) << m_sim.Error();
        OpenPort();
    }

    // A new simulator for the same processor on the same link, e.g. with other faults.
    void RestartUnit(SSimProcessOptions opts)
    {
        m_holder.ClosePort();
        m_sim.Stop();
        opts.strChip = m_chip.Name;
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

    // Erase, blank check and every non-blank block, as the programming run does it.
    void Program()
    {
        ASSERT_EQ(m_kernel.EraseFlash(), KR_OK);
        ASSERT_EQ(m_kernel.BlankCheckFlash(), KR_OK);
        for (const uint32_t dwAddress : ImageBlocks())
        {
            ASSERT_EQ(WriteImageBlock(dwAddress), KR_OK) << Hex(dwAddress);
        }
    }

    // What the flash must hold after a programming run: the image, blank elsewhere.
    Bytes ExpectedFlash() const
    {
        Bytes flash(m_chip.FlashSize, 0xFF);
        for (uint32_t dw = m_image.GetLowAddress(); dw <= m_image.GetHighAddress(); ++dw)
        {
            if (dw >= m_chip.StartAddress && dw <= m_chip.EndAddress)
            {
                m_image.Read(&flash[dw - m_chip.StartAddress], dw, 1);
            }
        }
        return flash;
    }

    // The dump after the simulator has ended; reports the first differing address.
    void ExpectDumpEqualsImage()
    {
        EXPECT_EQ(m_sim.Stop(), 0);
        const Bytes dump = m_sim.ReadDump();
        const Bytes expected = ExpectedFlash();
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
} // namespace

TEST_F(ProtocolOverPtySlowTest, WholeProgrammingSequenceMB90F345)
{
    ASSERT_NO_FATAL_FAILURE(StartUnit("analyzer-mb90f345.mhx"));
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
    // Read two blocks back: the first and the last written.
    for (const uint32_t dwAddress : {blocks.front(), blocks.back()})
    {
        uint8_t reply[515];
        ASSERT_EQ(m_kernel.ReadFlashBlock(reply, dwAddress), KR_OK);
        uint8_t expected[514];
        m_image.ReadBlock(expected, dwAddress);
        EXPECT_TRUE(std::equal(reply, reply + 512, expected)) << Hex(dwAddress);
    }
    m_holder.ClosePort();
    ExpectDumpEqualsImage();
    EXPECT_EQ(CountInStderr("protocol error"), 0u) << m_sim.StderrText();
}

TEST_F(ProtocolOverPtySlowTest, RealisticWireTimesStayWithinTheProgramsTimeOuts)
{
    // With pacing the 918-byte kernel frame would take 1.9 s at 4800 bit/s; the capped hold-back
    // lets the download succeed within the 800 ms reply time-out, and blocks travel at 115200.
    SSimProcessOptions opts;
    opts.bPace = true;
    ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx", opts));
    ASSERT_NO_FATAL_FAILURE(Download());
    ASSERT_EQ(m_kernel.EraseFlash(), KR_OK);
    ASSERT_EQ(m_kernel.BlankCheckFlash(), KR_OK);
    const std::vector<uint32_t> blocks = ImageBlocks();
    for (size_t i = 0; i < blocks.size() && i < 8; ++i)
    {
        ASSERT_EQ(WriteImageBlock(blocks[i]), KR_OK) << Hex(blocks[i]);
    }
    uint8_t reply[515];
    EXPECT_EQ(m_kernel.ReadFlashBlock(reply, blocks.front()), KR_OK);
}

TEST_F(ProtocolOverPtySlowTest, WholeSequenceMB90F362ThenReopeningThePortResetsTheUnit)
{
    ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx"));
    EXPECT_EQ(m_chip.ResourceId, 148u); // the other kernel
    ASSERT_NO_FATAL_FAILURE(Download());
    ASSERT_NO_FATAL_FAILURE(Program());
    // The wizard's retry: the port is closed and opened again at 4800 bit/s.
    m_holder.ClosePort();
    ASSERT_NO_FATAL_FAILURE(OpenPort());
    EXPECT_EQ(m_loader.Synchronize(), BOOTROM_OK);
    ASSERT_EQ(m_loader.DownloadKernel(), BOOTROM_OK);
    EXPECT_EQ(m_loader.SwitchToBaud2(), BOOTROM_OK);
    EXPECT_EQ(m_kernel.Ping(), KR_OK);
    // Still programmed: blank check says no.
    EXPECT_EQ(m_kernel.BlankCheckFlash(), KR_UNKNOWN_ERROR);
    m_holder.ClosePort();
    ExpectDumpEqualsImage();
    EXPECT_EQ(CountInStderr("protocol error"), 0u) << m_sim.StderrText();
}

TEST_F(ProtocolOverPtySlowTest, MistakesOfTheProgramAreCaughtByTheUnit)
{
    ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx"));
    ASSERT_NO_FATAL_FAILURE(Download());
    const uint32_t dwBlock = ImageBlocks().front();
    // Without an erase: the old firmware is not blank and cannot be programmed over.
    EXPECT_EQ(m_kernel.BlankCheckFlash(), KR_UNKNOWN_ERROR);
    EXPECT_EQ(WriteImageBlock(dwBlock), KR_TRANSFER_ERROR);
    // Commands for the other processor's flash are refused.
    uint8_t buf[515] = {};
    EXPECT_EQ(m_kernel.WriteFlashBlock(buf, 0xF80000, 512), KR_INVALID_COMMAND);
    EXPECT_EQ(m_kernel.ReadFlashBlock(buf, 0xF80000), KR_INVALID_COMMAND);
    m_kernel.SetChip(
        []
        {
            SChipDef other;
            other.SelectChip("MB90F345");
            return other;
        }());
    EXPECT_EQ(m_kernel.EraseFlash(), KR_INVALID_COMMAND);
    EXPECT_GE(CountInStderr("protocol error"), 4u);
}

TEST_F(ProtocolOverPtySlowTest, KernelOfAnotherProcessorHangsTheUnit)
{
    // The program thinks it has an MB90F362 and sends kernel 148; the unit is an MB90F345.
    ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx", {}, "MB90F345"));
    EXPECT_EQ(m_loader.Synchronize(), BOOTROM_OK);
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_OK);
    EXPECT_EQ(m_loader.SwitchToBaud2(), BOOTROM_OK);
    EXPECT_EQ(m_kernel.Ping(), KR_NO_ANSWER);
    EXPECT_EQ(CountInStderr("is not the one for MB90F345"), 1u) << m_sim.StderrText();
}

TEST_F(ProtocolOverPtySlowTest, DecoyNeverAnswersTheSync)
{
    SSimProcessOptions opts;
    opts.decoyNames = {"decoy0"};
    ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx", opts));
    m_holder.ClosePort();
    m_record.devicePath = m_sim.DecoyPaths()[0];
    ASSERT_TRUE(m_holder.OpenPort());
    EXPECT_EQ(m_loader.Synchronize(), BOOTROM_NO_REPLY);
}

// Injected faults give the results the program documents for them.
TEST_F(ProtocolOverPtySlowTest, FaultsOfTheBootRom)
{
    SSimProcessOptions opts;
    opts.faults = {"no-sync"};
    ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx", opts));
    EXPECT_EQ(m_loader.Synchronize(), BOOTROM_NO_REPLY);

    opts.faults = {"bad-sync"};
    ASSERT_NO_FATAL_FAILURE(RestartUnit(opts));
    EXPECT_EQ(m_loader.Synchronize(), BOOTROM_NO_REPLY);

    opts.faults = {"refuse-download=2"};
    ASSERT_NO_FATAL_FAILURE(RestartUnit(opts));
    EXPECT_EQ(m_loader.Synchronize(), BOOTROM_OK);
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_NO_REPLY);
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_NO_REPLY);
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_OK);
    EXPECT_EQ(m_loader.SwitchToBaud2(), BOOTROM_OK);
    EXPECT_EQ(m_kernel.Ping(), KR_OK) << m_sim.StderrText();
}

TEST_F(ProtocolOverPtySlowTest, FaultsOfTheKernelCommands)
{
    SSimProcessOptions opts;
    opts.faults = {"no-ping", "blank-fails"};
    ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx", opts));
    EXPECT_EQ(m_loader.Synchronize(), BOOTROM_OK);
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_OK);
    EXPECT_EQ(m_loader.SwitchToBaud2(), BOOTROM_OK);
    EXPECT_EQ(m_kernel.Ping(), KR_NO_ANSWER);
    EXPECT_EQ(m_kernel.EraseFlash(), KR_OK);
    EXPECT_EQ(m_kernel.BlankCheckFlash(), KR_UNKNOWN_ERROR);
}

TEST_F(ProtocolOverPtySlowTest, HangingEraseAndBlankCheckTimeOut)
{
    // The short path: the erase's 30 polls a second apart with 800 ms reads would take ~54 s.
    // Here the pauses are skipped and a read waits 20 ms; the polling logic is the same.
    SSimProcessOptions opts;
    opts.faults = {"erase-hangs"};
    ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx", opts));
    ASSERT_NO_FATAL_FAILURE(Download());
    CFastClock clock;
    m_kernel.SetClock(&clock);
    m_holder.m_port.SetTimeouts({500, 0, 20, 20, 100});
    CProgressLog progress;
    EXPECT_EQ(m_kernel.EraseFlash(&progress), KR_TIMEOUT);
    ASSERT_EQ(progress.m_values.size(), 31u); // 30 polls, then 100
    EXPECT_EQ(progress.m_values[29], 96);

    opts.faults = {"blank-hangs"};
    ASSERT_NO_FATAL_FAILURE(RestartUnit(opts));
    ASSERT_NO_FATAL_FAILURE(Download());
    ASSERT_EQ(m_kernel.EraseFlash(), KR_OK);
    m_kernel.SetClock(&clock);
    m_holder.m_port.SetTimeouts({500, 0, 20, 20, 100});
    EXPECT_EQ(m_kernel.BlankCheckFlash(), KR_TIMEOUT);
}

TEST_F(ProtocolOverPtySlowTest, FaultsOfTheBlockWrites)
{
    ASSERT_TRUE(m_image.Load(OrlixSamplePath("controller-mb90f362.mhx")) == LOAD_OK);
    const std::vector<uint32_t> blocks = ImageBlocks();
    ASSERT_GE(blocks.size(), 3u);
    SSimProcessOptions opts;
    opts.faults = {"crc-once=" + Hex(blocks[0]), "crc-always=" + Hex(blocks[1]),
                   "write-fails=" + Hex(blocks[2])};
    ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx", opts));
    ASSERT_NO_FATAL_FAILURE(Download());
    ASSERT_EQ(m_kernel.EraseFlash(), KR_OK);
    EXPECT_EQ(WriteImageBlock(blocks[0]), KR_OK); // retried once by the program
    EXPECT_EQ(CountInStderr("crc-once"), 1u);
    EXPECT_EQ(WriteImageBlock(blocks[1]), KR_CRC_ERROR);
    EXPECT_EQ(CountInStderr("crc-always"), 2u); // both attempts refused
    EXPECT_EQ(WriteImageBlock(blocks[2]), KR_TRANSFER_ERROR);
    uint8_t reply[515];
    ASSERT_EQ(m_kernel.ReadFlashBlock(reply, blocks[0]), KR_OK);
    uint8_t expected[514];
    m_image.ReadBlock(expected, blocks[0]);
    EXPECT_TRUE(std::equal(reply, reply + 512, expected));
}

TEST_F(ProtocolOverPtySlowTest, VanishingUnitMakesThePortThrow)
{
    SSimProcessOptions opts;
    opts.faults = {"vanish-after=3"};
    ASSERT_NO_FATAL_FAILURE(StartUnit("controller-mb90f362.mhx", opts));
    ASSERT_NO_FATAL_FAILURE(Download());
    ASSERT_EQ(m_kernel.EraseFlash(), KR_OK);
    const std::vector<uint32_t> blocks = ImageBlocks();
    ASSERT_GE(blocks.size(), 4u);
    for (size_t i = 0; i < 3; ++i)
    {
        ASSERT_EQ(WriteImageBlock(blocks[i]), KR_OK);
    }
    // The fourth block meets a hung-up line: an error of the port, not a protocol result.
    EXPECT_THROW(
        {
            // The hang-up may be seen by the write or by a read; either must throw.
            for (int i = 0; i < 3; ++i)
            {
                WriteImageBlock(blocks[3]);
            }
        },
        CSerialException);
}
