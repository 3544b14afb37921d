// Read-back verification against a scripted kernel: which blocks are read, what a difference,
// a failing read and a stop request give, and the progress it reports.
#include "target/workers/Verify.h"

#include "firmware/FirmwareImage.h"
#include "target/Crc16.h"
#include "tests/firmware/FwTestUtil.h"
#include "tests/support/TestSupport.h"
#include "tests/target/FakePort.h"

#include <gtest/gtest.h>

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
