// The simulated unit's state machine, driven byte by byte without a pty.
#include "sim/SimDevice.h"

#include "target/Crc16.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace
{
constexpr uint32_t START = 0xF80000;
constexpr uint32_t LAST_BLOCK = 0xFFFE00;

class CEventLog : public ISimEvents
{
public:
    void OnSimEvent(ESimEvent, const std::string& strText) override { m_strText += strText + "\n"; }
    bool Mentions(const std::string& strPart) const { return m_strText.find(strPart) != std::string::npos; }
    std::string m_strText;
};

Bytes DownloadFrame(const Bytes& image, uint32_t dwAddress = 0x190)
{
    Bytes frame(5 + image.size());
    frame[1] = static_cast<uint8_t>(dwAddress >> 8);
    frame[2] = static_cast<uint8_t>(dwAddress);
    frame[3] = static_cast<uint8_t>(image.size() >> 8);
    frame[4] = static_cast<uint8_t>(image.size());
    std::copy(image.begin(), image.end(), frame.begin() + 5);
    frame.push_back(static_cast<uint8_t>(std::accumulate(frame.begin(), frame.end(), 0u)));
    return frame;
}

Bytes Command(uint8_t byCode, uint32_t dwAddress)
{
    return {byCode, static_cast<uint8_t>(dwAddress), static_cast<uint8_t>(dwAddress >> 8),
            static_cast<uint8_t>(dwAddress >> 16)};
}

Bytes BlockWithCrc(const Bytes& block)
{
    Bytes data = block;
    const uint16_t wCrc = Crc16(block.data(), static_cast<uint32_t>(block.size()));
    data.push_back(static_cast<uint8_t>(wCrc >> 8));
    data.push_back(static_cast<uint8_t>(wCrc));
    return data;
}

class SimDeviceTest : public ::testing::Test
{
protected:
    void Make(SSimFaults faults = {})
    {
        SSimConfig config;
        config.faults = std::move(faults);
        config.chip.SelectChip("MB90F345");
        config.dwEraseMs = 1500;
        config.dwBlankMs = 300;
        config.expectedKernel.resize(912);
        std::iota(config.expectedKernel.begin(), config.expectedKernel.end(), uint8_t{7});
        m_pDevice = std::make_unique<CSimDevice>(config, &m_events);
        m_pDevice->OnLineChange(m_slow, m_t);
    }

    // Sends bytes one millisecond apart at the given line settings; returns the replies.
    Bytes Send(const Bytes& data, SLineState line)
    {
        for (uint8_t by : data)
        {
            m_t += 1ms;
            m_pDevice->Advance(m_t);
            m_pDevice->Receive(by, line, m_t);
        }
        return Replies();
    }
    Bytes SendSlow(const Bytes& data) { return Send(data, m_slow); }
    Bytes SendFast(const Bytes& data) { return Send(data, m_fast); }

    // Lets time pass; returns what the unit sent meanwhile.
    Bytes Wait(std::chrono::milliseconds d)
    {
        m_t += d;
        m_pDevice->Advance(m_t);
        return Replies();
    }

    Bytes Replies() // and notes the speed of each
    {
        Bytes out;
        for (const SSimOutByte& o : m_pDevice->TakeOutput())
        {
            out.push_back(o.byValue);
            m_replyBauds.push_back(o.dwBaud);
        }
        return out;
    }

    void LineTo(SLineState line)
    {
        m_t += 1ms;
        m_pDevice->OnLineChange(line, m_t);
    }

    // Sync, download, switch and speed change, as the program does it.
    void StartKernel()
    {
        ASSERT_EQ(SendSlow({0x18}), Bytes{0x11});
        ASSERT_EQ(SendSlow(DownloadFrame(m_pDevice->Config().expectedKernel)), Bytes{0x01});
        ASSERT_EQ(SendSlow({0x40, 0, 0, 0, 0}), Bytes{0x01});
        LineTo(m_fast);
        ASSERT_EQ(m_pDevice->Phase(), ESimPhase::Kernel);
    }

    void Erase()
    {
        ASSERT_EQ(SendFast(Command(0x38, START)), Bytes{'0'});
        ASSERT_EQ(Wait(1500ms), Bytes{'1'});
    }

    Bytes WriteBlock(uint32_t dwAddress, const Bytes& block)
    {
        Bytes reply = SendFast(Command(0x08, dwAddress));
        if (reply != Bytes{'0', '1'})
        {
            return reply;
        }
        return SendFast(BlockWithCrc(block));
    }

    const uint8_t* FlashAt(uint32_t dwAddress) const
    {
        return m_pDevice->Flash().data() + (dwAddress - START);
    }

    CEventLog m_events;
    std::unique_ptr<CSimDevice> m_pDevice;
    SimTime m_t{};
    SLineState m_slow{4800, true};
    SLineState m_fast{115200, true};
    std::vector<uint32_t> m_replyBauds;
};
} // namespace

