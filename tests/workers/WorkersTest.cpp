// The worker procedures on a unit session with scripted ports and a fake clock: what they send,
// what they post, and that every one ends with its result and exactly one WM_WORKER_DONE.
// Then the read-back: which blocks it reads, what a difference, a failing read and a stop request
// give, and its progress. Port faults underneath each worker run end to end in tests/faults.
#include "target/workers/Workers.h"
#include "serial/SerialException.h"
#include "target/Crc16.h"
#include "target/workers/Verify.h"
#include "tests/firmware/FwTestUtil.h"
#include "tests/support/TestSupport.h"
#include "tests/workers/FakeUnit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using EOp = CFakePort::EOp;

namespace
{
using Chunks = std::vector<std::pair<uint32_t, Bytes>>;
const Chunks THREE_BLOCKS = {{0xFF0000, Bytes(512, 1)}, {0xFF0200, Bytes(512, 2)}, {0xFF0400, Bytes(512, 3)}};

// A session on a fake line, the host, and the image the wizard would hand over.
struct SRig
{
    CFakeHost host;
    CFakeLine* pLine = new CFakeLine(&host.m_clock);
    CUnitSession session{3, std::unique_ptr<IUnitLine>(pLine)};
    CFirmwareImage image;

    // The results as they were when WM_WORKER_DONE was posted: the wizard reads them then.
    std::tuple<bool, bool, int> atDone{false, false, -1};

    SRig()
    {
        session.m_chip.SelectChip("MB90F345");
        host.m_onDone = [this] { atDone = Results(); };
    }
    std::tuple<bool, bool, int> Results() const
    {
        return {session.IsFound(), session.m_bDownloadOk, session.m_nProgramResult};
    }

    // Opens the first port as the wizard does before the download.
    CFakePort& OpenAsDialog(CFakePort& port)
    {
        session.UpdatePortList();
        session.SetCurrentPort(&session.Ports().at(0));
        EXPECT_TRUE(session.OpenPort());
        return port;
    }

    // Loads the image of chunks, opens the first port and scripts a kernel that answers the ping,
    // the erase and the blank check at their first poll, and takes nBlocks blocks.
    CFakePort& ReadyToProgram(CFakePort& port, const Chunks& chunks, int nBlocks)
    {
        CTempDir dir;
        std::string strText;
        for (const auto& [dwStart, bytes] : chunks)
            strText += SRecordRun(dwStart, bytes);
        WriteFileText(dir.File("fw.mhx"), strText + SRecord(8, 0) + "\n");
        EXPECT_EQ(image.Load(dir.File("fw.mhx")), LOAD_OK);
        const Bytes block[] = {{'0'}, {'1'}, {'0', '1'}}; // command taken, ready for data, written
        for (int i = 0; i < 5 + 3 * nBlocks; ++i)
            port.QueueRead(i < 5 ? Bytes{'0'} : block[(i - 5) % 3]);
        return OpenAsDialog(port);
    }
};
} // namespace

// Ports 'S'ilent or with a 'U'nit: the progress, which port is found, and that the ports after
// it and after a stop request are not touched.
TEST(SearchThread, TriesEachPortInFivePassesUntilTheUnitAnswersOrAStopIsRequested)
{
    const struct
    {
        const char* pszPorts;
        bool bStop; // the closing dialog interrupts the first read
        std::vector<intptr_t> progress;
        bool bFound;          // at port B
        std::size_t nTouched; // the ports tried; those after them stay untouched
    } cases[] = {{"SS", false, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, false, 2},
                 {"SUS", false, {6, 13}, true, 2},
                 {"SU", true, {10}, false, 1}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszPorts);
        SRig rig;
        std::vector<CFakePort*> ports;
        for (const char* p = c.pszPorts; *p != '\0'; ++p)
        {
            ports.push_back(&rig.pLine->AddPort(std::string(1, char('A' + (p - c.pszPorts)))));
            if (*p == 'U')
                ports.back()->QueueRead({0x11});
        }
        if (c.bStop)
        {
            ports[0]->m_onOp = [](EOp op) { op == EOp::Read ? throw CSerialException(5) : void(); };
            rig.host.m_onPost = [&rig](const SWizardMessage&) { rig.host.m_bStop = true; };
        }
        EXPECT_EQ(SearchDeviceThread(rig.session, rig.image, rig.host), 0u);
        EXPECT_EQ(rig.host.Status(STATUS_PROGRESS), c.progress);
        EXPECT_EQ(rig.host.Texts().size(), c.progress.size()) << "each try names its port";
        EXPECT_EQ(rig.host.Texts().front(), "Port A");
        EXPECT_EQ(rig.host.Done(), c.bFound ? 1 : 0);
        EXPECT_EQ(rig.session.IsFound(), c.bFound);
        EXPECT_TRUE(!c.bFound || rig.session.GetCurrentPort() == &rig.session.Ports()[1]);
        EXPECT_FALSE(rig.pLine->IsOpen()) << "the download opens the port anew";
        for (std::size_t i = c.nTouched; i < ports.size(); ++i)
            EXPECT_TRUE(ports[i]->m_ops.empty()) << i;
    }
}

