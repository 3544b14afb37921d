#include "target/FlashKernel.h"

#include "FakePort.h"
#include "target/Crc16.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>

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
        Bytes block(KERNEL_BLOCK_SIZE + 2, 0xEE);
        std::iota(block.begin(), block.begin() + KERNEL_BLOCK_SIZE, uint8_t{3});
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

TEST_F(FlashKernelTest, WriteBlockReplyTable)
{
    // Status of the command, the ready status, the block's reply; result; writes sent.
    const std::tuple<std::string, std::string, std::string, KernelResult, std::size_t> cases[] = {
        {"0", "0", "04", KR_TRANSFER_ERROR, 2}, {"0", "0", "10", KR_BAD_REPLY, 2},
        {"0", "0", "51", KR_BAD_REPLY, 2},      {"0", "0", "0", KR_BAD_REPLY, 2},
        {"0", "0", "", KR_BAD_REPLY, 2},        {"0", "0", "05", KR_BAD_REPLY, 2},
        {"4", "", "", KR_INVALID_COMMAND, 1},   {"0", "4", "", KR_NOT_READY, 1},
        {"0", "", "", KR_NOT_READY, 1}};
    for (const auto& [status, ready, reply, expected, nWrites] : cases)
    {
        CFakePort port(&m_clock);
        Use(port);
        Bytes block = Block();
        for (const std::string& str : {status, ready, reply})
        {
            port.QueueRead(Bytes(str.begin(), str.end()));
        }
        EXPECT_EQ(m_kernel.WriteFlashBlock(block.data(), 0, KERNEL_BLOCK_SIZE), expected);
        EXPECT_EQ(port.Writes().size(), nWrites) << "no retry";
        EXPECT_TRUE(std::equal(block.begin(), block.begin() + 512, Block().begin()));
    }
}

TEST_F(FlashKernelTest, WriteBlockSendsDataWithCrcAndRetriesACrcErrorExactlyOnce)
{
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x31C3);
    Bytes sent = Block();
    const uint16_t wCrc = Crc16(sent.data(), KERNEL_BLOCK_SIZE);
    sent[512] = static_cast<uint8_t>(wCrc >> 8);
    sent[513] = static_cast<uint8_t>(wCrc);
    for (const bool bSecondOk : {true, false})
    {
        CFakePort port(&m_clock);
        Use(port);
        Bytes block = Block();
        for (const Bytes& reply : {Bytes{'5'}, bSecondOk ? Bytes{'0', '1'} : Bytes{'5'}, Bytes{'5'}})
        {
            port.QueueRead({'0'});
            port.QueueRead({'0'});
            port.QueueRead(reply);
        }
        EXPECT_EQ(m_kernel.WriteFlashBlock(block.data(), 0x1000, KERNEL_BLOCK_SIZE),
                  bSecondOk ? KR_OK : KR_CRC_ERROR);
        EXPECT_EQ(port.Writes(),
                  (std::vector<Bytes>{{0x08, 0x00, 0x10, 0x00}, sent, {0x08, 0x00, 0x10, 0x00}, sent}));
        EXPECT_EQ(port.Kinds()[5], EOp::Flush);
    }
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
    // The replies, one per read; the result; command frames sent.
    const std::tuple<std::vector<Bytes>, KernelResult, std::size_t> cases[] = {
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
        const auto& [replies, expected, nCommands] = cases[i];
        SCOPED_TRACE(i);
        CFakePort port(&m_clock);
        Use(port);
        for (const Bytes& reply : replies)
        {
            port.QueueRead(reply);
        }
        Bytes buf(515, 0x00);
        EXPECT_EQ(m_kernel.ReadFlashBlock(buf.data(), 0xFF0200), expected);
        EXPECT_EQ(port.Writes(), std::vector<Bytes>(nCommands, Bytes{0x28, 0x00, 0x02, 0xFF}));
        EXPECT_TRUE(expected != KR_OK || buf == good);
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