TEST_F(SimDeviceTest, BootRomChecksTheDownloadFramesChecksumAddressAndLength)
{
    Make();
    EXPECT_EQ(SendSlow({0x18}), Bytes{0x11});
    EXPECT_EQ(m_replyBauds, std::vector<uint32_t>{4800});
    const Bytes image = m_pDevice->Config().expectedKernel;
    Bytes badSum = DownloadFrame(image);
    badSum.back() ^= 0x01;
    EXPECT_EQ(SendSlow(badSum), Bytes{0x00});
    EXPECT_EQ(SendSlow(DownloadFrame(image, 0x0200)), Bytes{0x00}); // kernel RAM is at 0x190
    EXPECT_EQ(SendSlow(DownloadFrame({})), Bytes{0x00});            // nothing to run
    EXPECT_EQ(m_pDevice->Violations(), 3u);
    EXPECT_TRUE(m_events.Mentions("checksum"));
    // Three bytes at 0x190: the sum is 0x9A.
    EXPECT_EQ(SendSlow({0x00, 0x01, 0x90, 0x00, 0x03, 0x01, 0x02, 0x03, 0x9A}), Bytes{0x01});
    EXPECT_EQ(SendSlow(DownloadFrame(image)), Bytes{0x01});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::BootRom);
}

TEST_F(SimDeviceTest, BytesAtTheWrongSpeedOrFormatAreDropped)
{
    Make();
    EXPECT_EQ(Send({0x18, 0x18}, {9600, true}), Bytes{});
    EXPECT_EQ(Send({0x18}, {4800, false}), Bytes{}); // e.g. parity on
    EXPECT_EQ(m_pDevice->DroppedBytes(), 3u);
    EXPECT_EQ(m_pDevice->Violations(), 1u); // one report per run of garbage
    EXPECT_EQ(SendSlow({0x18}), Bytes{0x11});

    // After the switch the kernel does not listen at another speed either.
    Make();
    StartKernel();
    EXPECT_EQ(Send({0xE8}, {57600, true}), Bytes{});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Kernel);
    EXPECT_EQ(SendFast({0xE8}), Bytes{'1'});
}

TEST_F(SimDeviceTest, ReturningTo4800ResetsTheUnitToItsBootRomAndKeepsTheFlash)
{
    Make();
    // The switch reply still goes out at 4800, and until the program follows, the line stays
    // at 4800: that is not a reset.
    ASSERT_EQ(SendSlow({0x18}), Bytes{0x11});
    ASSERT_EQ(SendSlow(DownloadFrame(m_pDevice->Config().expectedKernel)), Bytes{0x01});
    m_replyBauds.clear();
    EXPECT_EQ(SendSlow({0x40, 0, 0, 0, 0}), Bytes{0x01});
    EXPECT_EQ(m_replyBauds, std::vector<uint32_t>{4800});
    LineTo(m_slow);
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Kernel);
    LineTo(m_fast);
    Erase();
    ASSERT_EQ(WriteBlock(START, Bytes(512, 0x5A)), (Bytes{'0', '1'}));
    // Other speeds leave the kernel running; 4800 again (the port reopened) is RESET.
    LineTo({9600, true});
    LineTo(m_fast);
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Kernel);
    LineTo(m_slow);
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::BootRom);
    EXPECT_EQ(FlashAt(START)[0], 0x5A);
    // The kernel in RAM is gone: a switch without a new download hangs.
    EXPECT_EQ(SendSlow({0x18}), Bytes{0x11});
    EXPECT_EQ(SendSlow({0x40, 0, 0, 0, 0}), Bytes{0x01});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Hung);
    LineTo(m_fast);
    EXPECT_EQ(SendFast({0xE8}), Bytes{});

    // A byte sent at 4800 while the kernel runs resets it too, and is then understood.
    Make();
    StartKernel();
    EXPECT_EQ(SendSlow({0x18}), Bytes{0x11});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::BootRom);
}