TEST(ProgramThread, RunProgramsEveryNonBlankBlockOfTheTop64KiB)
{
    SRig rig;
    CFakePort& port =
        rig.ReadyToProgram(rig.pLine->AddPort("A"),
                           {{0xFF0000, fwtest::Pattern(512, 9)}, {0xFFFFF0, fwtest::Pattern(16, 5)}}, 2);

    EXPECT_EQ(ProgramFlashThread(rig.session, rig.image, rig.host), 0u);

    EXPECT_EQ(rig.session.m_nProgramResult, KR_OK);
    EXPECT_THAT(rig.host.Status(STATUS_PHASE), ElementsAre(PHASE_ERASE, PHASE_BLANK_CHECK, PHASE_PROGRAM));
    EXPECT_THAT(rig.host.Texts(), IsEmpty()) << "no texts from a worker, only what happened";
    EXPECT_EQ(port.m_ops.front().dwValue, 115200u);
    Bytes last(512, 0xFF);
    const Bytes tail = fwtest::Pattern(16, 5);
    std::copy(tail.begin(), tail.end(), last.end() - 16);
    const std::vector<Bytes> writes = port.Writes(); // ping, erase, blank check, then two blocks
    ASSERT_EQ(writes.size(), 7u);
    EXPECT_EQ(writes[3], (Bytes{0x08, 0x00, 0x00, 0xFF}));
    EXPECT_EQ(Bytes(writes[4].begin(), writes[4].end() - 2), fwtest::Pattern(512, 9));
    EXPECT_EQ(writes[5], (Bytes{0x08, 0x00, 0xFE, 0xFF}));
    EXPECT_EQ(Bytes(writes[6].begin(), writes[6].end() - 2), last);
    // One value per block of 0xFF0000..0xFFFFFF: 0 first, 65024 * 100 / 65536 = 99 last.
    const std::vector<intptr_t> progress = rig.host.Status(STATUS_PROGRESS, PHASE_PROGRAM);
    ASSERT_EQ(progress.size(), 128u);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 99);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(rig.host.Done(), 0);
    EXPECT_TRUE(std::all_of(rig.host.m_messages.begin(), rig.host.m_messages.end(),
                            [](const SWizardMessage& msg) { return msg.nSession == 0; }))
        << "the runner, not the worker, marks the session";
}

// Runs that end early: the result, the writes sent (ping 1, erase 2, blank check 3, block
// command and data 4 and 5) and the phases begun.
TEST(ProgramThread, RunsThatEndEarlyReportTheirResult)
{
    const struct
    {
        const char* pszName;
        bool bKernel; // false: nothing answers
        uint32_t dwImageBlockSize;
        int nStopAtBlock, nResult; // nStopAtBlock 0: never
        std::size_t nWrites, nPhases;
    } runs[] = {
        {"no answer to the ping", false, 512, 0, KR_NO_ANSWER, 1, 0},
        {"stop before the second block", true, 512, 2, KR_NO_ANSWER, 5, 3},
        // An image in other blocks than the kernel's would be read past the block buffer.
        {"image in 1 KiB blocks", true, 1024, 0, KR_NO_IMAGE, 3, 3},
    };
    for (const auto& run : runs)
    {
        SCOPED_TRACE(run.pszName);
        SRig rig;
        CFakePort& port = rig.pLine->AddPort("A");
        run.bKernel ? rig.ReadyToProgram(port, THREE_BLOCKS, 3) : rig.OpenAsDialog(port);
        rig.image.SetBlockSize(run.dwImageBlockSize);
        rig.host.m_onPost = [&rig, &run](const SWizardMessage& msg)
        {
            if (run.nStopAtBlock != 0 && msg.wParam == STATUS_PROGRESS &&
                rig.host.Status(STATUS_PROGRESS, PHASE_PROGRAM).size() == std::size_t(run.nStopAtBlock - 1))
                rig.host.m_bStop = true;
        };

        ProgramFlashThread(rig.session, rig.image, rig.host);

        EXPECT_EQ(rig.session.m_nProgramResult, run.nResult);
        EXPECT_EQ(port.Writes().size(), run.nWrites);
        EXPECT_EQ(rig.host.Status(STATUS_PHASE).size(), run.nPhases);
        EXPECT_EQ(rig.host.Done(), 0);
        EXPECT_EQ(rig.atDone, rig.Results());
    }
}

TEST(ProgramProgress, NeverWrapsNorDividesByZero)
{
    EXPECT_EQ(ProgramProgress(0, 0, 0xFFFFFFFF), 0u); // the size wraps to 0 in 32 bits
    EXPECT_EQ(ProgramProgress(0xFFFFFE00, 0, 0xFFFFFFFF), 99u);
    EXPECT_EQ(ProgramProgress(0x0FFFFE00, 0, 0x0FFFFFFF), 99u); // (address - low) * 100 wraps
}

