// The fault matrix (FAULTS.md, one test per row): orlix-cli against orlix-sim with every fault the
// simulated unit can inject, checked by pages, exit status, frames sent, flash and time. Then
// several units at once (-g), the read-back (-v) and the update record (-l), one row per case.
#include "app/core/Texts.h"
#include "firmware/FirmwareImage.h"
#include "target/ChipDef.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <sstream>

namespace
{

// A page's text as the console prints it first: its first line, with its line end.
std::string P(unsigned nId)
{
    const std::string strText = LoadText(nId, ETextLanguage::English);
    const std::size_t nEnd = strText.find('\n');
    return nEnd == std::string::npos ? strText : strText.substr(0, nEnd + 1);
}
const std::string BOX_PORT_ERROR = "COM Port Fehler.\n Bitte Programm neu ausf\xC3\xBChren";

// The waits the protocol prescribes, in seconds.
constexpr double READ_BYTE = 0.8;   // a reply byte that does not come: 50 ms + 750 ms
constexpr double READ_MIN = 0.75;   // of that, the part the program must wait
constexpr double AUTO_PAUSE = 2.0;  // automatic mode, between "found" and the transfer
constexpr double ERASE_POLL = 1.0;  // before each poll of the erase
constexpr double BLANK_LIMIT = 5.0; // the blank check's own limit
constexpr double TRANSFER = AUTO_PAUSE + ERASE_POLL;
constexpr double SLACK = 25.0; // a loaded machine: generous on purpose

constexpr uint8_t CMD_WRITE = 0x08, CMD_READ = 0x28, CMD_ERASE = 0x38, CMD_BLANK = 0x48, CMD_PING = 0xE8;
const std::string SAMPLE = "analyzer-mb90f345.mhx";
const std::vector<std::string> CLI_ENV = {"LC_ALL=C.UTF-8", "LC_MESSAGES=", "LANG="};

// strText with "%N" replaced by the N-th port.
std::string Replace(std::string strText, const std::vector<std::string>& ports)
{
    for (std::size_t i = 0; i < ports.size(); ++i)
        for (std::size_t nAt; (nAt = strText.find("%" + std::to_string(i))) != std::string::npos;)
            strText.replace(nAt, 2, ports[i]);
    return strText;
}

// The pages printed in this order, none of the absent ones.
void ExpectPages(const std::string& strOut, const std::vector<std::string>& pages,
                 const std::vector<std::string>& absent, const std::vector<std::string>& ports = {})
{
    std::size_t nFrom = 0;
    for (const std::string& strPage : pages)
    {
        nFrom = strOut.find(Replace(strPage, ports), nFrom);
        ASSERT_NE(nFrom, std::string::npos)
            << "missing or out of order: \"" << Replace(strPage, ports) << "\"\n"
            << strOut;
    }
    for (const std::string& strAbsent : absent)
        EXPECT_EQ(strOut.find(strAbsent), std::string::npos) << "shown: \"" << strAbsent << "\"\n" << strOut;
}

struct SFrames
{
    int nSyncs = 0, nDownloads = 0, nSwitches = 0, nPings = 0, nErases = 0, nBlanks = 0, nDecoySyncs = 0;
};
// A transfer that reaches the kernel: one switch, ping, erase and blank check.
constexpr SFrames Transfer(int nDownloads = 1, int nSyncs = 2, int nDecoySyncs = 0)
{
    return {nSyncs, nDownloads, 1, 1, 1, 1, nDecoySyncs};
}

// clang-format off
// Which image blocks were sent, in image order. All: every non-blank block once, dwBlock (if
// any) nCount times; StopAt: the blocks before dwBlock once, then dwBlock nCount times, then
// nothing; FirstN: the first nCount blocks.
enum class EWrites { None, All, StopAt, FirstN };
struct SWrites { EWrites eKind = EWrites::None; uint32_t dwBlock = 0; int nCount = 1; };
// Untouched: byte for byte as before; Written: 0xFF with the accepted blocks from the image.
enum class EFlash { Untouched, Erased, Written };
// clang-format on

struct SFaultCase
{
    const char* pszName;
    std::vector<std::string> faults = {};      // --fault values
    std::vector<std::string> ports = {"unit"}; // -p order; "unit" or a decoy's name
    bool bHoldUnit = false;                    // another program holds the unit's port
    std::string strInput = {};                 // typed ahead
    int nExit = 1;
    std::vector<std::string> pages = {};  // printed, in this order
    std::vector<std::string> absent = {}; // never printed
    SFrames frames = {};
    SWrites writes = {};
    EFlash eFlash = EFlash::Untouched;
    double dWaitS = 0; // waits the protocol prescribes on this path
    double dMinS = 0;  // of those, the ones it cannot skip
};

const std::vector<std::string> SUCCESS = {P(126), P(128), P(133), P(136), P(137)};

// clang-format off
const SFaultCase FAULT_CASES[] = {
    {.pszName = "NoAnswerToSync", .faults = {"no-sync"}, .strInput = "\n", .pages = {P(129), P(130)},
     .absent = {P(126)}, .frames = {.nSyncs = 5}, .dWaitS = 5 * READ_BYTE, .dMinS = 5 * READ_MIN},
    {.pszName = "WrongSyncReply", .faults = {"bad-sync"}, .strInput = "\n", .pages = {P(129), P(130)},
     .absent = {P(126)}, .frames = {.nSyncs = 5}},
    {.pszName = "DownloadRefusedOnce", .faults = {"refuse-download=1"}, .strInput = "\n\n", .nExit = 0,
     .pages = {P(126), P(128), P(133), P(140), P(136), P(137)}, .frames = Transfer(2),
     .writes = {EWrites::All}, .eFlash = EFlash::Written, .dWaitS = TRANSFER, .dMinS = TRANSFER},
    {.pszName = "DownloadRefused4TimesLastAttemptWins", .faults = {"refuse-download=4"}, .strInput = "\n\n",
     .nExit = 0, .pages = SUCCESS, .absent = {P(134)}, .frames = Transfer(5), .writes = {EWrites::All},
     .eFlash = EFlash::Written, .dWaitS = TRANSFER},
    {.pszName = "DownloadRefused5TimesAnsweredNo", .faults = {"refuse-download=5"}, .strInput = "\nn\n",
     .pages = {P(126), P(128), P(131), P(134), P(135)}, .absent = {P(133), P(138)},
     .frames = {.nSyncs = 2, .nDownloads = 5}, .dWaitS = AUTO_PAUSE, .dMinS = AUTO_PAUSE},
    {.pszName = "DownloadRefused6TimesRetrySucceeds", .faults = {"refuse-download=6"}, .strInput = "\ny\n\n\n",
     .nExit = 0, .pages = {P(134), P(135), P(126), P(128), P(133), P(136), P(137)},
     .frames = Transfer(7, 4), .writes = {EWrites::All}, .eFlash = EFlash::Written,
     .dWaitS = AUTO_PAUSE + TRANSFER, .dMinS = AUTO_PAUSE + TRANSFER},
    {.pszName = "NoPingAnswer", .faults = {"no-ping"}, .strInput = "\nn\n", .pages = {P(133), P(145), P(135)},
     .absent = {P(138), P(136)}, .frames = {.nSyncs = 2, .nDownloads = 1, .nSwitches = 1, .nPings = 1},
     .dWaitS = AUTO_PAUSE + READ_BYTE, .dMinS = AUTO_PAUSE + READ_MIN},
    {.pszName = "EraseNeverCompletes", .faults = {"erase-hangs"}, .strInput = "\nn\n",
     .pages = {P(138), P(145), P(135)}, .absent = {P(139), P(136)},
     .frames = {.nSyncs = 2, .nDownloads = 1, .nSwitches = 1, .nPings = 1, .nErases = 1},
     .dWaitS = AUTO_PAUSE + 30 * (ERASE_POLL + READ_BYTE), .dMinS = AUTO_PAUSE + 30 * ERASE_POLL},
    {.pszName = "BlankCheckFails", .faults = {"blank-fails"}, .strInput = "\nn\n",
     .pages = {P(138), P(139), P(145), P(135)}, .absent = {P(140), P(136)}, .frames = Transfer(),
     .eFlash = EFlash::Erased, .dWaitS = TRANSFER},
    {.pszName = "BlankCheckNeverEnds", .faults = {"blank-hangs"}, .strInput = "\nn\n",
     .pages = {P(139), P(145), P(135)}, .absent = {P(140), P(136)}, .frames = Transfer(),
     .eFlash = EFlash::Erased, .dWaitS = TRANSFER + BLANK_LIMIT + READ_BYTE, .dMinS = TRANSFER + BLANK_LIMIT},
    {.pszName = "CrcErrorOnceOnTheFirstBlock", .faults = {"crc-once=0xF80000"}, .strInput = "\n\n", .nExit = 0,
     .pages = {P(140), P(136), P(137)}, .frames = Transfer(), .writes = {EWrites::All, 0xF80000, 2},
     .eFlash = EFlash::Written, .dWaitS = TRANSFER},
    {.pszName = "CrcErrorAlways", .faults = {"crc-always=0xF90000"}, .strInput = "\nn\n",
     .pages = {P(140), P(145), P(135)}, .absent = {P(136)}, .frames = Transfer(),
     .writes = {EWrites::StopAt, 0xF90000, 2}, .eFlash = EFlash::Written, .dWaitS = TRANSFER},
    {.pszName = "WriteAnswered04", .faults = {"write-fails=0xFF0000"}, .strInput = "\nn\n",
     .pages = {P(140), P(145), P(135)}, .absent = {P(136)}, .frames = Transfer(),
     .writes = {EWrites::StopAt, 0xFF0000, 1}, .eFlash = EFlash::Written, .dWaitS = TRANSFER},
    // No port is left for the retry's search: it ends at once on the not-found page.
    {.pszName = "UnitVanishesAfter20BlocksRetryFindsNothing", .faults = {"vanish-after=20"},
     .strInput = "\ny\n\n", .pages = {P(140), P(145), P(135), P(129), P(130)}, .absent = {P(136)},
     .frames = Transfer(), .writes = {EWrites::FirstN, 0, 20}, .eFlash = EFlash::Written, .dWaitS = TRANSFER},
    {.pszName = "DecoysNeverAnswer", .ports = {"decoy0", "decoy1"}, .strInput = "\n", .pages = {P(129), P(130)},
     .frames = {.nDecoySyncs = 5}, .dWaitS = 5 * 2 * READ_BYTE, .dMinS = 5 * 2 * READ_MIN},
    {.pszName = "DecoysBeforeTheUnit", .ports = {"decoy0", "decoy1", "unit"}, .strInput = "\n\n", .nExit = 0,
     .pages = {P(126), P(128), P(136), P(137)}, .frames = Transfer(1, 2, 1),
     .writes = {EWrites::All}, .eFlash = EFlash::Written, .dWaitS = 2 * READ_BYTE + TRANSFER,
     .dMinS = 2 * READ_MIN + TRANSFER},
    // Silence alone would send the technician looking for a cable fault: name the port.
    {.pszName = "PortHeldByAnotherProgram", .ports = {"decoy0", "unit"}, .bHoldUnit = true, .strInput = "\n",
     .pages = {P(129), P(130), "Skipped because another program is using them: "}, .absent = {P(126)},
     .frames = {.nDecoySyncs = 5}, .dWaitS = 5 * READ_BYTE, .dMinS = 5 * READ_MIN},
};
// clang-format on

// What the program sent, rebuilt from the unit's protocol log ("<s> rx|tx|tx-lost|decoyN <baud>
// <hex>..." or "<s> -- note"). The log prints bytes sixteen to a line, so frames are cut by the
// protocol's own framing: the download header's length, the fixed command size, and the data
// phase after a write command the unit accepted ('0'/'1' twice).
struct STrace
{
    SFrames frames;
    int nReads = 0, nStrayBytes = 0, nWritesWithoutData = 0; // stray: fits no frame or speed
    std::vector<uint32_t> writes;                            // write-command addresses, in order
    std::map<std::string, int> decoySyncs;
    std::vector<std::string> errors; // the unit's "protocol error: " notes
    bool bAnyByte = false;           // the unit's line saw a byte from the program
};

STrace ReadTrace(const std::string& strLog)
{
    // clang-format off
    enum EState { Idle, Header, Body, Switch, Address, Ready, Data } e = Idle;
    // clang-format on
    STrace t;
    size_t nNeed = 0;
    uint32_t dwLength = 0, dwAddress = 0;
    uint8_t byCmd = 0;
    int nReplies = 0;
    bool bGood = true;
    std::istringstream lines(strLog);
    for (std::string strLine; std::getline(lines, strLine);)
    {
        std::istringstream fields(strLine);
        double dSeconds = 0;
        std::string strDir, strToken;
        unsigned nBaud = 0;
        fields >> dSeconds >> strDir;
        if (strDir == "--" && strLine.find("protocol error: ") != std::string::npos)
            t.errors.push_back(strLine);
        for (fields >> nBaud; strDir != "--" && fields >> strToken;)
        {
            const auto by = static_cast<uint8_t>(std::stoul(strToken, nullptr, 16));
            if (strDir.rfind("decoy", 0) == 0)
                t.decoySyncs[strDir] += by == 0x18;
            if (strDir == "tx" && nBaud == 115200 && e == Ready && ++nReplies <= 2)
            {
                bGood = bGood && (by == '0' || by == '1');
                e = nReplies < 2 ? Ready : bGood ? Data : Idle;
                nNeed = 512 + 2;
                t.nWritesWithoutData += nReplies == 2 && !bGood;
            }
            if (strDir != "rx") // tx-lost: a reply the program could not read
                continue;
            t.bAnyByte = true;
            const bool bKernel = e == Address || e == Ready || e == Data;
            if ((nBaud == 4800 && bKernel) || (nBaud == 115200 && !bKernel) || e == Ready)
            {
                t.nWritesWithoutData += e == Ready || e == Data;
                e = Idle; // cut short: another speed, or sent again before the unit was ready
            }
            if (nBaud != 4800 && nBaud != 115200)
                ++t.nStrayBytes;
            else if (e == Idle && nBaud == 4800) // the boot loader: sync, download or switch
            {
                t.frames.nSyncs += by == 0x18;
                t.nStrayBytes += by != 0x18 && by != 0x00 && by != 0x40;
                e = by == 0x00 ? Header : by == 0x40 ? Switch : Idle;
                nNeed = 4;
                dwLength = 0;
            }
            else if (e == Header) // bytes 3 and 4 of the header: the body's length less one
            {
                dwLength = (dwLength << 8) | by;
                e = --nNeed == 0 ? Body : Header;
                nNeed = e == Body ? (dwLength & 0xFFFF) + 1 : nNeed;
            }
            else if ((e == Body || e == Data) && --nNeed == 0)
            {
                t.frames.nDownloads += e == Body;
                e = Idle;
            }
            else if (e == Switch)
            {
                t.nStrayBytes += by != 0x00;
                t.frames.nSwitches += by == 0x00 && nNeed == 1;
                e = by == 0x00 && --nNeed > 0 ? Switch : Idle;
            }
            else if (e == Idle) // the kernel
            {
                const bool bCommand = by == CMD_WRITE || by == CMD_READ || by == CMD_ERASE || by == CMD_BLANK;
                t.frames.nPings += by == CMD_PING;
                t.nStrayBytes += !bCommand && by != CMD_PING;
                e = bCommand ? Address : Idle;
                byCmd = by;
                dwAddress = 0;
                nNeed = 3;
            }
            else if (e == Address &&
                     (dwAddress |= uint32_t{by} << (8 * (3 - nNeed)), --nNeed == 0)) // LSB first
            {
                t.frames.nErases += byCmd == CMD_ERASE;
                t.frames.nBlanks += byCmd == CMD_BLANK;
                t.nReads += byCmd == CMD_READ;
                if (byCmd == CMD_WRITE)
                    t.writes.push_back(dwAddress);
                e = byCmd == CMD_WRITE ? Ready : Idle;
                nReplies = 0;
                bGood = true;
            }
        }
    }
    t.nWritesWithoutData += e == Ready || e == Data;
    return t;
}

// Another program holding a serial line the way such programs lock one: flock and TIOCEXCL.
struct SPortHog
{
    int nFd = -1;
    ~SPortHog() { close(nFd); }
    bool Take(const std::string& strPath)
    {
        nFd = open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return nFd >= 0 && flock(nFd, LOCK_EX | LOCK_NB) == 0 && ioctl(nFd, TIOCEXCL) == 0;
    }
};

// The chip and the sample with its non-blank blocks.
struct CSample
{
    bool LoadSample()
    {
        if (!m_chip.SelectChip("MB90F345") || m_image.Load(OrlixSamplePath(SAMPLE)) != LOAD_OK)
            return false;
        m_image.SetBlockSize(512);
        for (uint32_t dw = m_image.GetLowAddress(); dw < m_image.GetHighAddress(); dw += 512)
            if (!m_image.IsBlockBlank(dw))
                m_blocks.push_back(dw);
        return true;
    }
    SChipDef m_chip;
    CFirmwareImage m_image;
    std::vector<uint32_t> m_blocks;
    CTempDir m_dir;
};

// orlix-cli with its input typed while it runs.
struct SLiveCli
{
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    pid_t pid = -1;
    std::string strOut, strError;
    explicit SLiveCli(const std::vector<std::string>& args)
    {
        signal(SIGPIPE, SIG_IGN); // typing into a child that has ended must fail, not end the test
        if ((pipe2(in, O_CLOEXEC) | pipe2(out, O_CLOEXEC)) == 0)
            pid = SpawnChild({OrlixBinPath("orlix-cli"), args, CLI_ENV, in[0], out[1], out[1]}, strError);
        close(in[0]);
        close(out[1]);
    }
    bool Type(const std::string& strText) { return write(in[1], strText.data(), strText.size()) > 0; }
    // Reads until strText has been printed; false when the output ends or the time passes first.
    bool ReadUntil(const std::string& strText, int nSeconds = 30)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(nSeconds);
        while (strOut.find(strText) == std::string::npos && std::chrono::steady_clock::now() < deadline)
        {
            pollfd fd = {out[0], POLLIN, 0};
            char buffer[4096];
            const ssize_t n = poll(&fd, 1, 50) > 0 ? read(out[0], buffer, sizeof buffer) : -1;
            if (n == 0)
                return false;
            strOut.append(buffer, size_t(std::max<ssize_t>(n, 0)));
        }
        return strOut.find(strText) != std::string::npos;
    }
    // Closes the input and reads to the end; the raw wait status, or -1 when it hangs.
    int Finish()
    {
        close(in[1]);
        ReadUntil("\x01 the end of the output");
        close(out[0]);
        int nStatus = 0;
        if (pid > 0 && !WaitChild(pid, 30000, nStatus))
        {
            kill(-pid, SIGKILL);
            WaitChild(pid, 5000, nStatus);
            return -1;
        }
        return nStatus;
    }
};

