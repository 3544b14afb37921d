#include "target/FlashKernel.h"

#include "FakePort.h"
#include "target/Crc16.h"

#include <gtest/gtest.h>

#include <numeric>

using EOp = CFakePort::EOp;

namespace
{
struct CRecordingSink : IProgressSink
{
    void OnProgress(int nPercent) override { m_percents.push_back(nPercent); }
    std::vector<int> m_percents;
};

class FlashKernelTest : public ::testing::Test
{
protected:
    FlashKernelTest() { Use(m_port); }
    void Use(CFakePort& port)
    {
        SChipDef chip;
        chip.SelectChip("MB90F345");
        m_kernel.AttachPort(&port);
        m_kernel.SetChip(chip);
        m_kernel.SetClock(&m_clock);
    }
    static Bytes Block() // 512 pattern bytes and room for the CRC
    {
        Bytes block(512 + 2, 0xEE);
        std::iota(block.begin(), block.begin() + 512, uint8_t{3});
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
    EXPECT_EQ(m_kernel.SendCommand(KCMD_BLANK_CHECK, 0xFF0102), KR_OK);
    EXPECT_EQ(m_port.Writes(),
              (std::vector<Bytes>{{0xE8}, {0x38, 0x00, 0x00, 0xF8}, {0x48, 0x02, 0x01, 0xFF}}));

    const Bytes replies[] = {{'0'}, {'1'}, {'4'}, {'2'}, {0x00}, {}};
    const KernelResult results[] = {
        KR_OK, KR_OK, KR_INVALID_COMMAND, KR_UNKNOWN_ERROR, KR_UNKNOWN_ERROR, KR_NO_ANSWER};
    for (std::size_t i = 0; i < std::size(replies); ++i)
    {
        m_port.QueueRead(replies[i]);
        EXPECT_EQ(m_kernel.SendCommand(KCMD_WRITE_BLOCK, 0), results[i]) << i;
    }
}

TEST_F(FlashKernelTest, EraseThatNeverEndsTimesOutAfterThirtyPolls)
{
    m_port.QueueRead({'0'});
    EXPECT_EQ(m_kernel.EraseFlash(&m_sink), KR_TIMEOUT);
    std::vector<int> expected;
    for (int i = 0; i <= 30; ++i)
    {
        expected.push_back(i * 100 / 30); // 0, 3, 6 .. 96, 100
    }
    EXPECT_EQ(m_sink.m_percents, expected);
    EXPECT_EQ(m_clock.m_sleeps, std::vector<uint32_t>(30, 1000));
}

TEST_F(FlashKernelTest, BlankCheckReportsElapsedShareOfFiveSeconds)
{
    m_port.QueueRead({'0'});
    m_port.m_shortReadMs = 500;
    EXPECT_EQ(m_kernel.BlankCheckFlash(&m_sink), KR_TIMEOUT);
    // Polls at 0, 500, ... 5000 ms; the one ending at 5500 ms is the last.
    EXPECT_EQ(m_sink.m_percents, (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100}));
    EXPECT_TRUE(m_clock.m_sleeps.empty());
}

// Each case: the replies to the reads in order, the result, and the command frames sent.
struct SBlockCase
{
    std::vector<Bytes> replies;
    KernelResult result;
    std::size_t nCommands;
};

TEST_F(FlashKernelTest, WriteBlockRepliesAndTheOneRetryAfterACrcError)
{
    Bytes sent = Block();
    const uint16_t wCrc = Crc16(sent.data(), 512);
    sent[512] = static_cast<uint8_t>(wCrc >> 8);
    sent[513] = static_cast<uint8_t>(wCrc);
    const SBlockCase cases[] = {
        {{{'0'}, {'0'}, {'0', '1'}}, KR_OK, 1},
        {{{'0'}, {'0'}, {'0', '4'}}, KR_TRANSFER_ERROR, 1},
        {{{'0'}, {'0'}, {'1', '0'}}, KR_BAD_REPLY, 1},
        {{{'0'}, {'0'}, {'5', '1'}}, KR_BAD_REPLY, 1},
        {{{'0'}, {'0'}, {'0', '5'}}, KR_BAD_REPLY, 1},
        {{{'0'}, {'0'}, {'0'}}, KR_BAD_REPLY, 1},
        {{{'0'}, {'0'}, {}}, KR_BAD_REPLY, 1},
        {{{'4'}}, KR_INVALID_COMMAND, 1},
        {{{'0'}, {'4'}}, KR_NOT_READY, 1}, // the second status byte is "not ready", whatever it is
        {{{'0'}, {}}, KR_NOT_READY, 1},
        {{{'0'}, {'0'}, {'5'}, {'0'}, {'0'}, {'0', '1'}}, KR_OK, 2},
        {{{'0'}, {'0'}, {'5'}, {'0'}, {'0'}, {'5'}, {'0'}, {'0'}, {'0', '1'}}, KR_CRC_ERROR, 2},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
    {
        SCOPED_TRACE(i);
        CFakePort port(&m_clock);
        Use(port);
        for (const Bytes& reply : cases[i].replies)
        {
            port.QueueRead(reply);
        }
        Bytes block = Block();
        EXPECT_EQ(m_kernel.WriteFlashBlock(block.data(), 0x1000, 512), cases[i].result);
        std::vector<Bytes> expected;
        for (std::size_t n = 0; n < cases[i].nCommands; ++n)
        {
            expected.push_back({0x08, 0x00, 0x10, 0x00});
            if (cases[i].replies.size() > 2)
            {
                expected.push_back(sent); // the block with its CRC, unchanged for the retry
            }
        }
        EXPECT_EQ(port.Writes(), expected);
        EXPECT_TRUE(cases[i].replies.size() <= 2 || port.Kinds()[5] == EOp::Flush);
    }
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x31C3);
}

TEST_F(FlashKernelTest, ReadBlockChecksBothStatusBytesTheMarkAndRetriesACrcMismatchOnce)
{
    Bytes good = Block();
    const uint16_t wCrc = Crc16(good.data(), 512);
    good[512] = static_cast<uint8_t>(wCrc >> 8);
    good[513] = static_cast<uint8_t>(wCrc);
    good.push_back('1');
    Bytes badCrc = good;
    badCrc[513] ^= 0x01;
    Bytes badMark = good;
    badMark[514] = '0';
    const Bytes shortReply(good.begin(), good.end() - 1);
    const SBlockCase cases[] = {
        {{{'0'}, {'1'}, good}, KR_OK, 1},
        {{{'0'}, {'4'}}, KR_INVALID_COMMAND, 1}, // the second status byte is classified too
        {{{'0'}, {'2'}}, KR_UNKNOWN_ERROR, 1},
        {{{'4'}}, KR_INVALID_COMMAND, 1},
        {{{'0'}, {'1'}, badCrc, {'0'}, {'1'}, good}, KR_OK, 2},
        {{{'0'}, {'1'}, badCrc, {'0'}, {'1'}, badCrc, {'0'}, {'1'}, good}, KR_CRC_ERROR, 2},
        {{{'0'}, {'1'}, badMark}, KR_BAD_REPLY, 1},
        {{{'0'}, {'1'}, shortReply}, KR_SHORT_READ, 1},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
    {
        SCOPED_TRACE(i);
        CFakePort port(&m_clock);
        Use(port);
        for (const Bytes& reply : cases[i].replies)
        {
            port.QueueRead(reply);
        }
        Bytes buf(515, 0x00);
        EXPECT_EQ(m_kernel.ReadFlashBlock(buf.data(), 0xFF0200), cases[i].result);
        EXPECT_EQ(port.Writes(), std::vector<Bytes>(cases[i].nCommands, Bytes{0x28, 0x00, 0x02, 0xFF}));
        EXPECT_TRUE(cases[i].result != KR_OK || buf == good);
    }
}

TEST(FlashKernelResultText, EveryCodeHasItsText)
{
    const char* texts[] = {"",
                           "No answer from target.",
                           "Target not ready.",
                           "Received invalid command.",
                           "Unknown error occured.",
                           "Unknown error occured.",
                           "Received invalid command.",
                           "Error transferring data.",
                           "Error transferring data.",
                           "CRC error.",
                           "",
                           "No answer from target.",
                           ""};
    for (int nCode = 0; nCode < static_cast<int>(std::size(texts)); ++nCode)
    {
        EXPECT_STREQ(CFlashKernel::ResultText(nCode), texts[nCode]) << nCode;
    }
    EXPECT_STREQ(CFlashKernel::ResultText(-1), "");
}
