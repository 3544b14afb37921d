// orlix-cli end to end against the simulated unit: the whole wizard on a console, with the
// answers typed ahead on stdin, checked by exit status, transcript and the unit's flash.
#include "app/core/Texts.h"
#include "firmware/FirmwareImage.h"
#include "target/ChipDef.h"
#include "tests/support/ChildSpawn.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const std::string SAMPLE_345 = "analyzer-mb90f345.mhx";
const std::string SAMPLE_362 = "controller-mb90f362.mhx";

std::string T(unsigned nId)
{
    return LoadText(nId, ETextLanguage::English);
}

std::size_t Count(const std::string& strText, const std::string& strPart)
{
    std::size_t nCount = 0;
    for (std::size_t nPos = strText.find(strPart); nPos != std::string::npos;
         nPos = strText.find(strPart, nPos + 1))
    {
        ++nCount;
    }
    return nCount;
}

// What the unit's flash must hold after the image was programmed on an erased unit: the
// image's bytes, 0xFF everywhere else.
std::vector<uint8_t> ExpectedFlash(const std::string& strFile, const std::string& strChip)
{
    SChipDef chip;
    EXPECT_TRUE(chip.SelectChip(strChip));
    std::vector<uint8_t> flash(chip.FlashSize, 0xFF);
    CFirmwareImage image;
    EXPECT_EQ(image.Load(strFile), LOAD_OK);
    for (uint32_t dwAddress = image.GetLowAddress(); dwAddress <= image.GetHighAddress() && dwAddress != 0;
         ++dwAddress)
    {
        uint8_t byte = 0xFF;
        if (dwAddress >= chip.StartAddress && dwAddress <= chip.EndAddress &&
            image.Read(&byte, dwAddress, 1) == 1)
        {
            flash[dwAddress - chip.StartAddress] = byte;
        }
        if (dwAddress == 0xFFFFFFFF)
        {
            break;
        }
    }
    return flash;
}

class CliEndToEnd : public ::testing::Test
{
protected:
    // The simulated unit in this test's folder, fast: no wire time, short erase and check.
    CSimProcess& StartSim(std::vector<std::string> faults = {}, const std::string& strChip = "MB90F345")
    {
        SSimProcessOptions opts;
        opts.strChip = strChip;
        opts.faults = std::move(faults);
        EXPECT_TRUE(m_sim.Start(m_dir.Path(), opts)) << m_sim.Error();
        return m_sim;
    }

    SProcessResult RunCli(std::vector<std::string> args, const std::string& strStdin,
                          const std::string& strLanguage = "C.UTF-8")
    {
        SRunOptions opts;
        opts.args = std::move(args);
        opts.strStdin = strStdin;
        opts.timeout = std::chrono::seconds(120);
        opts.extraEnv = {"LC_ALL=" + strLanguage, "LC_MESSAGES=", "LANG="};
        SProcessResult result = RunProcess(OrlixBinPath("orlix-cli"), opts);
        EXPECT_TRUE(result.bStarted) << result.strError;
        EXPECT_FALSE(result.bTimedOut) << result.strStdout;
        EXPECT_EQ(result.strStderr, "") << "the console writes everything to stdout";
        return result;
    }

    // The flash as the unit holds it once the simulator has ended.
    std::vector<uint8_t> FinalFlash()
    {
        m_sim.Stop();
        return m_sim.ReadDump();
    }

    std::string LinkArg() const { return "-p:" + m_sim.LinkPath(); }

    CTempDir m_dir;
    CSimProcess m_sim;
};