class FaultMatrix : public ::testing::TestWithParam<SFaultCase>, protected CSample
{
protected:
    void StartSim(const SSimProcessOptions& opts)
    {
        ASSERT_TRUE(LoadSample());
        ASSERT_TRUE(m_sim.Start(m_dir.Path(), opts)) << m_sim.Error();
        m_before = m_sim.ReadDump();
        ASSERT_EQ(m_before.size(), m_chip.FlashSize) << "no dump at start";
    }

    // Stops the unit; every case wants no protocol error, no stray byte and no read command.
    STrace StopSimAndReadTrace()
    {
        EXPECT_TRUE(m_sim.IsRunning()) << "the simulated unit ended early:\n" << m_sim.StderrText();
        EXPECT_EQ(m_sim.Stop(), 0);
        const STrace trace = ReadTrace(ReadFileText(m_sim.LogPath()));
        EXPECT_TRUE(trace.errors.empty()) << trace.errors.front();
        EXPECT_EQ(std::vector<int>({trace.nStrayBytes, trace.nReads, trace.nWritesWithoutData}),
                  std::vector<int>({0, 0, 0}))
            << "stray bytes, read commands, write commands without their block";
        return trace;
    }

    // The flash as it must be: 0xFF with the given blocks from the image; nullptr: as before.
    void ExpectFlash(const std::vector<uint32_t>* written)
    {
        std::vector<uint8_t> expected = m_before;
        if (written)
            expected.assign(m_chip.FlashSize, 0xFF);
        for (const uint32_t dw : written ? *written : std::vector<uint32_t>())
            m_image.ReadBlock(expected.data() + (dw - m_chip.StartAddress), dw);
        const std::vector<uint8_t> actual = m_sim.ReadDump();
        ASSERT_EQ(actual.size(), expected.size());
        const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin()).first;
        EXPECT_TRUE(diff == actual.end())
            << "flash differs first at 0x" << std::hex << m_chip.StartAddress + (diff - actual.begin());
    }

    CSimProcess m_sim;
    std::vector<uint8_t> m_before;
};

