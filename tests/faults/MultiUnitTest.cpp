// Several units at once (-g), the read-back (-v) and the update record (-l): orlix-cli against
// several orlix-sim units, one row per case. Each row checks every unit's flash, the result
// page, the exit status and the record lines (read back with jq).
#include "firmware/FirmwareImage.h"
#include "target/ChipDef.h"
#include "tests/support/ChildSpawn.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <deque>

namespace
{

const std::string SAMPLE = "analyzer-mb90f345.mhx";
const std::string TEXT_145 =
    "An Error occurred during the programming process.\nThe firmware update couldn't be completed.\n"
    "Please try it again. ";
const std::vector<std::string> CLI_ENV = {"LC_ALL=C.UTF-8", "LC_MESSAGES=", "LANG="};

// What a unit's flash holds afterwards.
enum class EFlash
{
    Image,     // every block of the image
    Below,     // the image's blocks below dwBlock, erased from it on
    FirstN,    // the image's first nBlocks blocks, erased after them
    Untouched, // as before the run
    WeakByte,  // the image, with bit 0 of the byte at dwBlock flipped
};

struct SUnit
{
    std::vector<std::string> faults = {};
    EFlash eFlash = EFlash::Image;
    uint32_t dwAt = 0;
    int nBlocks = 0;
    // The unit's line in the record: "outcome verified", or empty for no line.
    std::string strRecord = "updated false";
};

struct SCase
{
    const char* pszName;
    std::vector<SUnit> units;
    std::vector<std::string> options = {"-g"};
    int nDecoys = 0;                     // silent ports listed before the units
    bool bCtrlC = false;                 // SIGINT once the found page shows, before the transfer
    std::vector<std::string> pages = {}; // printed, in this order ("%N" is the unit's port)
    int nExit = 0;
    std::vector<std::string> absent = {};
};

// clang-format off
const SCase CASES[] = {
    {.pszName = "AllSucceed", .units = {{}, {}, {}},
     .pages = {"3 units found: %0, %1, %2", "(i) 3 of 3 units updated\n%0: updated\n%1: updated\n%2: updated"}},
    {.pszName = "OneCrcErrorAlwaysOthersFinish", .units = {{}, {.faults = {"crc-always=0xF90000"}, .eFlash = EFlash::Below,
     .dwAt = 0xF90000, .strRecord = "programming failed false"}, {}},
     .pages = {"(!) 2 of 3 units updated\n%0: updated\n%1: the programming failed\n%2: updated"}, .nExit = 1},
    {.pszName = "OneVanishesMidProgramming", .units = {{.faults = {"vanish-after=20"}, .eFlash = EFlash::FirstN,
     .nBlocks = 20, .strRecord = "programming failed false"}, {}},
     .pages = {"(!) 1 of 2 units updated\n%0: the programming failed\n%1: updated"}, .nExit = 1},
    {.pszName = "DecoyPortAmongThem", .units = {{}, {}}, .nDecoys = 1,
     .pages = {"2 units found: %0, %1", "(i) 2 of 2 units updated"}},
    {.pszName = "CtrlCBeforeTheTransferTouchesNothing", .units = {{.eFlash = EFlash::Untouched, .strRecord = ""},
     {.eFlash = EFlash::Untouched, .strRecord = ""}}, .bCtrlC = true, .pages = {"2 units found: %0, %1"},
     .nExit = 1, .absent = {"units updated"}},
    // The block CRC cannot see a cell that stores another value; only the read-back can.
    {.pszName = "VerifyCatchesAWeakCell", .units = {{.faults = {"weak-cell=0xF80203"}, .eFlash = EFlash::WeakByte,
     .dwAt = 0xF80203, .strRecord = "verify failed false"}}, .options = {"-v"},
     .pages = {"(!) " + TEXT_145 + "\nThe flash memory differs from the firmware at address 0xF80203."}, .nExit = 1},
    {.pszName = "WithoutVerifyTheWeakCellGoesUnseen", .units = {{.faults = {"weak-cell=0xF80203"},
     .eFlash = EFlash::WeakByte, .dwAt = 0xF80203}}, .options = {},
     .pages = {"(i) The firmware update was successful."}},
    {.pszName = "GroupVerifyNamesTheUnitAndAddress", .units = {{.strRecord = "updated true"}, {.faults = {"weak-cell=0xF80203"},
     .eFlash = EFlash::WeakByte, .dwAt = 0xF80203, .strRecord = "verify failed false"}}, .options = {"-g", "-v"},
     .pages = {"(!) 1 of 2 units updated\n%0: updated\n%1: the programming failed - The flash memory differs from "
               "the firmware at address 0xF80203."}, .nExit = 1},
};
// clang-format on

std::ostream& operator<<(std::ostream& out, const SCase& c)
{
    return out << c.pszName;
}

std::string Replace(std::string strText, const std::vector<std::string>& ports)
{
    for (std::size_t i = 0; i < ports.size(); ++i)
    {
        const std::string strMark = "%" + std::to_string(i);
        for (std::size_t nAt = strText.find(strMark); nAt != std::string::npos; nAt = strText.find(strMark))
        {
            strText.replace(nAt, strMark.size(), ports[i]);
        }
    }
    return strText;
}

class MultiUnit : public ::testing::TestWithParam<SCase>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_chip.SelectChip("MB90F345"));
        ASSERT_EQ(m_image.Load(OrlixSamplePath(SAMPLE)), LOAD_OK);
        for (uint32_t dwAddress = m_image.GetLowAddress(); dwAddress < m_image.GetHighAddress();
             dwAddress += 512)
        {
            if (!m_image.IsBlockBlank(dwAddress))
            {
                m_blocks.push_back(dwAddress);
            }
        }
    }

    std::vector<uint8_t> Expected(const SUnit& unit, const std::vector<uint8_t>& before) const
    {
        if (unit.eFlash == EFlash::Untouched)
        {
            return before;
        }
        std::vector<uint8_t> flash(m_chip.FlashSize, 0xFF);
        int nWritten = 0;
        for (const uint32_t dwAddress : m_blocks)
        {
            if ((unit.eFlash == EFlash::Below && dwAddress >= unit.dwAt) ||
                (unit.eFlash == EFlash::FirstN && nWritten == unit.nBlocks))
            {
                break;
            }
            m_image.ReadBlock(flash.data() + (dwAddress - m_chip.StartAddress), dwAddress);
            ++nWritten;
        }
        if (unit.eFlash == EFlash::WeakByte)
        {
            flash[unit.dwAt - m_chip.StartAddress] ^= 0x01;
        }
        return flash;
    }

    SChipDef m_chip;
    CFirmwareImage m_image;
    std::vector<uint32_t> m_blocks;
    CTempDir m_dir;
};

