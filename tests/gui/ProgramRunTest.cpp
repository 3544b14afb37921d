// bin/orlix run by keys alone against the simulated unit: xdotool types Space (no Tab) until the
// connect page and then the success page react; the pages between ignore it. The update must run,
// the window close, the program exit with 0 and the image be in flash.
#include "firmware/FirmwareImage.h"
#include "target/ChipDef.h"
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
    const SProcessResult result = RunProcess(ORLIX_XDOTOOL_PATH, {.args = args, .timeout = 20s});
    if (pOutput != nullptr)
        *pOutput = result.strStdout;
    return result.nExitCode == 0;
}

// Waits until done() holds, pressing Space every half second when bSpace; false after the time-out.
bool PollUntil(const std::function<bool()>& done, std::chrono::seconds timeout, bool bSpace)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (int nTick = 0; !done(); ++nTick, std::this_thread::sleep_for(50ms))
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (bSpace && nTick % 10 == 0)
            Xdotool({"key", "space"});
    }
    return true;
}
} // namespace

TEST(GuiProgramRun, SpaceAloneRunsAnAutomaticUpdateAndClosesTheWindow)
{
    CTempDir dir;
    std::filesystem::create_directories(dir.File("firmware files")); // a space through argv and back
    const std::string strFirmware = dir.File("firmware files/analyzer-mb90f345.mhx");
    std::filesystem::copy_file(OrlixSamplePath("analyzer-mb90f345.mhx"), strFirmware);
    CFirmwareImage image;
    SChipDef chip;
    ASSERT_TRUE(image.Load(strFirmware) == LOAD_OK && chip.SelectChip(image.GetProcessor()));
    std::vector<uint8_t> expected(chip.FlashSize, 0xFF); // the image's bytes, 0xFF elsewhere
    for (uint32_t i = 0; i < chip.FlashSize; ++i)
        image.Read(&expected[i], chip.StartAddress + i, 1);
    CSimProcess sim;
    ASSERT_TRUE(sim.Start(dir.Path(), {.strChip = chip.Name})) << sim.Error();

    const std::string strStderr = dir.File("orlix.stderr");
    SSpawnRequest req;
    req.strPath = ORLIX_GUI_PATH;
    req.args = {"-a", "-f:" + strFirmware, "-p:" + sim.LinkPath()};
    req.nStderrFd = open(strStderr.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::string strError;
    const pid_t pid = SpawnChild(req, strError);
    close(req.nStderrFd);
    ASSERT_GT(pid, 0) << strError;
    int nStatus = 0;
    bool bEnded = false;
    auto ended = [&] { return bEnded || (bEnded = WaitChild(pid, 0, nStatus)); };
    // xdotool gives the window the focus; which control has it is the program's own choice.
    std::string strWindow;
    const bool bFocused =
        Xdotool({"search", "--sync", "--onlyvisible", "--pid", std::to_string(pid)}, &strWindow) &&
        Xdotool({"windowfocus", strWindow.substr(0, strWindow.find('\n'))});
    EXPECT_TRUE(bFocused) << "no window of orlix, or no xdotool (" ORLIX_XDOTOOL_PATH ")\n"
                          << ReadFileText(strStderr);
    if (bFocused)
    {
        EXPECT_TRUE(PollUntil([&] { return ReadFileText(sim.LogPath()).find(" rx ") != std::string::npos; },
                              20s, true))
            << "Space on the connect page did not start the search";
        EXPECT_TRUE(PollUntil([&] { return sim.ReadDump() == expected; }, 90s, false))
            << "the unit's flash never matched the firmware image";
        EXPECT_TRUE(PollUntil(ended, 20s, true))
            << "Space on the success page (Close) did not close the window";
        EXPECT_TRUE(ended() && WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << ReadFileText(strStderr);
    }
    if (!ended())
        kill(-pid, SIGKILL), WaitChild(pid, 10000, nStatus);
    sim.Stop();
    EXPECT_TRUE(sim.ReadDump() == expected) << sim.StderrText();
}