TEST_P(FaultMatrix, EndsAsExpected)
{
    const SFaultCase& test = GetParam();
    SSimProcessOptions opts{.faults = test.faults};
    std::copy_if(test.ports.begin(), test.ports.end(), std::back_inserter(opts.decoyNames),
                 [](const std::string& strPort) { return strPort != "unit"; });
    StartSim(opts);
    if (HasFatalFailure())
        return;
    // The write commands the case must produce (sent) and the blocks the unit keeps (accepted).
    std::vector<uint32_t> sent, accepted;
    const SWrites& w = test.writes;
    for (const uint32_t dw : m_blocks)
    {
        if (w.eKind == EWrites::None || (w.eKind == EWrites::FirstN && sent.size() == size_t(w.nCount)))
            break;
        sent.insert(sent.end(), size_t(dw == w.dwBlock ? w.nCount : 1), dw);
        if (dw == w.dwBlock && w.eKind == EWrites::StopAt)
            break;
        accepted.push_back(dw);
    }
    ASSERT_TRUE(w.dwBlock == 0 || std::count(sent.begin(), sent.end(), w.dwBlock) > 0)
        << "the fault would never fire: not a block the image sends";
    ASSERT_TRUE(w.eKind != EWrites::FirstN || sent.size() == size_t(w.nCount));
    SPortHog hog;
    ASSERT_TRUE(!test.bHoldUnit || hog.Take(m_sim.LinkPath())) << std::strerror(errno);

    SRunOptions run;
    run.args = {"-a", "-f:" + OrlixSamplePath(SAMPLE)};
    run.strStdin = test.strInput;
    for (const std::string& strPort : test.ports)
        run.args.push_back("-p:" + (strPort == "unit" ? m_sim.LinkPath() : m_dir.File(strPort)));
    run.extraEnv = CLI_ENV;
    const double dBoundS = test.dWaitS + SLACK;
    // Well past the bound: a hang shows as a time-out with the output so far.
    run.timeout = std::chrono::milliseconds(static_cast<int>(dBoundS * 1000) + 60000);
    const SProcessResult result = RunProcess(OrlixBinPath("orlix-cli"), run);
    const std::string& strOut = result.strStdout;
    ASSERT_TRUE(result.bStarted) << result.strError;
    EXPECT_FALSE(result.bTimedOut) << "hangs:\n" << strOut;
    EXPECT_EQ(result.nSignal, 0) << result.strStderr;
    EXPECT_EQ(result.nExitCode, test.nExit) << strOut << result.strStderr;
    ExpectPages(strOut, test.pages, test.absent);
    const double dElapsedS = std::chrono::duration<double>(result.elapsed).count();
    EXPECT_LE(dElapsedS, dBoundS) << strOut;
    EXPECT_GE(dElapsedS, test.dMinS) << "gave up before the protocol's time-outs";

    const STrace trace = StopSimAndReadTrace();
    const SFrames &f = trace.frames, &want = test.frames;
    EXPECT_EQ(std::vector<int>({f.nSyncs, f.nDownloads, f.nSwitches, f.nPings, f.nErases, f.nBlanks}),
              std::vector<int>(
                  {want.nSyncs, want.nDownloads, want.nSwitches, want.nPings, want.nErases, want.nBlanks}))
        << "sync, download, switch, ping, erase, blank";
    for (const std::string& strDecoy : opts.decoyNames)
        EXPECT_EQ(trace.decoySyncs.count(strDecoy) ? trace.decoySyncs.at(strDecoy) : 0, want.nDecoySyncs)
            << strDecoy;
    EXPECT_FALSE(test.bHoldUnit && trace.bAnyByte) << "a held port was used";
    EXPECT_EQ(trace.writes, sent);
    const std::vector<uint32_t> none;
    ExpectFlash(test.eFlash == EFlash::Untouched ? nullptr
                : test.eFlash == EFlash::Erased  ? &none
                                                 : &accepted);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::ValuesIn(FAULT_CASES),
                         [](const ::testing::TestParamInfo<SFaultCase>& row) { return row.param.pszName; });