TEST_F(CliEndToEnd, AutomaticModeUpdatesTheUnit)
{
    StartSim();
    const std::string strFile = OrlixSamplePath(SAMPLE_345);
    const SProcessResult result = RunCli({"-a", "-f:" + strFile, LinkArg()}, "\n\n");
    const std::string& strOut = result.strStdout;
    EXPECT_EQ(result.nExitCode, 0) << strOut;
    EXPECT_NE(strOut.find("Orlix "), std::string::npos);
    EXPECT_NE(strOut.find("Name:\t Analyzer AX-7\nVersion:\t V2.14.0"), std::string::npos);
    EXPECT_NE(strOut.find(T(128)), std::string::npos);
    for (unsigned nId : {131U, 132U, 138U, 139U, 140U, 136U, 137U})
    {
        EXPECT_NE(strOut.find(T(nId)), std::string::npos) << nId << "\n" << strOut;
    }
    EXPECT_LT(strOut.find(T(138)), strOut.find(T(139)));
    EXPECT_LT(strOut.find(T(139)), strOut.find(T(140)));
    EXPECT_EQ(strOut.find(T(134)) + strOut.find(T(145)), 2 * std::string::npos);
    EXPECT_TRUE(FinalFlash() == ExpectedFlash(strFile, "MB90F345")) << "flash differs from the image";
}

TEST_F(CliEndToEnd, StepByStepUpdatesAnMB90F362)
{
    StartSim({}, "MB90F362");
    const std::string strFile = OrlixSamplePath(SAMPLE_362);
    // Start, Continue (search), Continue (transfer), Close.
    const SProcessResult result = RunCli({"-f:" + strFile, LinkArg()}, "\n\n\n\n");
    EXPECT_EQ(result.nExitCode, 0) << result.strStdout;
    EXPECT_NE(m_sim.StderrText().find("kernel of 873 bytes"), std::string::npos) << m_sim.StderrText();
    EXPECT_TRUE(FinalFlash() == ExpectedFlash(strFile, "MB90F362"));
}

TEST_F(CliEndToEnd, RepeatModeUpdatesOneUnitAfterAnotherInGermanFromAPathWithSpaces)
{
    StartSim();
    const std::filesystem::path folder = std::filesystem::path(m_dir.Path()) / "dir with space";
    std::filesystem::create_directory(folder);
    const std::string strFile = (folder / "fw.mhx").string();
    std::filesystem::copy_file(OrlixSamplePath(SAMPLE_345), strFile);
    // Unit 1: Start, Continue, Continue; "vielleicht" is asked again, "j" goes on.
    // Unit 2: Continue, Continue; "nein" ends.
    const SProcessResult result =
        RunCli({"-r", "-f:" + strFile, LinkArg()}, "\n\n\nvielleicht\nj\n\n\nnein\n", "de_DE.UTF-8");
    const std::string& strOut = result.strStdout;
    EXPECT_EQ(result.nExitCode, 0) << strOut;
    EXPECT_EQ(Count(strOut, LoadText(136, ETextLanguage::German)), 2U) << strOut;
    EXPECT_EQ(Count(strOut, LoadText(121, ETextLanguage::German)), 2U);
    EXPECT_EQ(Count(strOut, "Bitte antworten Sie mit j (ja) oder n (nein)."), 1U);
    EXPECT_EQ(Count(m_sim.StderrText(), "kernel of 912 bytes loaded"), 2U) << m_sim.StderrText();
    EXPECT_TRUE(FinalFlash() == ExpectedFlash(strFile, "MB90F345"));
}

TEST_F(CliEndToEnd, EndOfInputDuringTheUpdateIsRefusedAndTheUpdateCompletes)
{
    StartSim();
    const std::string strFile = OrlixSamplePath(SAMPLE_345);
    // Only the click that starts the search; then stdin ends while the search runs.
    const SProcessResult result = RunCli({"-a", "-f:" + strFile, LinkArg()}, "\n");
    const std::string& strOut = result.strStdout;
    EXPECT_EQ(result.nExitCode, 0) << strOut;
    EXPECT_NE(strOut.find(T(102)), std::string::npos) << strOut;
    EXPECT_LT(strOut.find(T(102)), strOut.find(T(136)));
    EXPECT_TRUE(FinalFlash() == ExpectedFlash(strFile, "MB90F345"));
}

