#include "target/FlashKernel.h"

#include "FakePort.h"
#include "target/Crc16.h"
#include "target/PerfTimer.h"

#include <gtest/gtest.h>

#include <numeric>

using EOp = CFakePort::EOp;

namespace
{
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

    CFakeClock m_clock;
    CFakePort m_port{&m_clock};
    CFlashKernel m_kernel;
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

TEST_F(FlashKernelTest, BlockRepliesStatusBytesAndTheOneRetryAfterACrcMismatch)
{
    Bytes block(514); // pattern bytes and their CRC, high byte first
    std::iota(block.begin(), block.begin() + 512, uint8_t{3});
    const uint16_t wCrc = Crc16(block.data(), 512);
    block[512] = static_cast<uint8_t>(wCrc >> 8);
    block[513] = static_cast<uint8_t>(wCrc);
    Bytes good(515, '1'); // a read block's reply: data, CRC, '1'
    std::copy(block.begin(), block.end(), good.begin());
    Bytes badCrc = good, badMark = good;
    badCrc[513] ^= 0x01;
    badMark[514] = '0';
    const Bytes shortReply(good.begin(), good.end() - 1);
    // Write or read, the replies to the reads in order, the result, how often the command frame went
    // out. A write's CRC retry and own failure are rows of the fault matrix; these the simulator cannot send.
    const std::tuple<bool, std::vector<Bytes>, KernelResult, std::size_t> cases[] = {
        {true, {{'0'}, {'0'}, {'0', '1'}}, KR_OK, 1},
        {true, {{'0'}, {'0'}, {'1', '0'}}, KR_BAD_REPLY, 1},
        {true, {{'0'}, {'0'}, {'5', '1'}}, KR_BAD_REPLY, 1},
        {true, {{'0'}, {'0'}, {'0', '5'}}, KR_BAD_REPLY, 1},
        {true, {{'0'}, {'0'}, {'0'}}, KR_BAD_REPLY, 1},
        {true, {{'0'}, {'0'}, {}}, KR_BAD_REPLY, 1},
        {true, {{'4'}}, KR_INVALID_COMMAND, 1},
        {true, {{'0'}, {'4'}}, KR_NOT_READY, 1}, // a write's second status byte: "not ready", whatever it is
        {true, {{'0'}, {}}, KR_NOT_READY, 1},
        {false, {{'0'}, {'1'}, good}, KR_OK, 1},
        {false, {{'0'}, {'4'}}, KR_INVALID_COMMAND, 1}, // a read's second status byte is classified
        {false, {{'0'}, {'2'}}, KR_UNKNOWN_ERROR, 1},
        {false, {{'4'}}, KR_INVALID_COMMAND, 1},
        {false, {{'0'}, {'1'}, badCrc, {'0'}, {'1'}, good}, KR_OK, 2},
        {false, {{'0'}, {'1'}, badCrc, {'0'}, {'1'}, badCrc, {'0'}, {'1'}, good}, KR_CRC_ERROR, 2},
        {false, {{'0'}, {'1'}, badMark}, KR_BAD_REPLY, 1},
        {false, {{'0'}, {'1'}, shortReply}, KR_SHORT_READ, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(&c - cases);
        const auto& [bWrite, replies, result, nCommands] = c;
        CFakePort port(&m_clock);
        Use(port);
        for (const Bytes& reply : replies)
            port.QueueRead(reply);
        Bytes buf = bWrite ? block : Bytes(515, 0x00);
        buf.resize(515, 0xEE);
        buf[512] = buf[513] = 0xEE; // the kernel puts the CRC there itself
        std::vector<Bytes> expected;
        if (bWrite)
        {
            EXPECT_EQ(m_kernel.WriteFlashBlock(buf.data(), 0x1000, 512), result);
            for (std::size_t n = 0; n < nCommands; ++n)
            {
                expected.push_back({0x08, 0x00, 0x10, 0x00});
                if (replies.size() > 2)
                    expected.push_back(block); // flushed, and unchanged for the retry
            }
            const auto kinds = port.Kinds();
            EXPECT_TRUE(replies.size() <= 2 || (kinds.size() > 5 && kinds[5] == EOp::Flush));
        }
        else
        {
            EXPECT_EQ(m_kernel.ReadFlashBlock(buf.data(), 0xFF0200), result);
            expected.assign(nCommands, Bytes{0x28, 0x00, 0x02, 0xFF});
            EXPECT_TRUE(result != KR_OK || buf == good);
        }
        EXPECT_EQ(port.Writes(), expected);
    }
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x31C3);
}

TEST(FlashKernelResultText, EveryCodeHasItsText)
{
    std::string strAll;
    for (int nCode = -1; nCode <= 13; ++nCode)
        strAll += std::string(CFlashKernel::ResultText(nCode)) + "|";
    EXPECT_EQ(strAll,
              "||No answer from target.|Target not ready.|Received invalid command.|Unknown error occured."
              "|Unknown error occured.|Received invalid command.|Error transferring data."
              "|Error transferring data.|CRC error.||No answer from target.|Flash differs from the image.||");
}

// The program only reads a timer started when it is made (the blank check's limit).
TEST(PerfTimer, FrequencyZeroCountsTicksAsMilliseconds)
{
    CFakeClock clock(0);
    CPerfTimer timer(true, &clock);
    clock.AdvanceTicks(5);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 5000.0);
    EXPECT_EQ(timer.Frequency(), 1);
}

// Every reading of the counter costs 2 ticks: the cost of a start/stop pair is measured on the
// timer's own clock and taken off, never added, and never makes a time negative.
TEST(PerfTimer, StartStopCostIsTakenOffOnTheTimersOwnClock)
{
    CFakeClock clock(1000);
    clock.m_nTicksPerQuery = 2;
    CPerfTimer timer(true, &clock);
    EXPECT_EQ(timer.Overhead(), -2);
    clock.AdvanceTicks(100);
    timer.Stop();
    EXPECT_EQ(timer.ElapsedMilliseconds(), 100.0);
    CPerfTimer instant(true, &clock);
    instant.Stop();
    EXPECT_EQ(instant.ElapsedMilliseconds(), 0.0);
}