// The port is free while the search runs and taken by another program before the click that
// starts the transfer: the wizard ends with its fixed message box and status 2, the unit
// untouched after the search's sync. The input is typed while orlix-cli runs.
TEST_F(FaultMatrix, PortTakenBetweenSearchAndTransfer)
{
    StartSim({});
    if (HasFatalFailure())
        return;
    SLiveCli cli({"-f:" + OrlixSamplePath(SAMPLE), "-p:" + m_sim.LinkPath()});
    const std::string& strOut = cli.strOut;
    SPortHog hog;
    // Start, then Continue on the connect page; the found page waits for the next click.
    EXPECT_TRUE(cli.pid > 0 && cli.Type("\n\n") && cli.ReadUntil(P(127))) << cli.strError << strOut;
    EXPECT_TRUE(hog.Take(m_sim.LinkPath())) << "the search left the port open: " << std::strerror(errno);
    EXPECT_TRUE(cli.Type("\n"));
    const int nStatus = cli.Finish();
    EXPECT_NE(nStatus, -1) << "hangs:\n" << strOut;
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 2) << nStatus << "\n" << strOut;
    EXPECT_NE(strOut.find(BOX_PORT_ERROR), std::string::npos) << strOut;
    EXPECT_EQ(strOut.find(P(131)), std::string::npos) << "the download page was shown:\n" << strOut;

    const STrace trace = StopSimAndReadTrace();
    EXPECT_EQ(trace.frames.nSyncs, 1);
    EXPECT_EQ(trace.frames.nDownloads, 0);
    ExpectFlash(nullptr);
}

