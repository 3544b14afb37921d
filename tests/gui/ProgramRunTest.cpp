// bin/orlix as a technician runs it, against the simulated unit: the window operates itself
// (ORLIX_GUI_AUTOPILOT) on a virtual display; it must exit with 0 and leave the image in flash.
#include "firmware/FirmwareImage.h"
#include "target/ChipDef.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace std::chrono_literals;

namespace
{
// Runs the window against orlix-sim, checks exit status and flash; the window's log.
std::string RunGuiAgainstSim(const std::string& strSample, std::vector<std::string> args,
                             const std::string& strAutopilot, bool bPace)
{
    CTempDir dir;
    // A folder with a space: the path travels through argv, the joined line and its parser.
    const std::string strFolder = dir.File("firmware files");
    std::filesystem::create_directories(strFolder);
    const std::string strFirmware = strFolder + "/" + std::filesystem::path(strSample).filename().string();
    std::filesystem::copy_file(strSample, strFirmware);
    CFirmwareImage image;
    SChipDef chip;
    if (image.Load(strFirmware) != LOAD_OK || !chip.SelectChip(image.GetProcessor()))
    {
        ADD_FAILURE() << "cannot read " << strSample;
        return {};
    }
    // The image's bytes, 0xFF elsewhere.
    std::vector<uint8_t> expected(chip.FlashSize, 0xFF);
    for (uint32_t i = 0; i < chip.FlashSize; ++i)
    {
        image.Read(&expected[i], chip.StartAddress + i, 1);
    }
    CSimProcess sim;
    SSimProcessOptions opts;
    opts.strChip = chip.Name;
    opts.bPace = bPace;
    if (!sim.Start(dir.Path(), opts))
    {
        ADD_FAILURE() << "orlix-sim: " << sim.Error();
        return {};
    }
    SRunOptions runOpts;
    runOpts.args = std::move(args);
    runOpts.args.push_back("-f:" + strFirmware);
    runOpts.args.push_back("-p:" + sim.LinkPath());
    runOpts.extraEnv = {"ORLIX_GUI_AUTOPILOT=" + strAutopilot, "NO_AT_BRIDGE=1"};
    runOpts.timeout = 120s;
    const SProcessResult result = RunProcess(ORLIX_GUI_PATH, runOpts);
    sim.Stop();
    EXPECT_TRUE(result.bStarted) << result.strError;
    EXPECT_FALSE(result.bTimedOut) << result.strStderr;
    EXPECT_EQ(result.nExitCode, 0) << result.strStderr;
    const std::vector<uint8_t> dump = sim.ReadDump();
    EXPECT_EQ(dump.size(), expected.size()) << sim.StderrText();
    EXPECT_TRUE(dump == expected) << "the unit's flash differs from the firmware image";
    return result.strStderr;
}
} // namespace

TEST(GuiProgramRun, AutomaticModeUpdatesTheUnitAndExitsWithZero)
{
    const std::string strLog =
        RunGuiAgainstSim(OrlixSamplePath("analyzer-mb90f345.mhx"), {"-a"}, "click", false);
    // Automatic mode: the only clicks are "Continue" on the connect page and "Close" at the end.
    EXPECT_NE(strLog.find("press Continue"), std::string::npos) << strLog;
    EXPECT_NE(strLog.find("press Close"), std::string::npos) << strLog;
    EXPECT_EQ(strLog.find("press Start"), std::string::npos) << strLog;
    EXPECT_EQ(strLog.find("message box"), std::string::npos) << strLog;
}

TEST(GuiProgramRun, CloseWhileProgrammingIsRefusedAndTheUpdateFinishes)
{
    // Bytes at their wire speed, so the programming lasts long enough to be interrupted.
    const std::string strLog =
        RunGuiAgainstSim(OrlixSamplePath("controller-mb90f362.mhx"), {}, "click,close-busy", true);
    const size_t nClose = strLog.find("autopilot: close while busy");
    const size_t nBox = strLog.find("message box \"orlix\": You tried to end the update prematurely.");
    const size_t nSuccess = strLog.find("The firmware update was successful.");
    ASSERT_NE(nClose, std::string::npos) << strLog;
    ASSERT_NE(nBox, std::string::npos) << strLog;
    ASSERT_NE(nSuccess, std::string::npos) << strLog;
    EXPECT_LT(nClose, nBox);
    EXPECT_LT(nBox, nSuccess);
}
