#include "target/FlashKernel.h"

#include "FakePort.h"
#include "target/Crc16.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using EOp = CFakePort::EOp;

namespace
{
class CRecordingSink : public IProgressSink
{
public:
    void OnProgress(int nPercent) override { m_percents.push_back(nPercent); }
    std::vector<int> m_percents;
};

class FlashKernelTest : public ::testing::Test
{
protected:
    FlashKernelTest() { Use("MB90F345"); }

    void Use(const char* pszChip)
    {
        SChipDef chip;
        chip.SelectChip(pszChip);
        m_kernel.AttachPort(&m_port);
        m_kernel.SetChip(chip);
        m_kernel.SetClock(&m_clock);
    }

    // A 512-byte block with room for its CRC, filled with a pattern.
    static Bytes Block()
    {
        Bytes block(KERNEL_BLOCK_SIZE + 2, 0xEE);
        for (uint32_t i = 0; i < KERNEL_BLOCK_SIZE; ++i)
        {
            block[i] = static_cast<uint8_t>(i * 7);
        }
        return block;
    }

    CFakeClock m_clock;
    CFakePort m_port{&m_clock};
    CFlashKernel m_kernel;
    CRecordingSink m_sink;
};
} // namespace

TEST_F(FlashKernelTest, CommandFramesAndStatusBytes)
{
    m_port.PreloadInput({'0'}); // stale: the command purges it
    m_port.QueueRead({'1'});
    EXPECT_EQ(m_kernel.Ping(), KR_OK);
    EXPECT_EQ(m_port.Kinds(), (std::vector<EOp>{EOp::Purge, EOp::Write, EOp::Read}));
    m_port.QueueRead({'0'});
    EXPECT_EQ(m_kernel.SendCommand(KCMD_ERASE, 0xF80000), KR_OK);
    m_port.QueueRead({'0'});
    EXPECT_EQ(m_kernel.SendCommand(KCMD_BLANK_CHECK, 0xFF0000), KR_OK);
    EXPECT_EQ(m_port.Writes(),
              (std::vector<Bytes>{{0xE8}, {0x38, 0x00, 0x00, 0xF8}, {0x48, 0x00, 0x00, 0xFF}}));
    EXPECT_EQ(m_port.Count(EOp::Flush), 0u);

    const std::pair<Bytes, KernelResult> statuses[] = {{{'0'}, KR_OK},
                                                       {{'1'}, KR_OK},
                                                       {{'4'}, KR_INVALID_COMMAND},
                                                       {{'2'}, KR_UNKNOWN_ERROR},
                                                       {{0x00}, KR_UNKNOWN_ERROR},
                                                       {{}, KR_NO_ANSWER}};
    for (const auto& [reply, expected] : statuses)
    {
        m_port.QueueRead(reply);
        EXPECT_EQ(m_kernel.SendCommand(KCMD_WRITE_BLOCK, 0), expected);
    }
    m_port.m_ops.clear();
    m_port.PreloadInput({'1'}); // ReadStatus alone takes what is waiting
    EXPECT_EQ(m_kernel.ReadStatus(), KR_OK);
    EXPECT_EQ(m_port.Count(EOp::Purge), 0u);

    CFlashKernel detached;
    EXPECT_EQ(detached.Ping(), KR_NO_ANSWER);
}

TEST_F(FlashKernelTest, EraseThatNeverEndsTimesOutAfterThirtyPolls)
{
    m_port.QueueRead({'0'});
    EXPECT_EQ(m_kernel.EraseFlash(&m_sink), KR_TIMEOUT);
    std::vector<int> expected;
    for (int i = 0; i < 30; ++i)
    {
        expected.push_back(i * 100 / 30);
    }
    expected.push_back(100);
    EXPECT_EQ(m_sink.m_percents, expected);
    EXPECT_EQ(expected[29], 96);
    EXPECT_EQ(m_clock.m_sleeps, std::vector<uint32_t>(30, 1000));
    EXPECT_EQ(m_port.Count(EOp::Read), 31u);
    EXPECT_EQ(m_port.Count(EOp::Write), 1u);
}

TEST_F(FlashKernelTest, EraseEndsAtItsCompletionByte)
{
    struct SCase
    {
        int nSilentPolls;
        Bytes completion;
        KernelResult expected;
    };
    const SCase cases[] = {{0, {'0'}, KR_OK}, {29, {'1'}, KR_OK}, {4, {'4'}, KR_INVALID_COMMAND}};
    for (const SCase& c : cases)
    {
        CFakePort port(&m_clock);
        CRecordingSink sink;
        m_kernel.AttachPort(&port);
        port.QueueRead({'0'});
        port.QueueSilence(c.nSilentPolls);
        port.QueueRead(c.completion);
        EXPECT_EQ(m_kernel.EraseFlash(&sink), c.expected);
        ASSERT_EQ(sink.m_percents.size(), static_cast<std::size_t>(c.nSilentPolls + 2));
        EXPECT_EQ(sink.m_percents.back(), 100);
        EXPECT_EQ(port.UnusedScript(), 0u);
    }

    // A refused command ends at once, without waits or progress.
    m_clock.m_sleeps.clear();
    m_kernel.AttachPort(&m_port);
    m_port.QueueRead({'4'});
    EXPECT_EQ(m_kernel.EraseFlash(nullptr), KR_INVALID_COMMAND);
    EXPECT_TRUE(m_clock.m_sleeps.empty());
}