TEST_F(CliEndToEnd, UnusableFilesKeepTheWizardOnTheFirmwarePage)
{
    struct SCase
    {
        std::string strPath;
        unsigned nText;
    };
    const std::string strCorrupt = m_dir.File("corrupt.mhx");
    WriteFileText(strCorrupt, ReadFileText(OrlixSamplePath(SAMPLE_345)) + "# a comment\n");
    // Which file gives which warning is the wizard tests' job; here: a typed path, real file access.
    std::vector<SCase> cases = {{strCorrupt, 142}, {m_dir.File("missing.mhx"), 143}};
    if (geteuid() != 0)
    {
        const std::string strLocked = m_dir.File("locked.mhx");
        WriteFileText(strLocked, ReadFileText(OrlixSamplePath(SAMPLE_345)));
        chmod(strLocked.c_str(), 0);
        cases.push_back({strLocked, 143});
    }
    for (const SCase& test : cases)
    {
        // Start, File open, the name; then the input ends on the firmware page.
        const SProcessResult result = RunCli({}, "\n\n" + test.strPath + "\n");
        const std::string& strOut = result.strStdout;
        EXPECT_EQ(result.nExitCode, 1) << strOut;
        ASSERT_NE(strOut.find(T(test.nText)), std::string::npos) << test.strPath << "\n" << strOut;
        EXPECT_NE(strOut.find(test.strPath), std::string::npos) << "the failed file's path";
        EXPECT_NE(strOut.find(T(118)), std::string::npos) << "nothing loaded";
        EXPECT_EQ(strOut.find(T(123)), std::string::npos) << "no connect page";
    }
}

// orlix-cli running with its stdin and stdout on pipes, for tests that act while it runs.
class CLiveCli
{
public:
    ~CLiveCli()
    {
        if (m_pid > 0)
        {
            int nStatus = 0;
            Wait(0, nStatus);
        }
        CloseInputAndOutput();
    }

    bool Start(std::vector<std::string> args, std::string& strError)
    {
        int inPipe[2];
        int outPipe[2];
        if (pipe(inPipe) != 0 || pipe(outPipe) != 0)
        {
            strError = "pipe failed";
            return false;
        }
        SSpawnRequest req;
        req.strPath = OrlixBinPath("orlix-cli");
        req.args = std::move(args);
        req.extraEnv = {"LC_ALL=C.UTF-8"};
        req.nStdinFd = inPipe[0];
        req.nStdoutFd = outPipe[1];
        m_pid = SpawnChild(req, strError);
        close(inPipe[0]);
        close(outPipe[1]);
        m_nIn = inPipe[1];
        m_nOut = outPipe[0];
        return m_pid > 0;
    }

    bool Type(const std::string& strText) const
    {
        return write(m_nIn, strText.data(), strText.size()) == static_cast<ssize_t>(strText.size());
    }