namespace
{
constexpr uint32_t BLOCK_A = 0xFF0000, BLOCK_C = 0xFF0400; // 0xFF0200 stays blank

struct CProgressLog : IProgressSink
{
    void OnProgress(int nPercent) override { m_values.push_back(nPercent); }
    std::vector<int> m_values;
};

// The kernel's answer to a read command, one chunk per read: status '0', '1', then the
// block, its CRC and '1'.
void QueueReadReply(CFakePort& port, Bytes block, bool bBadCrc = false)
{
    const uint16_t wCrc = Crc16(block.data(), static_cast<uint32_t>(block.size()));
    block.push_back(static_cast<uint8_t>(wCrc >> 8));
    block.push_back(static_cast<uint8_t>(wCrc ^ (bBadCrc ? 1 : 0)));
    block.push_back('1');
    port.QueueRead({'0'});
    port.QueueRead({'1'});
    port.QueueRead(block);
}

struct SCase
{
    const char* pszName;
    int nFlipAt = -1;         // byte of block C the flash holds with bit 0 flipped
    int nBadCrcReads = 0;     // reads of block C whose CRC does not match
    bool bSilentC = false;    // no answer to the read of block C
    bool bStopAfterA = false; // a stop request once block A was read
    KernelResult nResult = KR_OK;
    uint32_t dwFirstDifference = 0;
    uint32_t dwBlocksRead = 2;
    int nReadCommands = 2;
};

// clang-format off
const SCase CASES[] = {
    {.pszName = "SameAsTheImage"},
    {.pszName = "FirstDifferingByteIsNamed", .nFlipAt = 0x1FF, .nResult = KR_VERIFY_FAILED, .dwFirstDifference = BLOCK_C + 0x1FF},
    {.pszName = "CrcMismatchIsReadAgainOnce", .nBadCrcReads = 1, .nReadCommands = 3},
    {.pszName = "CrcMismatchTwiceFails", .nBadCrcReads = 2, .nResult = KR_CRC_ERROR, .dwBlocksRead = 1, .nReadCommands = 3},
    {.pszName = "SilentUnitFails", .bSilentC = true, .nResult = KR_NO_ANSWER, .dwBlocksRead = 1},
    {.pszName = "StopRequestEndsBetweenBlocks", .bStopAfterA = true, .nResult = KR_NO_ANSWER, .dwBlocksRead = 1, .nReadCommands = 1},
};
// clang-format on

using VerifyTest = ::testing::TestWithParam<SCase>;
TEST_P(VerifyTest, ReadsBackTheProgrammedBlocks)
{
    const SCase& c = GetParam();
    const Bytes a = fwtest::Pattern(512, 1);
    const Bytes cTail = fwtest::Pattern(100, 2); // the rest of block C is erased flash
    CTempDir dir;
    WriteFileText(dir.File("fw.mhx"),
                  SRecordRun(BLOCK_A, a) + SRecordRun(BLOCK_C + 412, cTail) + "S804000000FB\n");
    CFirmwareImage image;
    ASSERT_EQ(image.Load(dir.File("fw.mhx")), LOAD_OK);

    CFakeClock clock;
    CFakePort port(&clock);
    CFlashKernel kernel;
    kernel.AttachPort(&port);
    kernel.SetClock(&clock);
    Bytes flashC(512, 0xFF);
    std::copy(cTail.begin(), cTail.end(), flashC.begin() + 412);
    if (c.nFlipAt >= 0)
        flashC[static_cast<size_t>(c.nFlipAt)] ^= 0x01;
    QueueReadReply(port, a);
    for (int i = 0; i < c.nBadCrcReads; ++i)
        QueueReadReply(port, flashC, true);
    if (!c.bSilentC && c.nBadCrcReads < 2)
        QueueReadReply(port, flashC);
    CProgressLog progress;
    const SVerifyResult result =
        VerifyImage(kernel, image, &progress, [&] { return c.bStopAfterA && progress.m_values.size() == 2; });

    EXPECT_EQ(result.nResult, c.nResult);
    EXPECT_EQ(result.dwFirstDifference, c.dwFirstDifference);
    EXPECT_EQ(result.dwBlocksRead, c.dwBlocksRead);
    EXPECT_EQ(port.Writes().size(), std::size_t(c.nReadCommands));
    for (const Bytes& write : port.Writes())
        EXPECT_TRUE(write.size() == 4 && write[0] == KCMD_READ_BLOCK && write[2] != 0x02)
            << "a blank block was read";
    EXPECT_EQ(kernel.GetCrcRetries(), c.nBadCrcReads > 0 ? 1u : 0u);
    // The programming step's percentages: one per block of 0xFF0000..0xFF05FF.
    const std::vector<int> all = {0, 33, 66};
    EXPECT_EQ(progress.m_values, std::vector<int>(all.begin(), all.begin() + (c.bStopAfterA ? 2 : 3)));
}

INSTANTIATE_TEST_SUITE_P(Verify, VerifyTest, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<SCase>& row) { return row.param.pszName; });
} // namespace
