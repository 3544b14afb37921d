// The fault matrix: orlix-cli against orlix-sim with every fault the simulated unit can
// inject, one test per row. Each row states what the technician must see (page texts), the
// exit status, how many frames the program sent (counted in the unit's protocol log), what
// the unit's flash holds afterwards, and a time bound made of the waits the protocol itself
// prescribes on that path plus generous slack. FAULTS.md is the same table for readers.
#include "firmware/FirmwareImage.h"
#include "target/ChipDef.h"
#include "tests/faults/CliSession.h"
#include "tests/faults/ProtocolTrace.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace
{

// Texts of the English table, written out here so that a changed table fails these tests.
const std::string TEXT_126 = "The unit was found.";
const std::string TEXT_127 = "Click the button to start the transfer.";
const std::string TEXT_128 = "Please wait. The transfer starts automatically ...";
const std::string TEXT_129 = "The unit was not found!\nPlease check the connection to your unit.\n"
                             "Did you press the RESET button on your unit?";
const std::string TEXT_130 = "Click the button to try it again.";
const std::string TEXT_131 = "The unit is being programmed.\nPlease wait untill the process was completed.";
const std::string TEXT_133 = "The process was successful.";
const std::string TEXT_134 =
    "An Error occurred during the download operation.\nThe firmware update couldn't be started.\n"
    "Please try it again.";
const std::string TEXT_135 = "Would you like to retry the update?";
const std::string TEXT_136 = "The firmware update was successful.";
const std::string TEXT_137 = "Click the button to close the program.";
const std::string TEXT_138 = "Erasing the flash memory ...";
const std::string TEXT_139 = "Checking the flash memory ...";
const std::string TEXT_140 = "Programming the flash memory ...";
const std::string TEXT_145 =
    "An Error occurred during the programming process.\nThe firmware update couldn't be completed.\n"
    "Please try it again. ";

// Pages as the console prints them: the icon's marker, the message, the detail line indented.
const std::string PAGE_NOT_FOUND = "(!) " + TEXT_129 + "\n    " + TEXT_130;
const std::string PAGE_FOUND_AUTO = TEXT_126 + "\n    " + TEXT_128;
const std::string PAGE_DOWNLOAD_FAILED = "(!) " + TEXT_134 + "\n    " + TEXT_135;
const std::string PAGE_PROGRAM_FAILED = "(!) " + TEXT_145 + "\n    " + TEXT_135;
const std::string PAGE_SUCCESS = "(i) " + TEXT_136 + "\n    " + TEXT_137;
const std::string BOX_PORT_ERROR = "[orlix-cli] (!) COM Port Fehler.\n Bitte Programm neu ausf\xC3\xBChren";

// The waits the protocol prescribes, in seconds.
constexpr double READ_BYTE = 0.8;   // a reply byte that does not come: 50 ms + 750 ms
constexpr double AUTO_PAUSE = 2.0;  // automatic mode, between "found" and the transfer
constexpr double ERASE_POLL = 1.0;  // before each poll of the erase
constexpr double BLANK_LIMIT = 5.0; // the blank check's own limit
// Everything that answers at once (the simulated erase and check take 100 and 50 ms, the
// sixty-odd blocks well under a second) and a loaded machine: generous on purpose.
constexpr double SLACK = 25.0;

const std::string SAMPLE = "analyzer-mb90f345.mhx";

// Frames the program sent to the unit (nDecoySyncs: syncs to each decoy).
struct SFrames
{
    int nSyncs = 0;
    int nDownloads = 0;
    int nSwitches = 0;
    int nPings = 0;
    int nErases = 0;
    int nBlanks = 0;
    int nDecoySyncs = 0;
};

// Which image blocks were sent, in image order.
enum class EWrites
{
    None,
    All,    // every non-blank block once, dwBlock (if any) nCount times
    StopAt, // the blocks before dwBlock once, then dwBlock nCount times, then nothing
    FirstN, // the first nCount blocks
};
struct SWrites
{
    EWrites eKind = EWrites::None;
    uint32_t dwBlock = 0;
    int nCount = 1;
};

enum class EFlash
{
    Untouched, // byte for byte as before the run
    Erased,    // all 0xFF
    Written,   // 0xFF, with the blocks the unit accepted as in the image
};

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

std::ostream& operator<<(std::ostream& out, const SFaultCase& test)
{
    return out << test.pszName;
}

// An erase the unit completes costs one poll; a transfer in automatic mode the pause.
constexpr double TRANSFER = AUTO_PAUSE + ERASE_POLL;

const SFaultCase FAULT_CASES[] = {
    {.pszName = "NoAnswerToSync",
     .faults = {"no-sync"},
     .strInput = "\n",
     .pages = {PAGE_NOT_FOUND},
     .absent = {TEXT_126},
     .frames = {.nSyncs = 5},
     .dWaitS = 5 * READ_BYTE,
     .dMinS = 5 * 0.75},
    {.pszName = "WrongSyncReply",
     .faults = {"bad-sync"},
     .strInput = "\n",
     .pages = {PAGE_NOT_FOUND},
     .absent = {TEXT_126},
     .frames = {.nSyncs = 5}},
    {.pszName = "DownloadRefusedOnce",
     .faults = {"refuse-download=1"},
     .strInput = "\n\n",
     .nExit = 0,
     .pages = {PAGE_FOUND_AUTO, TEXT_133, TEXT_140, PAGE_SUCCESS},
     .frames = {.nSyncs = 2, .nDownloads = 2, .nSwitches = 1, .nPings = 1, .nErases = 1, .nBlanks = 1},
     .writes = {EWrites::All},
     .eFlash = EFlash::Written,
     .dWaitS = TRANSFER,
     .dMinS = TRANSFER},
    {.pszName = "DownloadRefusedTwice",
     .faults = {"refuse-download=2"},
     .strInput = "\n\n",
     .nExit = 0,
     .pages = {PAGE_FOUND_AUTO, TEXT_133, PAGE_SUCCESS},
     .frames = {.nSyncs = 2, .nDownloads = 3, .nSwitches = 1, .nPings = 1, .nErases = 1, .nBlanks = 1},
     .writes = {EWrites::All},
     .eFlash = EFlash::Written,
     .dWaitS = TRANSFER},
    {.pszName = "DownloadRefused3Times",
     .faults = {"refuse-download=3"},
     .strInput = "\n\n",
     .nExit = 0,
     .pages = {PAGE_FOUND_AUTO, TEXT_133, PAGE_SUCCESS},
     .frames = {.nSyncs = 2, .nDownloads = 4, .nSwitches = 1, .nPings = 1, .nErases = 1, .nBlanks = 1},
     .writes = {EWrites::All},
     .eFlash = EFlash::Written,
     .dWaitS = TRANSFER},
    {.pszName = "DownloadRefused4TimesLastAttemptWins",
     .faults = {"refuse-download=4"},
     .strInput = "\n\n",
     .nExit = 0,
     .pages = {PAGE_FOUND_AUTO, TEXT_133, PAGE_SUCCESS},
     .absent = {TEXT_134},
     .frames = {.nSyncs = 2, .nDownloads = 5, .nSwitches = 1, .nPings = 1, .nErases = 1, .nBlanks = 1},
     .writes = {EWrites::All},
     .eFlash = EFlash::Written,
     .dWaitS = TRANSFER},
    {.pszName = "DownloadRefused5TimesAnsweredNo",
     .faults = {"refuse-download=5"},
     .strInput = "\nn\n",
     .pages = {PAGE_FOUND_AUTO, TEXT_131, PAGE_DOWNLOAD_FAILED},
     .absent = {TEXT_133, TEXT_138},
     .frames = {.nSyncs = 2, .nDownloads = 5},
     .dWaitS = AUTO_PAUSE,
     .dMinS = AUTO_PAUSE},
    {.pszName = "DownloadRefused6TimesRetrySucceeds",
     .faults = {"refuse-download=6"},
     .strInput = "\ny\n\n\n",
     .nExit = 0,
     .pages = {PAGE_DOWNLOAD_FAILED, PAGE_FOUND_AUTO, TEXT_133, PAGE_SUCCESS},
     .frames = {.nSyncs = 4, .nDownloads = 7, .nSwitches = 1, .nPings = 1, .nErases = 1, .nBlanks = 1},
     .writes = {EWrites::All},
     .eFlash = EFlash::Written,
     .dWaitS = AUTO_PAUSE + TRANSFER,
     .dMinS = AUTO_PAUSE + TRANSFER},
    {.pszName = "NoPingAnswer",
     .faults = {"no-ping"},
     .strInput = "\nn\n",
     .pages = {TEXT_133, PAGE_PROGRAM_FAILED},
     .absent = {TEXT_138, TEXT_136},
     .frames = {.nSyncs = 2, .nDownloads = 1, .nSwitches = 1, .nPings = 1},
     .dWaitS = AUTO_PAUSE + READ_BYTE,
     .dMinS = AUTO_PAUSE + 0.75},
    {.pszName = "EraseNeverCompletes",
     .faults = {"erase-hangs"},
     .strInput = "\nn\n",
     .pages = {TEXT_138, PAGE_PROGRAM_FAILED},
     .absent = {TEXT_139, TEXT_136},
     .frames = {.nSyncs = 2, .nDownloads = 1, .nSwitches = 1, .nPings = 1, .nErases = 1},
     .dWaitS = AUTO_PAUSE + 30 * (ERASE_POLL + READ_BYTE),
     .dMinS = AUTO_PAUSE + 30 * ERASE_POLL},
    {.pszName = "BlankCheckFails",
     .faults = {"blank-fails"},
     .strInput = "\nn\n",
     .pages = {TEXT_138, TEXT_139, PAGE_PROGRAM_FAILED},
     .absent = {TEXT_140, TEXT_136},
     .frames = {.nSyncs = 2, .nDownloads = 1, .nSwitches = 1, .nPings = 1, .nErases = 1, .nBlanks = 1},
     .eFlash = EFlash::Erased,
     .dWaitS = TRANSFER},
    {.pszName = "BlankCheckNeverEnds",
     .faults = {"blank-hangs"},
     .strInput = "\nn\n",
     .pages = {TEXT_139, PAGE_PROGRAM_FAILED},
     .absent = {TEXT_140, TEXT_136},
     .frames = {.nSyncs = 2, .nDownloads = 1, .nSwitches = 1, .nPings = 1, .nErases = 1, .nBlanks = 1},
     .eFlash = EFlash::Erased,
     .dWaitS = TRANSFER + BLANK_LIMIT + READ_BYTE,
     .dMinS = TRANSFER + BLANK_LIMIT},
    {.pszName = "CrcErrorOnceOnTheFirstBlock",
     .faults = {"crc-once=0xF80000"},
     .strInput = "\n\n",
     .nExit = 0,
     .pages = {TEXT_140, PAGE_SUCCESS},
     .frames = {.nSyncs = 2, .nDownloads = 1, .nSwitches = 1, .nPings = 1, .nErases = 1, .nBlanks = 1},
     .writes = {EWrites::All, 0xF80000, 2},
     .eFlash = EFlash::Written,
     .dWaitS = TRANSFER},
    {.pszName = "CrcErrorAlways",
     .faults = {"crc-always=0xF90000"},
     .strInput = "\nn\n",
     .pages = {TEXT_140, PAGE_PROGRAM_FAILED},
     .absent = {TEXT_136},
     .frames = {.nSyncs = 2, .nDownloads = 1, .nSwitches = 1, .nPings = 1, .nErases = 1, .nBlanks = 1},
     .writes = {EWrites::StopAt, 0xF90000, 2},
     .eFlash = EFlash::Written,
     .dWaitS = TRANSFER},
    {.pszName = "WriteAnswered04",
     .faults = {"write-fails=0xFF0000"},
     .strInput = "\nn\n",
     .pages = {TEXT_140, PAGE_PROGRAM_FAILED},
     .absent = {TEXT_136},
     .frames = {.nSyncs = 2, .nDownloads = 1, .nSwitches = 1, .nPings = 1, .nErases = 1, .nBlanks = 1},
     .writes = {EWrites::StopAt, 0xFF0000, 1},
     .eFlash = EFlash::Written,
     .dWaitS = TRANSFER},
    {.pszName = "UnitVanishesAfter20BlocksRetryFindsNothing",
     .faults = {"vanish-after=20"},
     // No port is left for the retry's search: it ends at once on the not-found page.
     .strInput = "\ny\n\n",
     .pages = {TEXT_140, PAGE_PROGRAM_FAILED, PAGE_NOT_FOUND},
     .absent = {TEXT_136},
     .frames = {.nSyncs = 2, .nDownloads = 1, .nSwitches = 1, .nPings = 1, .nErases = 1, .nBlanks = 1},
     .writes = {EWrites::FirstN, 0, 20},
     .eFlash = EFlash::Written,
     .dWaitS = TRANSFER},
    {.pszName = "DecoysNeverAnswer",
     .ports = {"decoy0", "decoy1"},
     .strInput = "\n",
     .pages = {PAGE_NOT_FOUND},
     .frames = {.nDecoySyncs = 5},
     .dWaitS = 5 * 2 * READ_BYTE,
     .dMinS = 5 * 2 * 0.75},
    {.pszName = "DecoysBeforeTheUnit",
     .ports = {"decoy0", "decoy1", "unit"},
     .strInput = "\n\n",
     .nExit = 0,
     .pages = {PAGE_FOUND_AUTO, PAGE_SUCCESS},
     .frames = {.nSyncs = 2,
                .nDownloads = 1,
                .nSwitches = 1,
                .nPings = 1,
                .nErases = 1,
                .nBlanks = 1,
                .nDecoySyncs = 1},
     .writes = {EWrites::All},
     .eFlash = EFlash::Written,
     .dWaitS = 2 * READ_BYTE + TRANSFER,
     .dMinS = 2 * 0.75 + TRANSFER},
    {.pszName = "PortHeldByAnotherProgram",
     .ports = {"decoy0", "unit"},
     .bHoldUnit = true,
     .strInput = "\n",
     // Silence alone would send the technician looking for a cable fault: name the port.
     .pages = {PAGE_NOT_FOUND, "Skipped because another program is using them: "},
     .absent = {TEXT_126},
     .frames = {.nDecoySyncs = 5},
     .dWaitS = 5 * READ_BYTE,
     .dMinS = 5 * 0.75},
};

// Another program holding a serial line the way such programs lock one: flock and TIOCEXCL.
class CPortHog
{
public:
    CPortHog() = default;
    CPortHog(const CPortHog&) = delete;
    CPortHog& operator=(const CPortHog&) = delete;
    ~CPortHog()
    {
        if (m_nFd >= 0)
        {
            close(m_nFd);
        }
    }

    bool Take(const std::string& strPath, std::string& strError)
    {
        m_nFd = open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_nFd < 0 || flock(m_nFd, LOCK_EX | LOCK_NB) != 0 || ioctl(m_nFd, TIOCEXCL) != 0)
        {
            strError = strPath + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }

private:
    int m_nFd = -1;
};

// The sample firmware as the unit's flash should hold it.
struct SImageBlocks
{
    SChipDef chip;
    std::vector<uint32_t> blocks; // non-blank 512-byte blocks, in address order
    CFirmwareImage image;

    bool Load(const std::string& strFile, const std::string& strChip)
    {
        if (!chip.SelectChip(strChip) || image.Load(strFile) != LOAD_OK)
        {
            return false;
        }
        image.SetBlockSize(512);
        for (uint32_t dwAddress = image.GetLowAddress(); dwAddress < image.GetHighAddress(); dwAddress += 512)
        {
            if (!image.IsBlockBlank(dwAddress))
            {
                blocks.push_back(dwAddress);
            }
        }
        return !blocks.empty();
    }

    // Erased flash with these blocks programmed from the image.
    std::vector<uint8_t> FlashWith(const std::vector<uint32_t>& written) const
    {
        std::vector<uint8_t> flash(chip.FlashSize, 0xFF);
        for (const uint32_t dwAddress : written)
        {
            image.ReadBlock(flash.data() + (dwAddress - chip.StartAddress), dwAddress);
        }
        return flash;
    }
};

// The write commands a case must produce, and the blocks the unit accepted among them.
bool ExpectedWrites(const SWrites& spec, const std::vector<uint32_t>& blocks, std::vector<uint32_t>& sent,
                    std::vector<uint32_t>& accepted)
{
    sent.clear();
    accepted.clear();
    switch (spec.eKind)
    {
    case EWrites::None:
        return true;
    case EWrites::FirstN:
        if (spec.nCount > static_cast<int>(blocks.size()))
        {
            return false;
        }
        sent.assign(blocks.begin(), blocks.begin() + spec.nCount);
        accepted = sent;
        return true;
    case EWrites::All:
    case EWrites::StopAt:
        break;
    }
    const auto it = std::find(blocks.begin(), blocks.end(), spec.dwBlock);
    if (spec.dwBlock != 0 && it == blocks.end())
    {
        return false; // the fault would never fire: not a block the image sends
    }
    for (const uint32_t dwAddress : blocks)
    {
        const bool bFaulty = dwAddress == spec.dwBlock;
        for (int i = 0; i < (bFaulty ? spec.nCount : 1); ++i)
        {
            sent.push_back(dwAddress);
        }
        if (bFaulty && spec.eKind == EWrites::StopAt)
        {
            return true;
        }
        accepted.push_back(dwAddress);
    }
    return true;
}

std::string Hex(uint32_t dwValue)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%06X", dwValue);
    return buffer;
}

