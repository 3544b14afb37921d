// bin/orlix as a technician runs it, against the simulated unit: the window operates itself
// (ORLIX_GUI_AUTOPILOT) on a virtual display, and the unit's flash must end up as the image.
#include "firmware/FirmwareImage.h"
#include "target/ChipDef.h"
#include "tests/gui/GuiTestUtil.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace
{
// The flash as it must be after programming the file: the image's bytes, 0xFF elsewhere.
std::vector<uint8_t> ExpectedFlash(const std::string& strFirmware, std::string& strChip)
{
    CFirmwareImage image;
    if (image.Load(strFirmware) != LOAD_OK)
    {
        return {};
    }
    SChipDef chip;
    if (!chip.SelectChip(image.GetProcessor()))
    {
        return {};
    }
    strChip = chip.Name;
    std::vector<uint8_t> flash(chip.FlashSize, 0xFF);
    for (uint32_t i = 0; i < chip.FlashSize; ++i)
    {
        image.Read(&flash[i], chip.StartAddress + i, 1);
    }
    return flash;
}

struct SGuiRun
{
    SProcessResult result;
    std::vector<uint8_t> dump;
    std::vector<uint8_t> expected;
    std::string strSimErrors;
};

SGuiRun RunGuiAgainstSim(const std::string& strSample, const std::vector<std::string>& extraArgs,
                         const std::string& strAutopilot, bool bPace)
{
    SGuiRun run;
    CTempDir dir;
    // A folder with a space: the path travels through argv, the joined line and its parser.
    const std::string strFolder = dir.File("firmware files");
    std::filesystem::create_directories(strFolder);
    const std::string strFirmware = strFolder + "/" + std::filesystem::path(strSample).filename().string();
    std::filesystem::copy_file(strSample, strFirmware);
    std::string strChip;
    run.expected = ExpectedFlash(strFirmware, strChip);
    if (run.expected.empty())
    {
        run.result.strError = "cannot read " + strSample;
        return run;
    }
    CSimProcess sim;
    SSimProcessOptions opts;
    opts.strChip = strChip;
    opts.bPace = bPace;
    if (!sim.Start(dir.Path(), opts))
    {
        run.result.strError = "orlix-sim: " + sim.Error();
        return run;
    }
    SRunOptions runOpts;
    runOpts.args = extraArgs;
    runOpts.args.push_back("-f:" + strFirmware);
    runOpts.args.push_back("-p:" + sim.LinkPath());
    runOpts.extraEnv = {"ORLIX_GUI_AUTOPILOT=" + strAutopilot, "NO_AT_BRIDGE=1"};
    runOpts.timeout = 120s;
    run.result = RunProcess(ORLIX_GUI_PATH, runOpts);
    sim.Stop();
    run.dump = sim.ReadDump();
    run.strSimErrors = sim.StderrText();
    return run;
}
} // namespace

TEST(GuiProgramRun, AutomaticModeUpdatesTheUnitAndExitsWithZero)
{
    const SGuiRun run = RunGuiAgainstSim(OrlixSamplePath("analyzer-mb90f345.mhx"), {"-a"}, "click", false);
    ASSERT_TRUE(run.result.bStarted) << run.result.strError;
    EXPECT_FALSE(run.result.bTimedOut) << run.result.strStderr;
    EXPECT_EQ(run.result.nExitCode, 0) << run.result.strStderr;
    // Automatic mode: the only click is "Continue" on the connect page, and "Close" at the end.
    EXPECT_NE(run.result.strStderr.find("press Continue"), std::string::npos) << run.result.strStderr;
    EXPECT_NE(run.result.strStderr.find("press Close"), std::string::npos) << run.result.strStderr;
    EXPECT_EQ(run.result.strStderr.find("press Start"), std::string::npos) << run.result.strStderr;
    EXPECT_EQ(run.result.strStderr.find("message box"), std::string::npos) << run.result.strStderr;
    ASSERT_EQ(run.dump.size(), run.expected.size()) << run.strSimErrors;
    EXPECT_TRUE(run.dump == run.expected) << "the unit's flash differs from the firmware image";
}

TEST(GuiProgramRun, CloseWhileProgrammingIsRefusedAndTheUpdateFinishes)
{
    // Bytes at their wire speed, so the programming lasts long enough to be interrupted.
    const SGuiRun run =
        RunGuiAgainstSim(OrlixSamplePath("controller-mb90f362.mhx"), {}, "click,close-busy", true);
    ASSERT_TRUE(run.result.bStarted) << run.result.strError;
    EXPECT_FALSE(run.result.bTimedOut) << run.result.strStderr;
    EXPECT_EQ(run.result.nExitCode, 0) << run.result.strStderr;
    const std::string& strLog = run.result.strStderr;
    const size_t nClose = strLog.find("autopilot: close while busy");
    const size_t nBox = strLog.find("message box \"orlix\": You tried to end the update prematurely.");
    const size_t nSuccess = strLog.find("The firmware update was successful.");
    ASSERT_NE(nClose, std::string::npos) << strLog;
    ASSERT_NE(nBox, std::string::npos) << strLog;
    ASSERT_NE(nSuccess, std::string::npos) << strLog;
    EXPECT_LT(nClose, nBox);
    EXPECT_LT(nBox, nSuccess);
    ASSERT_EQ(run.dump.size(), run.expected.size()) << run.strSimErrors;
    EXPECT_TRUE(run.dump == run.expected) << "the unit's flash differs from the firmware image";
}