TEST_F(SimDeviceTest, FlashSemanticsOfWriteAndBlankCheck)
{
    Make();
    StartKernel();
    // Without an erase the old firmware's zero bits cannot become ones; it is not blank.
    Bytes block(512);
    std::iota(block.begin(), block.end(), uint8_t{0});
    EXPECT_EQ(WriteBlock(START, block), (Bytes{'0', '4'}));
    EXPECT_EQ(SendFast(Command(0x48, START)), Bytes{'0'});
    EXPECT_EQ(Wait(300ms), Bytes{'2'});

    Erase();
    EXPECT_TRUE(std::all_of(m_pDevice->Flash().begin(), m_pDevice->Flash().end(),
                            [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(WriteBlock(START, block), (Bytes{'0', '1'}));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), FlashAt(START)));
    // The last block is writable; bits only go 1 -> 0.
    EXPECT_EQ(WriteBlock(LAST_BLOCK, Bytes(512, 0xF0)), (Bytes{'0', '1'}));
    EXPECT_EQ(WriteBlock(LAST_BLOCK, Bytes(512, 0x30)), (Bytes{'0', '1'}));
    EXPECT_EQ(WriteBlock(LAST_BLOCK, Bytes(512, 0x31)), (Bytes{'0', '4'}));
    EXPECT_EQ(FlashAt(LAST_BLOCK)[0], 0x30);
    // Outside the flash or off a block boundary: refused.
    EXPECT_EQ(SendFast(Command(0x08, START - 0x200)), Bytes{'4'});
    EXPECT_EQ(SendFast(Command(0x08, START + 0x100)), Bytes{'4'});

    // A CRC that does not match the data: '5', flash untouched.
    Erase();
    ASSERT_EQ(SendFast(Command(0x08, START)), (Bytes{'0', '1'}));
    Bytes data = BlockWithCrc(Bytes(512, 0x00));
    data[513] ^= 0x80;
    EXPECT_EQ(SendFast(data), Bytes{'5'});
    EXPECT_EQ(FlashAt(START)[0], 0xFF);
    EXPECT_EQ(SendFast(Command(0x48, START)), Bytes{'0'});
    EXPECT_EQ(Wait(300ms), Bytes{'1'});

    // One programmed bit in the very last byte makes it not blank.
    block.assign(512, 0xFF);
    block[511] = 0xFE;
    ASSERT_EQ(WriteBlock(LAST_BLOCK, block), (Bytes{'0', '1'}));
    EXPECT_EQ(SendFast(Command(0x48, START)), Bytes{'0'});
    EXPECT_EQ(Wait(299ms), Bytes{});
    EXPECT_EQ(Wait(1ms), Bytes{'2'});
}

// A weak cell passes the transfer's CRC and the "01" answer; only the block read shows it.
TEST_F(SimDeviceTest, WeakCellIsSeenOnlyByReadingTheBlockBack)
{
    SSimFaults faults;
    faults.weakCells = {START + 0x203};
    Make(faults);
    StartKernel();
    Erase();
    const Bytes block(512, 0x5A);
    EXPECT_EQ(WriteBlock(START + 0x200, block), (Bytes{'0', '1'}));
    EXPECT_EQ(WriteBlock(START, block), (Bytes{'0', '1'}));
    Bytes expected = block;
    expected[3] ^= 0x01;
    expected = BlockWithCrc(expected);
    expected.insert(expected.begin(), {'0', '1'});
    expected.push_back('1');
    EXPECT_EQ(SendFast(Command(0x28, START + 0x200)), expected);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), FlashAt(START))) << "only the weak byte differs";
    EXPECT_TRUE(m_events.Mentions("weak-cell"));
}