std::string DescribeWrites(const std::vector<uint32_t>& addresses)
{
    std::string strText = std::to_string(addresses.size()) + " writes:";
    for (const uint32_t dwAddress : addresses)
    {
        strText += " " + Hex(dwAddress);
    }
    return strText;
}

// First offset where the flash differs from what was expected, as a readable line.
std::string FirstDifference(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected,
                            uint32_t dwBase)
{
    if (actual.size() != expected.size())
    {
        return "dump of " + std::to_string(actual.size()) + " bytes, expected " +
               std::to_string(expected.size());
    }
    const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin());
    if (diff.first == actual.end())
    {
        return {};
    }
    const auto nOffset = static_cast<uint32_t>(diff.first - actual.begin());
    return "flash differs first at " + Hex(dwBase + nOffset) + ": " + Hex(*diff.first) + " instead of " +
           Hex(*diff.second);
}

// Parts of strText in this order, each after the one before; the first missing, or empty.
std::string MissingInOrder(const std::string& strText, const std::vector<std::string>& parts)
{
    size_t nFrom = 0;
    for (const std::string& strPart : parts)
    {
        const size_t nAt = strText.find(strPart, nFrom);
        if (nAt == std::string::npos)
        {
            return strPart;
        }
        nFrom = nAt + strPart.size();
    }
    return {};
}

