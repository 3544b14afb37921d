// bin/orlix as a technician runs it with the keyboard alone, against the simulated unit on the
// tests' virtual display: xdotool types Space on the connect page and on the success page, and
// nothing else (no Tab). The update must run, the window close, the program exit with 0 and the
// image be in flash. From outside a page cannot be seen, so Space repeats until the page has
// reacted; on the pages in between the wizard ignores it.
#include "firmware/FirmwareImage.h"
#include "target/ChipDef.h"
#include "tests/support/ChildSpawn.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>

using namespace std::chrono_literals;

namespace
{
bool Xdotool(const std::vector<std::string>& args, std::string* pOutput = nullptr)
{
    SRunOptions opts;
    opts.args = args;
    opts.timeout = 20s;
    const SProcessResult result = RunProcess(ORLIX_XDOTOOL_PATH, opts);
    if (pOutput != nullptr)
    {
        *pOutput = result.strStdout;
    }
    return result.Succeeded();
}

// Waits until done() holds, pressing Space every half second when bSpace; false after the
// time-out.
bool PollUntil(const std::function<bool()>& done, std::chrono::seconds timeout, bool bSpace)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (int nTick = 0; !done(); ++nTick)
    {
        if (std::chrono::steady_clock::now() >= deadline)
        {
            return false;
        }
        if (bSpace && nTick % 10 == 0)
        {
            Xdotool({"key", "space"});
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// bin/orlix as a child; killed with its group if the test leaves before it ended.
struct SGuiChild
{
    pid_t pid = -1;
    int nStatus = 0;
    bool bEnded = false;
    bool Ended() { return bEnded || (bEnded = WaitChild(pid, 0, nStatus)); }
    ~SGuiChild()
    {
        if (pid > 0 && !Ended())
        {
            kill(-pid, SIGKILL);
            WaitChild(pid, 10000, nStatus);
        }
    }
};
} // namespace

TEST(GuiProgramRun, SpaceAloneRunsAnAutomaticUpdateAndClosesTheWindow)
{
    CTempDir dir;
    // A folder with a space: the path travels through argv, the joined line and its parser.
    const std::string strFolder = dir.File("firmware files");
    std::filesystem::create_directories(strFolder);
    const std::string strFirmware = strFolder + "/analyzer-mb90f345.mhx";
    std::filesystem::copy_file(OrlixSamplePath("analyzer-mb90f345.mhx"), strFirmware);
    CFirmwareImage image;
    SChipDef chip;
    ASSERT_TRUE(image.Load(strFirmware) == LOAD_OK && chip.SelectChip(image.GetProcessor()));
    std::vector<uint8_t> expected(chip.FlashSize, 0xFF); // the image's bytes, 0xFF elsewhere
    for (uint32_t i = 0; i < chip.FlashSize; ++i)
    {
        image.Read(&expected[i], chip.StartAddress + i, 1);
    }
    CSimProcess sim;
    SSimProcessOptions simOpts;
    simOpts.strChip = chip.Name;
    ASSERT_TRUE(sim.Start(dir.Path(), simOpts)) << sim.Error();

    const std::string strStderr = dir.File("orlix.stderr");
    const int nStderr = open(strStderr.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    SSpawnRequest req;
    req.strPath = ORLIX_GUI_PATH;
    req.args = {"-a", "-f:" + strFirmware, "-p:" + sim.LinkPath()};
    req.extraEnv = {"NO_AT_BRIDGE=1"};
    req.nStderrFd = nStderr;
    std::string strError;
    SGuiChild orlix;
    orlix.pid = SpawnChild(req, strError);
    close(nStderr);
    ASSERT_GT(orlix.pid, 0) << strError;

    // Without a window manager xdotool gives the window the input focus; which control has it
    // inside the window is the program's own choice.
    std::string strWindow;
    ASSERT_TRUE(
        Xdotool({"search", "--sync", "--onlyvisible", "--pid", std::to_string(orlix.pid)}, &strWindow) &&
        Xdotool({"windowfocus", strWindow.substr(0, strWindow.find('\n'))}))
        << "no window of orlix, or no xdotool (" ORLIX_XDOTOOL_PATH ")\n"
        << ReadFileText(strStderr);
    const bool bSpace = true;
    EXPECT_TRUE(
        PollUntil([&] { return ReadFileText(sim.LogPath()).find(" rx ") != std::string::npos; }, 20s, bSpace))
        << "Space on the connect page did not start the search";
    EXPECT_TRUE(PollUntil([&] { return sim.ReadDump() == expected; }, 90s, !bSpace))
        << "the unit's flash never matched the firmware image";
    // The success page shows "Close".
    EXPECT_TRUE(PollUntil([&] { return orlix.Ended(); }, 20s, bSpace))
        << "Space on the success page did not close the window";
    EXPECT_TRUE(orlix.Ended() && WIFEXITED(orlix.nStatus) && WEXITSTATUS(orlix.nStatus) == 0)
        << ReadFileText(strStderr);
    sim.Stop();
    EXPECT_TRUE(sim.ReadDump() == expected) << sim.StderrText();
}