// What a unit's flash holds afterwards.
enum class EUnitFlash
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
    EUnitFlash eFlash = EUnitFlash::Image;
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
    {.pszName = "OneCrcErrorAlwaysOthersFinish", .units = {{}, {.faults = {"crc-always=0xF90000"}, .eFlash = EUnitFlash::Below,
     .dwAt = 0xF90000, .strRecord = "programming failed false"}, {}},
     .pages = {"(!) 2 of 3 units updated\n%0: updated\n%1: the programming failed\n%2: updated"}, .nExit = 1},
    {.pszName = "OneVanishesMidProgramming", .units = {{.faults = {"vanish-after=20"}, .eFlash = EUnitFlash::FirstN,
     .nBlocks = 20, .strRecord = "programming failed false"}, {}},
     .pages = {"(!) 1 of 2 units updated\n%0: the programming failed\n%1: updated"}, .nExit = 1},
    {.pszName = "AllSucceedWithADecoyBeforeThem", .units = {{}, {}, {}}, .nDecoys = 1,
     .pages = {"3 units found: %0, %1, %2", "(i) 3 of 3 units updated\n%0: updated\n%1: updated\n%2: updated"}},
    {.pszName = "CtrlCBeforeTheTransferTouchesNothing", .units = {{.eFlash = EUnitFlash::Untouched, .strRecord = ""},
     {.eFlash = EUnitFlash::Untouched, .strRecord = ""}}, .bCtrlC = true, .pages = {"2 units found: %0, %1"},
     .nExit = 1, .absent = {"units updated"}},
    // The block CRC cannot see a cell that stores another value; only the read-back can.
    {.pszName = "VerifyCatchesAWeakCell", .units = {{.faults = {"weak-cell=0xF80203"}, .eFlash = EUnitFlash::WeakByte,
     .dwAt = 0xF80203, .strRecord = "verify failed false"}}, .options = {"-v"},
     .pages = {"(!) " + LoadText(145, ETextLanguage::English) + "\nThe flash memory differs from the firmware at address 0xF80203."}, .nExit = 1},
    {.pszName = "WithoutVerifyTheWeakCellGoesUnseen", .units = {{.faults = {"weak-cell=0xF80203"},
     .eFlash = EUnitFlash::WeakByte, .dwAt = 0xF80203}}, .options = {},
     .pages = {"(i) The firmware update was successful."}},
    {.pszName = "GroupVerifyNamesTheUnitAndAddress", .units = {{.strRecord = "updated true"}, {.faults = {"weak-cell=0xF80203"},
     .eFlash = EUnitFlash::WeakByte, .dwAt = 0xF80203, .strRecord = "verify failed false"}}, .options = {"-g", "-v"},
     .pages = {"(!) 1 of 2 units updated\n%0: updated\n%1: the programming failed - The flash memory differs from "
               "the firmware at address 0xF80203."}, .nExit = 1},
};
// clang-format on