TEST_F(FlashKernelTest, BlankCheckReportsElapsedShareOfFiveSeconds)
{
    Use("MB90F362");
    m_port.QueueRead({'0'});
    m_port.SetShortReadMs(500);
    EXPECT_EQ(m_kernel.BlankCheckFlash(&m_sink), KR_TIMEOUT);
    // Polls at 0, 500, ... 5000 ms; the one ending at 5500 ms is the last.
    std::vector<int> expected;
    for (int i = 0; i <= 10; ++i)
    {
        expected.push_back(i * 10);
    }
    expected.push_back(100);
    EXPECT_EQ(m_sink.m_percents, expected);
    EXPECT_EQ(m_port.Writes()[0], (Bytes{0x48, 0x00, 0x00, 0xFF}));
    EXPECT_TRUE(m_clock.m_sleeps.empty());

    // At the port's own read time-out (800 ms a poll), completing at the third poll.
    CFakePort port(&m_clock);
    CRecordingSink sink;
    m_kernel.AttachPort(&port);
    port.QueueRead({'0'});
    port.QueueSilence(2);
    port.QueueRead({'0'});
    EXPECT_EQ(m_kernel.BlankCheckFlash(&sink), KR_OK);
    EXPECT_EQ(sink.m_percents, (std::vector<int>{0, 16, 32, 100}));

    // A poll that itself outlasts the limit is the only one.
    CFakePort slow(&m_clock);
    slow.SetShortReadMs(6000);
    slow.QueueRead({'0'});
    m_kernel.AttachPort(&slow);
    EXPECT_EQ(m_kernel.BlankCheckFlash(nullptr), KR_TIMEOUT);
    EXPECT_EQ(slow.Count(EOp::Read), 2u);
}

TEST_F(FlashKernelTest, WriteBlockSendsDataWithCrcAndKeepsTheBlock)
{
    Bytes block = Block();
    const Bytes original = block;
    m_port.QueueRead({'0'});
    m_port.QueueRead({'1'});
    m_port.QueueRead({'0', '1'});
    EXPECT_EQ(m_kernel.WriteFlashBlock(block.data(), 0xFF8000, KERNEL_BLOCK_SIZE), KR_OK);

    const uint16_t wCrc = Crc16(original.data(), KERNEL_BLOCK_SIZE);
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + KERNEL_BLOCK_SIZE, block.begin()));
    EXPECT_EQ(block[512], wCrc >> 8);
    EXPECT_EQ(block[513], wCrc & 0xFF);
    const auto writes = m_port.Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0], (Bytes{0x08, 0x00, 0x80, 0xFF}));
    EXPECT_EQ(writes[1], block);
    EXPECT_EQ(m_port.Kinds(), (std::vector<EOp>{EOp::Purge, EOp::Write, EOp::Read, EOp::Read, EOp::Write,
                                                EOp::Flush, EOp::Read}));
    EXPECT_EQ(m_port.m_ops.back().dwValue, 2u);
}

TEST_F(FlashKernelTest, WriteBlockReplyTable)
{
    const std::pair<Bytes, KernelResult> replies[] = {
        {{'0', '4'}, KR_TRANSFER_ERROR}, {{'1', '0'}, KR_BAD_REPLY}, {{'5', '1'}, KR_BAD_REPLY},
        {{'0'}, KR_BAD_REPLY},           {{}, KR_BAD_REPLY},         {{'0', '5'}, KR_BAD_REPLY}};
    for (const auto& [reply, expected] : replies)
    {
        CFakePort port(&m_clock);
        m_kernel.AttachPort(&port);
        Bytes block = Block();
        port.QueueRead({'0'});
        port.QueueRead({'0'});
        port.QueueRead(reply);
        EXPECT_EQ(m_kernel.WriteFlashBlock(block.data(), 0, KERNEL_BLOCK_SIZE), expected);
        EXPECT_EQ(port.Writes().size(), 2u) << "no retry";
        EXPECT_TRUE(std::equal(block.begin(), block.begin() + 512, Block().begin()));
    }

    // Refusals before the data phase: the second status is "not ready" whatever it says.
    const std::pair<Bytes, Bytes> statuses[] = {{{'4'}, {}}, {{'0'}, {'4'}}, {{'0'}, {}}};
    const KernelResult results[] = {KR_INVALID_COMMAND, KR_NOT_READY, KR_NOT_READY};
    for (int i = 0; i < 3; ++i)
    {
        CFakePort port(&m_clock);
        m_kernel.AttachPort(&port);
        Bytes block = Block();
        port.QueueRead(statuses[i].first);
        port.QueueRead(statuses[i].second);
        EXPECT_EQ(m_kernel.WriteFlashBlock(block.data(), 0, KERNEL_BLOCK_SIZE), results[i]);
        EXPECT_EQ(port.Writes().size(), 1u) << "no data sent";
    }
}