std::vector<std::string> CliEnvironment()
{
    return {"LC_ALL=C.UTF-8", "LC_MESSAGES=", "LANG="};
}

class FaultMatrix : public ::testing::TestWithParam<SFaultCase>
{
protected:
    void SetUp() override { ASSERT_TRUE(m_image.Load(OrlixSamplePath(SAMPLE), "MB90F345")); }

    // Starts the unit, keeps its flash as it was before the program touched it.
    void StartSim(const SSimProcessOptions& opts)
    {
        ASSERT_TRUE(m_sim.Start(m_dir.Path(), opts)) << m_sim.Error();
        m_before = m_sim.ReadDump();
        ASSERT_EQ(m_before.size(), m_image.chip.FlashSize) << "no dump at start";
    }

    // Stops the unit and checks what it saw: no protocol error and no byte outside a frame.
    SProtocolTrace StopSimAndReadTrace()
    {
        EXPECT_TRUE(m_sim.IsRunning()) << "the simulated unit ended early:\n" << m_sim.StderrText();
        EXPECT_EQ(m_sim.Stop(), 0);
        SProtocolTrace trace;
        std::string strError;
        EXPECT_TRUE(ParseProtocolTrace(ReadFileText(m_sim.LogPath()), trace, strError)) << strError;
        for (const std::string& strNote : trace.NotesStartingWith("protocol error: "))
        {
            ADD_FAILURE() << "the unit saw: " << strNote;
        }
        EXPECT_EQ(trace.nStrayBytes, 0) << "bytes that fit no frame";
        return trace;
    }

