// orlix-sim as a process, against the program's protocol classes on a real serial port over a
// pseudo-terminal. (Whole updates against it run end to end through orlix-cli.)
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

namespace
{
// CPU time (user + system) a process has used so far.
std::chrono::milliseconds CpuTime(pid_t pid)
{
    std::istringstream in(ReadFileText("/proc/" + std::to_string(pid) + "/stat"));
    std::string strField;
    long nTicks = 0;
    for (int i = 1; i <= 15 && in >> strField; ++i)
        nTicks += i >= 14 ? std::stol(strField) : 0;
    return std::chrono::milliseconds(nTicks * 1000 / sysconf(_SC_CLK_TCK));
}
} // namespace

// Mended: a dump that cannot be written made the simulator retry in a busy loop.
TEST(ProtocolOverPtySlowTest, SimulatorSleepsEvenWhenItsDumpCannotBeWritten)
{
    CTempDir dir;
    CSimProcess sim;
    SSimProcessOptions opts;
    opts.strChip = "MB90F362";
    opts.bDump = false;
    opts.extraArgs = {"--dump", dir.File("missing/flash.bin")};
    ASSERT_TRUE(sim.Start(dir.Path(), opts)) << sim.Error();
    SChipDef chip;
    ASSERT_TRUE(chip.SelectChip("MB90F362"));
    SSerInfo record;
    record.devicePath = sim.LinkPath();
    CPortHolder holder;
    holder.m_currentPort = &record;
    ASSERT_TRUE(holder.OpenPort());
    CBootRomLoader loader;
    loader.AttachPort(&holder.m_port);
    loader.SetChip(chip);
    CFlashKernel kernel;
    kernel.AttachPort(&holder.m_port);
    kernel.SetChip(chip);
    ASSERT_EQ(loader.Synchronize(), BOOTROM_OK);
    ASSERT_EQ(loader.DownloadKernel(), BOOTROM_OK);
    ASSERT_EQ(loader.SwitchToBaud2(), BOOTROM_OK);
    ASSERT_EQ(kernel.EraseFlash(), KR_OK);
    // A spinning simulator would use most of these two seconds; a waiting one a few ms.
    const auto before = CpuTime(sim.Pid());
    std::this_thread::sleep_for(2s);
    EXPECT_LT(CpuTime(sim.Pid()) - before, 500ms);
    // Reported once per change of the flash (the first dump, the erase), not on every retry.
    const std::string strErr = sim.StderrText(), strNote = "cannot write the dump";
    std::size_t nNotes = 0;
    for (auto pos = strErr.find(strNote); pos != std::string::npos; pos = strErr.find(strNote, pos + 1))
        ++nNotes;
    EXPECT_TRUE(nNotes >= 1 && nNotes <= 2) << strErr;
    EXPECT_EQ(kernel.Ping(), KR_OK);
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
        kill(pid, SIGKILL), WaitChild(pid, 5000, nStatus);
    ASSERT_TRUE(bEnded);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    EXPECT_FALSE(std::filesystem::is_symlink(dir.File("unit0")));
    EXPECT_EQ(ReadFileBytes(dir.File("flash.bin")).size(), 0x80000u);
}
