// The program's protocol classes on its real serial port over a pseudo-terminal against
// orlix-sim: the unit catches the program's mistakes. (Whole updates against the unit run
// end to end through orlix-cli.)
#include "firmware/FirmwareImage.h"
#include "serial/PortHolder.h"
#include "target/BootRomLoader.h"
#include "target/FlashKernel.h"
#include "tests/support/ChildSpawn.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace
{
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
    // Starts a simulated unit of the given processor, the program set up for the 362 sample.
    void StartUnit(SSimProcessOptions opts = {}, const char* pszSimChip = "MB90F362")
    {
        m_holder.ClosePort();
        m_sim.Stop();
        ASSERT_EQ(m_image.Load(OrlixSamplePath("controller-mb90f362.mhx")), LOAD_OK);
        ASSERT_TRUE(m_chip.SelectChip("MB90F362"));
        opts.strChip = pszSimChip;
        ASSERT_TRUE(m_sim.Start(m_dir.Path(), opts)) << m_sim.Error();
        m_record.devicePath = m_sim.LinkPath();
        m_holder.m_currentPort = &m_record;
        ASSERT_TRUE(m_holder.OpenPort());
        m_loader.AttachPort(&m_holder.m_port);
        m_loader.SetChip(m_chip);
        m_kernel.AttachPort(&m_holder.m_port);
        m_kernel.SetChip(m_chip);
    }

    void Download(KernelResult ping = KR_OK)
    {
        ASSERT_EQ(m_loader.Synchronize(), BOOTROM_OK);
        ASSERT_EQ(m_loader.DownloadKernel(), BOOTROM_OK);
        ASSERT_EQ(m_loader.SwitchToBaud2(), BOOTROM_OK);
        ASSERT_EQ(m_kernel.Ping(), ping);
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

TEST_F(ProtocolOverPtySlowTest, MistakesOfTheProgramAreCaughtByTheUnit)
{
    ASSERT_NO_FATAL_FAILURE(StartUnit());
    ASSERT_NO_FATAL_FAILURE(Download());
    // Without an erase: the old firmware is not blank and cannot be programmed over.
    EXPECT_EQ(m_kernel.BlankCheckFlash(), KR_UNKNOWN_ERROR);
    uint8_t block[514];
    ASSERT_EQ(m_image.ReadBlock(block, 0xFF8000), 512u);
    EXPECT_EQ(m_kernel.WriteFlashBlock(block, 0xFF8000, 512), KR_TRANSFER_ERROR);
    // Commands for the other processor's flash are refused.
    uint8_t buf[515] = {};
    EXPECT_EQ(m_kernel.WriteFlashBlock(buf, 0xF80000, 512), KR_INVALID_COMMAND);
    EXPECT_EQ(m_kernel.ReadFlashBlock(buf, 0xF80000), KR_INVALID_COMMAND);
    SChipDef other;
    other.SelectChip("MB90F345");
    m_kernel.SetChip(other);
    EXPECT_EQ(m_kernel.EraseFlash(), KR_INVALID_COMMAND);
    EXPECT_GE(CountInStderr("protocol error"), 4u);

    // The kernel for an MB90F362 sent to an MB90F345: it never answers.
    ASSERT_NO_FATAL_FAILURE(StartUnit({}, "MB90F345"));
    ASSERT_NO_FATAL_FAILURE(Download(KR_NO_ANSWER));
    EXPECT_EQ(CountInStderr("is not the one for MB90F345"), 1u) << m_sim.StderrText();
}

// Mended: a dump that cannot be written made the simulator retry in a busy loop.
TEST_F(ProtocolOverPtySlowTest, SimulatorSleepsEvenWhenItsDumpCannotBeWritten)
{
    SSimProcessOptions opts;
    opts.bDump = false;
    opts.extraArgs = {"--dump", m_dir.File("missing/flash.bin")};
    ASSERT_NO_FATAL_FAILURE(StartUnit(opts));
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
    EXPECT_FALSE(std::filesystem::is_symlink(dir.File("unit0")));
    EXPECT_EQ(ReadFileBytes(dir.File("flash.bin")).size(), 0x80000u);
}