    CTempDir m_dir;
    CSimProcess m_sim;
    SImageBlocks m_image;
    std::vector<uint8_t> m_before;
};

TEST_P(FaultMatrix, EndsAsExpected)
{
    const SFaultCase& test = GetParam();
    std::vector<uint32_t> sent;
    std::vector<uint32_t> accepted;
    ASSERT_TRUE(ExpectedWrites(test.writes, m_image.blocks, sent, accepted))
        << "the fault's block is not sent";

    SSimProcessOptions opts;
    opts.faults = test.faults;
    for (const std::string& strPort : test.ports)
    {
        if (strPort != "unit")
        {
            opts.decoyNames.push_back(strPort);
        }
    }
    StartSim(opts);
    if (HasFatalFailure())
    {
        return;
    }
    CPortHog hog;
    std::string strError;
    if (test.bHoldUnit)
    {
        ASSERT_TRUE(hog.Take(m_sim.LinkPath(), strError)) << strError;
    }

    SRunOptions run;
    run.args = {"-a", "-f:" + OrlixSamplePath(SAMPLE)};
    for (const std::string& strPort : test.ports)
    {
        run.args.push_back("-p:" + (strPort == "unit" ? m_sim.LinkPath() : m_dir.File(strPort)));
    }
    run.strStdin = test.strInput;
    run.extraEnv = CliEnvironment();
    const auto bound = std::chrono::duration<double>(test.dWaitS + SLACK);
    // Well past the bound: a hang shows as a time-out with the output so far.
    run.timeout = std::chrono::duration_cast<std::chrono::milliseconds>(bound) + std::chrono::seconds(60);
    const SProcessResult result = RunProcess(OrlixBinPath("orlix-cli"), run);
    const std::string& strOut = result.strStdout;

    ASSERT_TRUE(result.bStarted) << result.strError;
    EXPECT_FALSE(result.bTimedOut) << "hangs:\n" << strOut;
    EXPECT_EQ(result.nSignal, 0) << result.strStderr;
    EXPECT_EQ(result.nExitCode, test.nExit) << strOut << result.strStderr;
    const std::string strMissing = MissingInOrder(strOut, test.pages);
    EXPECT_TRUE(strMissing.empty()) << "missing or out of order: \"" << strMissing << "\"\n" << strOut;
    for (const std::string& strAbsent : test.absent)
    {
        EXPECT_EQ(strOut.find(strAbsent), std::string::npos) << "shown: \"" << strAbsent << "\"\n" << strOut;
    }
    const double dElapsedS = std::chrono::duration<double>(result.elapsed).count();
    EXPECT_LE(dElapsedS, bound.count()) << strOut;
    EXPECT_GE(dElapsedS, test.dMinS) << "gave up before the protocol's time-outs";

    const SProtocolTrace trace = StopSimAndReadTrace();
    EXPECT_EQ(trace.nSyncs, test.frames.nSyncs);
    EXPECT_EQ(trace.nDownloads, test.frames.nDownloads);
    EXPECT_EQ(trace.nSwitches, test.frames.nSwitches);
    EXPECT_EQ(trace.nPings, test.frames.nPings);
    EXPECT_EQ(trace.Commands(CMD_ERASE).size(), static_cast<size_t>(test.frames.nErases));
    EXPECT_EQ(trace.Commands(CMD_BLANK).size(), static_cast<size_t>(test.frames.nBlanks));
    EXPECT_TRUE(trace.Commands(CMD_READ).empty());
    for (const std::string& strDecoy : opts.decoyNames)
    {
        const auto it = trace.decoySyncs.find(strDecoy);
        EXPECT_EQ(it == trace.decoySyncs.end() ? 0 : it->second, test.frames.nDecoySyncs) << strDecoy;
    }
    if (test.bHoldUnit)
    {
        EXPECT_TRUE(trace.Silent()) << "a held port was used";
    }
    const std::vector<uint32_t> writes = trace.WriteAddresses();
    EXPECT_TRUE(writes == sent) << "sent " << DescribeWrites(writes) << "\nexpected " << DescribeWrites(sent);
    for (const SKernelCommand& command : trace.Commands(CMD_WRITE))
    {
        EXPECT_TRUE(command.bData) << "write of " << Hex(command.dwAddress) << " without its data";
    }

    const std::vector<uint8_t> flash = m_sim.ReadDump();
    switch (test.eFlash)
    {
    case EFlash::Untouched:
        EXPECT_EQ(FirstDifference(flash, m_before, m_image.chip.StartAddress), "");
        break;
    case EFlash::Erased:
        EXPECT_EQ(FirstDifference(flash, m_image.FlashWith({}), m_image.chip.StartAddress), "");
        break;
    case EFlash::Written:
        EXPECT_EQ(FirstDifference(flash, m_image.FlashWith(accepted), m_image.chip.StartAddress), "");
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::ValuesIn(FAULT_CASES),
                         [](const ::testing::TestParamInfo<SFaultCase>& row) { return row.param.pszName; });

// The port is free while the search runs and taken by another program before the click that
// starts the transfer: the wizard ends with its fixed message box and status 2, the unit
// untouched after the search's sync.
TEST_F(FaultMatrix, PortTakenBetweenSearchAndTransfer)
{
    StartSim({});
    if (HasFatalFailure())
    {
        return;
    }
    CCliSession cli;
    std::string strError;
    ASSERT_TRUE(cli.Start(OrlixBinPath("orlix-cli"),
                          {"-f:" + OrlixSamplePath(SAMPLE), "-p:" + m_sim.LinkPath()}, CliEnvironment(),
                          strError))
        << strError;
    // Start, then Continue on the connect page; the found page waits for the next click.
    ASSERT_TRUE(cli.Type("\n\n"));
    ASSERT_TRUE(cli.WaitFor(TEXT_126 + "\n    " + TEXT_127, std::chrono::seconds(30))) << cli.Output();
    CPortHog hog;
    ASSERT_TRUE(hog.Take(m_sim.LinkPath(), strError)) << "the search left the port open: " << strError;
    ASSERT_TRUE(cli.Type("\n"));
    const int nExit = cli.Finish(std::chrono::seconds(30));
    const std::string& strOut = cli.Output();
    EXPECT_EQ(nExit, 2) << strOut;
    EXPECT_NE(strOut.find(BOX_PORT_ERROR), std::string::npos) << strOut;
    EXPECT_EQ(strOut.find(TEXT_131), std::string::npos) << "the download page was shown:\n" << strOut;

    const SProtocolTrace trace = StopSimAndReadTrace();
    EXPECT_EQ(trace.nSyncs, 1);
    EXPECT_EQ(trace.nDownloads, 0);
    EXPECT_EQ(FirstDifference(m_sim.ReadDump(), m_before, m_image.chip.StartAddress), "");
}

} // namespace