class MultiUnit : public ::testing::TestWithParam<SCase>, protected CSample
{
protected:
    std::vector<uint8_t> Expected(const SUnit& unit, const std::vector<uint8_t>& before) const
    {
        if (unit.eFlash == EUnitFlash::Untouched)
            return before;
        std::vector<uint8_t> flash(m_chip.FlashSize, 0xFF);
        int nWritten = 0;
        for (const uint32_t dw : m_blocks)
        {
            if ((unit.eFlash == EUnitFlash::Below && dw >= unit.dwAt) ||
                (unit.eFlash == EUnitFlash::FirstN && nWritten++ == unit.nBlocks))
                break;
            m_image.ReadBlock(flash.data() + (dw - m_chip.StartAddress), dw);
        }
        if (unit.eFlash == EUnitFlash::WeakByte)
            flash[unit.dwAt - m_chip.StartAddress] ^= 0x01;
        return flash;
    }
};

TEST_P(MultiUnit, EveryUnitEndsAsExpected)
{
    const SCase& c = GetParam();
    ASSERT_TRUE(LoadSample());
    std::deque<CSimProcess> sims;
    std::vector<std::vector<uint8_t>> before;
    std::vector<std::string> ports;
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"-a", "-f:" + OrlixSamplePath(SAMPLE), "-l:" + m_dir.File("record.jsonl")});
    for (int nDecoy = 0; nDecoy < c.nDecoys; ++nDecoy)
        args.push_back("-p:" + m_dir.File("unit0/decoy" + std::to_string(nDecoy)));
    for (std::size_t i = 0; i < c.units.size(); ++i)
    {
        const std::string strDir = m_dir.File("unit" + std::to_string(i));
        ASSERT_EQ(mkdir(strDir.c_str(), 0700), 0);
        SSimProcessOptions opts{.faults = c.units[i].faults};
        for (int nDecoy = 0; i == 0 && nDecoy < c.nDecoys; ++nDecoy)
            opts.decoyNames.push_back("decoy" + std::to_string(nDecoy));
        CSimProcess& sim = sims.emplace_back();
        ASSERT_TRUE(sim.Start(strDir, opts)) << sim.Error();
        before.push_back(sim.ReadDump());
        ports.push_back(sim.LinkPath());
        args.push_back("-p:" + sim.LinkPath());
    }

    SProcessResult result;
    if (c.bCtrlC) // Enter, then SIGINT once the first page has been printed
    {
        SLiveCli cli(args);
        if (cli.Type("\n") && cli.ReadUntil(Replace(c.pages.front(), ports), 60))
            kill(cli.pid, SIGINT);
        cli.ReadUntil("\x01 the end of the output", 60);
        const int nStatus = cli.Finish();
        result = {.bStarted = cli.pid > 0,
                  .bTimedOut = nStatus == -1,
                  .nExitCode = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1,
                  .strStdout = cli.strOut,
                  .strStderr = {},
                  .strError = cli.strError};
    }
    else
        result = RunProcess(
            OrlixBinPath("orlix-cli"),
            {.args = args, .strStdin = "\n\n", .timeout = std::chrono::seconds(120), .extraEnv = CLI_ENV});
    const std::string& strOut = result.strStdout;
    ASSERT_TRUE(result.bStarted) << result.strError;
    EXPECT_FALSE(result.bTimedOut) << strOut;
    EXPECT_EQ(result.nExitCode, c.nExit) << strOut << result.strStderr;
    ExpectPages(strOut, c.pages, c.absent, ports);

    std::string strRecords;
    for (std::size_t i = 0; i < sims.size(); ++i)
    {
        EXPECT_EQ(sims[i].Stop(), 0);
        EXPECT_TRUE(sims[i].ReadDump() == Expected(c.units[i], before[i])) << "flash of unit " << i;
        if (!c.units[i].strRecord.empty())
            strRecords += ports[i] + " " + c.units[i].strRecord + "\n";
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