// Runs orlix-cli with Enter typed ahead; with bCtrlC, SIGINT once strFound has been printed.
SProcessResult RunCli(const std::vector<std::string>& args, bool bCtrlC, const std::string& strFound)
{
    if (!bCtrlC)
    {
        SRunOptions run;
        run.args = args;
        run.strStdin = "\n\n";
        run.extraEnv = CLI_ENV;
        run.timeout = std::chrono::seconds(120);
        return RunProcess(OrlixBinPath("orlix-cli"), run);
    }
    SProcessResult result;
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
    {
        return result;
    }
    const pid_t pid =
        SpawnChild({OrlixBinPath("orlix-cli"), args, CLI_ENV, {}, in[0], out[1], out[1]}, result.strError);
    close(in[0]);
    close(out[1]);
    result.bStarted = pid > 0;
    signal(SIGPIPE, SIG_IGN);
    (void)!write(in[1], "\n", 1);
    bool bSignalled = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;)
    {
        pollfd fd = {out[0], POLLIN, 0};
        char buffer[4096];
        const ssize_t n = poll(&fd, 1, 50) > 0 ? read(out[0], buffer, sizeof buffer) : -1;
        if (n == 0 || std::chrono::steady_clock::now() > deadline)
        {
            break;
        }
        result.strStdout.append(buffer, size_t(std::max<ssize_t>(n, 0)));
        if (!bSignalled && result.strStdout.find(strFound) != std::string::npos)
        {
            kill(pid, SIGINT);
            bSignalled = true;
        }
    }
    close(in[1]);
    close(out[0]);
    int nStatus = 0;
    if (pid > 0 && !WaitChild(pid, 30000, nStatus))
    {
        kill(-pid, SIGKILL);
        WaitChild(pid, 5000, nStatus);
        result.bTimedOut = true;
    }
    result.nExitCode = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    return result;
}

