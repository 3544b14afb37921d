// orlix-cli end to end against the simulated unit: the kernel folder option and signals, checked
// by exit status, transcript and the unit's flash. Faults and whole updates run in tests/faults.
#include "app/core/Texts.h"
#include "firmware/FirmwareImage.h"
#include "firmware/Sha256.h"
#include "target/ChipDef.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <poll.h>
#include <unistd.h>

namespace
{

// The flash after the image was programmed on an erased unit: the image's bytes, 0xFF elsewhere.
std::vector<uint8_t> ExpectedFlash(const std::string& strFile, const std::string& strChip)
{
    SChipDef chip;
    EXPECT_TRUE(chip.SelectChip(strChip));
    std::vector<uint8_t> flash(chip.FlashSize, 0xFF);
    CFirmwareImage image;
    EXPECT_EQ(image.Load(strFile), LOAD_OK);
    for (uint32_t dwAddress = chip.StartAddress; dwAddress <= chip.EndAddress && dwAddress != 0; ++dwAddress)
        image.Read(&flash[dwAddress - chip.StartAddress], dwAddress, 1);
    return flash;
}

TEST(CliEndToEnd, KernelFileNamedWithKIsTheOneSentToAnMB90F362)
{
    CTempDir dir;
    const std::string strKernels = dir.File("my kernels");
    std::filesystem::create_directory(strKernels);
    std::string strKernel(873, '\0'); // not the stand-in: the unit, given the same file, takes no other
    for (std::size_t i = 0; i < strKernel.size(); ++i)
        strKernel[i] = static_cast<char>(i * 7 + 1);
    WriteFileText(strKernels + "/kernel-148.bin", strKernel);
    CSimProcess sim;
    ASSERT_TRUE(sim.Start(dir.Path(), {.strChip = "MB90F362", .extraArgs = {"--kernels", strKernels}}))
        << sim.Error();
    const std::string strFile = OrlixSamplePath("controller-mb90f362.mhx");
    const SProcessResult result =
        RunProcess(OrlixBinPath("orlix-cli"),
                   {.args = {"-a", "-k:" + strKernels, "-f:" + strFile, "-p:" + sim.LinkPath()},
                    .strStdin = "\n\n",
                    .timeout = std::chrono::seconds(120),
                    .extraEnv = {"LC_ALL=C.UTF-8"}});
    ASSERT_TRUE(result.bStarted && !result.bTimedOut) << result.strError << result.strStdout;
    EXPECT_EQ(result.strStderr, "") << "the console writes everything to stdout";
    EXPECT_EQ(result.nExitCode, 0) << result.strStdout;
    const std::string strSha =
        CSha256::ToHex(CSha256::Of(reinterpret_cast<const uint8_t*>(strKernel.data()), strKernel.size()));
    EXPECT_NE(result.strStdout.find("Flash kernel 148 (MB90F362): " + strKernels +
                                    "/kernel-148.bin, SHA-256 " + strSha),
              std::string::npos)
        << result.strStdout;
    EXPECT_NE(result.strStdout.find("Flash kernel 134 (MB90F345, MB90F345CAS): built-in stand-in"),
              std::string::npos);
    sim.Stop();
    EXPECT_TRUE(sim.ReadDump() == ExpectedFlash(strFile, "MB90F362"));
}

// A signal while orlix-cli runs: on a waiting page it closes at once; during the search or
// the automatic pause no transfer may start afterwards, and the unit keeps its old firmware;
// during programming (the terminal going away) the update runs to its end first.
TEST(CliEndToEnd, SignalsEndTheWizardWithoutStartingATransfer)
{
    const struct
    {
        const char* pszName;
        int nSignal, nDecoys;  // silent ports searched before the unit (none: no unit), ~0.8 s each
        bool bPace;            // bytes take their wire time (programming lasts seconds)
        unsigned nWaitForText; // the signal comes once this text is shown
        bool bKernelMayLoad;   // a busy machine may deliver the signal only in the download
        int nExit;
    } cases[] = {
        {"Ctrl-C on the welcome page", SIGINT, -1, false, 109, false, 1},
        {"Ctrl-C during the search", SIGINT, 6, false, 125, false, 1},
        {"SIGTERM in the automatic pause", SIGTERM, 0, false, 128, true, 1},
        {"hang-up during programming", SIGHUP, 0, true, 140, true, 0},
    };
    const std::string strFile = OrlixSamplePath("analyzer-mb90f345.mhx");
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.pszName);
        CTempDir dir;
        CSimProcess sim;
        SSpawnRequest req;
        std::vector<uint8_t> before;
        if (test.nDecoys >= 0)
        {
            SSimProcessOptions opts{.bPace = test.bPace};
            for (int i = 0; i < test.nDecoys; ++i)
                opts.decoyNames.push_back("silent" + std::to_string(i));
            ASSERT_TRUE(sim.Start(dir.Path(), opts)) << sim.Error();
            before = sim.ReadDump();
            req.args = {"-a", "-f:" + strFile};
            for (const std::string& strName : opts.decoyNames)
                req.args.push_back("-p:" + dir.Path() + "/" + strName);
            req.args.push_back("-p:" + sim.LinkPath());
        }
        int in[2], out[2];
        ASSERT_TRUE(pipe(in) == 0 && pipe(out) == 0);
        req.strPath = OrlixBinPath("orlix-cli");
        req.extraEnv = {"LC_ALL=C.UTF-8"};
        req.nStdinFd = in[0];
        req.nStdoutFd = out[1];
        std::string strError, strOut;
        const pid_t pid = SpawnChild(req, strError);
        close(in[0]), close(out[1]);
        ASSERT_GT(pid, 0) << strError;
        ASSERT_TRUE(test.nDecoys < 0 || write(in[1], "\n", 1) == 1); // Continue on the connect page
        const std::string strWait = LoadText(test.nWaitForText, ETextLanguage::English);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        char buffer[512];
        ssize_t n = 1;
        for (pollfd fd = {out[0], POLLIN, 0}; n > 0 && strOut.find(strWait) == std::string::npos &&
                                              std::chrono::steady_clock::now() < deadline;)
            if (poll(&fd, 1, 100) > 0 && (n = read(out[0], buffer, sizeof buffer)) > 0)
                strOut.append(buffer, static_cast<std::size_t>(n));
        EXPECT_NE(strOut.find(strWait), std::string::npos) << strOut;
        kill(pid, test.nSignal);
        if (test.nSignal == SIGHUP)
            close(in[1]), close(out[0]); // the terminal goes away: no input, nobody reads
        int nStatus = 0;
        const bool bEnded = WaitChild(pid, 60000, nStatus);
        if (!bEnded)
            kill(pid, SIGKILL), WaitChild(pid, 5000, nStatus);
        if (test.nSignal != SIGHUP)
            close(in[1]), close(out[0]);
        ASSERT_TRUE(bEnded) << "the wizard did not close\n" << strOut;
        ASSERT_TRUE(WIFEXITED(nStatus)) << "ended by signal " << WTERMSIG(nStatus);
        EXPECT_EQ(WEXITSTATUS(nStatus), test.nExit) << strOut;
        if (test.nDecoys >= 0)
        {
            sim.Stop();
            EXPECT_TRUE(test.bKernelMayLoad || sim.StderrText().find("kernel of") == std::string::npos)
                << "a kernel download is a transfer\n"
                << sim.StderrText();
            EXPECT_TRUE(sim.ReadDump() == (test.nExit == 0 ? ExpectedFlash(strFile, "MB90F345") : before));
        }
    }
}

} // namespace