    // Reads the output until it holds strWanted; false after the time-out or the end of output.
    bool ReadUntil(const std::string& strWanted, std::chrono::seconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_strOut.find(strWanted) == std::string::npos && std::chrono::steady_clock::now() < deadline)
        {
            pollfd fd = {m_nOut, POLLIN, 0};
            if (poll(&fd, 1, 100) > 0)
            {
                char buffer[512];
                const ssize_t n = read(m_nOut, buffer, sizeof buffer);
                if (n <= 0)
                {
                    break;
                }
                m_strOut.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return m_strOut.find(strWanted) != std::string::npos;
    }

    void Signal(int nSignal) const { kill(m_pid, nSignal); }

    // The terminal goes away: no more input, nobody reads the output.
    void CloseInputAndOutput()
    {
        for (int* pFd : {&m_nIn, &m_nOut})
        {
            if (*pFd >= 0)
            {
                close(*pFd);
                *pFd = -1;
            }
        }
    }

    // True when the program ended within nMilliseconds; it is killed otherwise.
    bool Wait(int nMilliseconds, int& nStatus)
    {
        const bool bEnded = WaitChild(m_pid, nMilliseconds, nStatus);
        if (!bEnded)
        {
            kill(m_pid, SIGKILL);
            WaitChild(m_pid, 5000, nStatus);
        }
        m_pid = -1;
        return bEnded;
    }

    const std::string& Output() const { return m_strOut; }

private:
    pid_t m_pid = -1;
    int m_nIn = -1;
    int m_nOut = -1;
    std::string m_strOut;
};

// A signal while orlix-cli runs: on a waiting page it closes at once; during the search or
// the automatic pause no transfer may start afterwards, and the unit keeps its old firmware;
// during programming (the terminal going away) the update runs to its end first.
TEST_F(CliEndToEnd, SignalsEndTheWizardWithoutStartingATransfer)
{
    const struct
    {
        const char* pszName;
        int nSignal;
        bool bUnit;            // a simulated unit
        int nDecoys;           // silent ports searched before it, about 0.8 s each
        bool bPace;            // bytes take their wire time (programming lasts seconds)
        unsigned nWaitForText; // the signal comes once this text is shown
        bool bKernelMayLoad;   // a busy machine may deliver the signal only in the download
        int nExit;
        bool bProgrammed;
    } cases[] = {
        {"Ctrl-C on the welcome page", SIGINT, false, 0, false, 109, false, 1, false},
        {"Ctrl-C during the search", SIGINT, true, 6, false, 125, false, 1, false},
        {"SIGTERM in the automatic pause", SIGTERM, true, 0, false, 128, true, 1, false},
        {"hang-up during programming", SIGHUP, true, 0, true, 140, true, 0, true},
    };
    const std::string strFile = OrlixSamplePath(SAMPLE_345);
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.pszName);
        CTempDir dir;
        CSimProcess sim;
        std::vector<std::string> args;
        std::vector<uint8_t> before;
        if (test.bUnit)
        {
            SSimProcessOptions opts;
            opts.bPace = test.bPace;
            for (int i = 0; i < test.nDecoys; ++i)
                opts.decoyNames.push_back("silent" + std::to_string(i));
            ASSERT_TRUE(sim.Start(dir.Path(), opts)) << sim.Error();
            before = sim.ReadDump();
            args = {"-a", "-f:" + strFile};
            for (const std::string& strPath : sim.DecoyPaths())
                args.push_back("-p:" + strPath);
            args.push_back("-p:" + sim.LinkPath());
        }
        CLiveCli cli;
        std::string strError;
        ASSERT_TRUE(cli.Start(args, strError)) << strError;
        ASSERT_TRUE(!test.bUnit || cli.Type("\n")); // Continue on the connect page
        ASSERT_TRUE(cli.ReadUntil(T(test.nWaitForText), std::chrono::seconds(60))) << cli.Output();
        cli.Signal(test.nSignal);
        if (test.nSignal == SIGHUP)
            cli.CloseInputAndOutput();

        int nStatus = 0;
        ASSERT_TRUE(cli.Wait(60000, nStatus)) << "the wizard did not close\n" << cli.Output();
        ASSERT_TRUE(WIFEXITED(nStatus)) << "ended by signal " << WTERMSIG(nStatus);
        EXPECT_EQ(WEXITSTATUS(nStatus), test.nExit) << cli.Output();
        if (test.bUnit)
        {
            sim.Stop();
            EXPECT_TRUE(test.bKernelMayLoad || sim.StderrText().find("kernel of") == std::string::npos)
                << "a kernel download is a transfer\n"
                << sim.StderrText();
            const std::vector<uint8_t> after = sim.ReadDump();
            EXPECT_TRUE(test.bProgrammed ? after == ExpectedFlash(strFile, "MB90F345") : after == before)
                << "flash";
        }
    }
}

} // namespace