TEST_P(MultiUnit, EveryUnitEndsAsExpected)
{
    const SCase& c = GetParam();
    std::deque<CSimProcess> sims;
    std::vector<std::vector<uint8_t>> before;
    std::vector<std::string> ports;
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"-a", "-f:" + OrlixSamplePath(SAMPLE), "-l:" + m_dir.File("record.jsonl")});
    for (std::size_t i = 0; i < c.units.size(); ++i)
    {
        const std::string strDir = m_dir.File("unit" + std::to_string(i));
        ASSERT_EQ(mkdir(strDir.c_str(), 0700), 0);
        SSimProcessOptions opts;
        opts.faults = c.units[i].faults;
        if (i == 0)
        {
            for (int nDecoy = 0; nDecoy < c.nDecoys; ++nDecoy)
            {
                opts.decoyNames.push_back("decoy" + std::to_string(nDecoy));
            }
        }
        CSimProcess& sim = sims.emplace_back();
        ASSERT_TRUE(sim.Start(strDir, opts)) << sim.Error();
        before.push_back(sim.ReadDump());
        ports.push_back(sim.LinkPath());
    }
    for (int nDecoy = 0; nDecoy < c.nDecoys; ++nDecoy)
    {
        args.push_back("-p:" + m_dir.File("unit0/decoy" + std::to_string(nDecoy)));
    }
    for (const std::string& strPort : ports)
    {
        args.push_back("-p:" + strPort);
    }

    const SProcessResult result = RunCli(args, c.bCtrlC, Replace(c.pages.front(), ports));
    const std::string& strOut = result.strStdout;
    ASSERT_TRUE(result.bStarted) << result.strError;
    EXPECT_FALSE(result.bTimedOut) << strOut;
    EXPECT_EQ(result.nExitCode, c.nExit) << strOut << result.strStderr;
    std::size_t nFrom = 0;
    for (const std::string& strPage : c.pages)
    {
        nFrom = strOut.find(Replace(strPage, ports), nFrom);
        ASSERT_NE(nFrom, std::string::npos)
            << "missing or out of order: \"" << Replace(strPage, ports) << "\"\n"
            << strOut;
    }
    for (const std::string& strAbsent : c.absent)
    {
        EXPECT_EQ(strOut.find(strAbsent), std::string::npos) << strOut;
    }

    std::string strRecords;
    for (std::size_t i = 0; i < sims.size(); ++i)
    {
        EXPECT_EQ(sims[i].Stop(), 0);
        EXPECT_TRUE(sims[i].ReadDump() == Expected(c.units[i], before[i])) << "flash of unit " << i;
        if (!c.units[i].strRecord.empty())
        {
            strRecords += ports[i] + " " + c.units[i].strRecord + "\n";
        }
    }
    // One whole JSON line per unit, in list order, read back as an auditor would.
    SRunOptions jqRun;
    jqRun.args = {"-r", "\"\\(.port.path) \\(.result.outcome) \\(.verified)\"", m_dir.File("record.jsonl")};
    const SProcessResult jq = RunProcess("/usr/bin/jq", jqRun);
    EXPECT_EQ(jq.strStdout, strRecords) << jq.strStderr;
}

INSTANTIATE_TEST_SUITE_P(Units, MultiUnit, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<SCase>& row) { return row.param.pszName; });

} // namespace