TEST_F(FlashKernelTest, WriteBlockRetriesACrcErrorExactlyOnce)
{
    for (const bool bSecondOk : {true, false})
    {
        CFakePort port(&m_clock);
        m_kernel.AttachPort(&port);
        Bytes block = Block();
        for (const Bytes& reply : {Bytes{'5'}, bSecondOk ? Bytes{'0', '1'} : Bytes{'5'}, Bytes{'5'}})
        {
            port.QueueRead({'0'});
            port.QueueRead({'0'});
            port.QueueRead(reply);
        }
        EXPECT_EQ(m_kernel.WriteFlashBlock(block.data(), 0x1000, KERNEL_BLOCK_SIZE),
                  bSecondOk ? KR_OK : KR_CRC_ERROR);
        const auto writes = port.Writes();
        ASSERT_EQ(writes.size(), 4u);
        EXPECT_EQ(writes[0], writes[2]);
        EXPECT_EQ(writes[1], writes[3]) << "the same block goes again";
    }
}

TEST_F(FlashKernelTest, ReadBlockChecksReplyAndRetriesCrcOnce)
{
    Bytes good(READ_BLOCK_REPLY_SIZE);
    for (uint32_t i = 0; i < KERNEL_BLOCK_SIZE; ++i)
    {
        good[i] = static_cast<uint8_t>(i ^ 0x5A);
    }
    const uint16_t wCrc = Crc16(good.data(), KERNEL_BLOCK_SIZE);
    good[512] = static_cast<uint8_t>(wCrc >> 8);
    good[513] = static_cast<uint8_t>(wCrc);
    good[514] = '1';
    Bytes badCrc = good;
    badCrc[513] ^= 1;
    Bytes badEnd = good;
    badEnd[514] = '0';

    struct SCase
    {
        std::vector<Bytes> replies; // the data part of each attempt
        KernelResult expected;
        std::size_t nCommands;
    };
    const SCase cases[] = {{{good}, KR_OK, 1},
                           {{badCrc, good}, KR_OK, 2},
                           {{badCrc, badCrc, good}, KR_CRC_ERROR, 2},
                           {{badEnd}, KR_BAD_REPLY, 1},
                           {{Bytes(good.begin(), good.end() - 1)}, KR_SHORT_READ, 1}};
    for (const SCase& c : cases)
    {
        CFakePort port(&m_clock);
        m_kernel.AttachPort(&port);
        for (const Bytes& reply : c.replies)
        {
            port.QueueRead({'0'});
            port.QueueRead({'1'});
            port.QueueRead(reply);
        }
        Bytes buffer(READ_BLOCK_REPLY_SIZE);
        EXPECT_EQ(m_kernel.ReadFlashBlock(buffer.data(), 0xFF0200), c.expected);
        EXPECT_EQ(port.Writes().size(), c.nCommands);
        EXPECT_EQ(port.Writes()[0], (Bytes{0x28, 0x00, 0x02, 0xFF}));
        if (c.expected == KR_OK)
        {
            EXPECT_EQ(buffer, good);
        }
    }

    m_kernel.AttachPort(&m_port);
    m_port.QueueRead({'0'});
    m_port.QueueRead({'4'});
    Bytes buffer(READ_BLOCK_REPLY_SIZE);
    EXPECT_EQ(m_kernel.ReadFlashBlock(buffer.data(), 0), KR_INVALID_COMMAND);
}

TEST(FlashKernelResultText, TextsPerResult)
{
    const std::pair<int, const char*> texts[] = {{KR_OK, ""},
                                                 {10, ""},
                                                 {-1, ""},
                                                 {12, ""},
                                                 {KR_NO_ANSWER, "No answer from target."},
                                                 {KR_TIMEOUT, "No answer from target."},
                                                 {KR_NOT_READY, "Target not ready."},
                                                 {KR_INVALID_COMMAND, "Received invalid command."},
                                                 {KR_BAD_REPLY, "Received invalid command."},
                                                 {KR_UNKNOWN_ERROR, "Unknown error occured."},
                                                 {KR_NO_IMAGE, "Unknown error occured."},
                                                 {KR_TRANSFER_ERROR, "Error transferring data."},
                                                 {KR_SHORT_READ, "Error transferring data."},
                                                 {KR_CRC_ERROR, "CRC error."}};
    for (const auto& [nResult, pszText] : texts)
    {
        EXPECT_STREQ(CFlashKernel::ResultText(nResult), pszText) << nResult;
    }
}

TEST_F(FlashKernelTest, PortFailuresPropagate)
{
    m_port.QueueRead({'0'});
    int nReads = 0;
    m_port.m_onOp = [&nReads](EOp op)
    {
        if (op == EOp::Read && ++nReads == 3)
        {
            throw std::runtime_error("line gone");
        }
    };
    EXPECT_THROW(m_kernel.EraseFlash(&m_sink), std::runtime_error);
}
