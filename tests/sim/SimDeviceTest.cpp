// The simulated unit's state machine, driven byte by byte without a pty: it is the judge of the
// end-to-end tests, so it must refuse what a real unit refuses.
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
const Bytes SWITCH{0x40, 0, 0, 0, 0};

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

Bytes BlockWithCrc(Bytes block)
{
    const uint16_t wCrc = Crc16(block.data(), static_cast<uint32_t>(block.size()));
    block.push_back(static_cast<uint8_t>(wCrc >> 8));
    block.push_back(static_cast<uint8_t>(wCrc));
    return block;
}

class SimDeviceTest : public ::testing::Test, public ISimEvents
{
protected:
    void OnSimEvent(ESimEvent, const std::string& strText) override { m_strEvents += strText + "\n"; }
    bool Mentions(const std::string& strPart) const { return m_strEvents.find(strPart) != std::string::npos; }

    // A fresh MB90F345 unit in its boot ROM, expecting a 912-byte kernel.
    void SetUp() override
    {
        SSimConfig config;
        config.chip.SelectChip("MB90F345");
        config.dwEraseMs = 1500;
        config.dwBlankMs = 300;
        config.expectedKernel.resize(912);
        std::iota(config.expectedKernel.begin(), config.expectedKernel.end(), uint8_t{7});
        m_pDevice = std::make_unique<CSimDevice>(config, this);
        m_pDevice->OnLineChange(m_slow, m_t);
    }
    // Sends bytes one millisecond apart at the given line settings (4800 unless told); the replies.
    Bytes Send(const Bytes& data, std::optional<SLineState> line = {})
    {
        for (uint8_t by : data)
        {
            m_pDevice->Advance(m_t += 1ms);
            m_pDevice->Receive(by, line.value_or(m_slow), m_t);
        }
        return Wait(0ms);
    }
    Bytes SendFast(const Bytes& data) { return Send(data, m_fast); }
    // Lets time pass; returns what the unit sent meanwhile.
    Bytes Wait(std::chrono::milliseconds d)
    {
        m_pDevice->Advance(m_t += d);
        Bytes out;
        for (const SSimOutByte& o : m_pDevice->TakeOutput())
            out.push_back(o.byValue);
        return out;
    }
    // Sync, download, switch and speed change, as the program does it.
    void StartKernel()
    {
        ASSERT_EQ(Send({0x18}), Bytes{0x11});
        ASSERT_EQ(Send(DownloadFrame(m_pDevice->Config().expectedKernel)), Bytes{0x01});
        ASSERT_EQ(Send(SWITCH), Bytes{0x01});
        m_pDevice->OnLineChange(m_fast, m_t += 1ms);
        ASSERT_EQ(m_pDevice->Phase(), ESimPhase::Kernel);
    }
    void Erase()
    {
        ASSERT_EQ(SendFast(Command(0x38, START)), Bytes{'0'});
        ASSERT_EQ(Wait(1500ms), Bytes{'1'});
    }
    Bytes WriteBlock(uint32_t dwAddress, const Bytes& block)
    {
        const Bytes reply = SendFast(Command(0x08, dwAddress));
        return reply != Bytes{'0', '1'} ? reply : SendFast(BlockWithCrc(block));
    }
    const uint8_t* FlashAt(uint32_t dwAddress) const
    {
        return m_pDevice->Flash().data() + (dwAddress - START);
    }

    std::string m_strEvents;
    std::unique_ptr<CSimDevice> m_pDevice;
    SimTime m_t{};
    SLineState m_slow{4800, true};
    SLineState m_fast{115200, true};
};
} // namespace

TEST_F(SimDeviceTest, BootRomChecksTheDownloadFrameAndTheKernel)
{
    const Bytes image = m_pDevice->Config().expectedKernel;
    Bytes badSum = DownloadFrame(image);
    badSum.back() ^= 0x01;
    EXPECT_EQ(Send(badSum), Bytes{0x00});
    EXPECT_EQ(Send(DownloadFrame(image, 0x0200)), Bytes{0x00}); // kernel RAM is at 0x190
    EXPECT_EQ(Send(DownloadFrame({})), Bytes{0x00});            // nothing to run
    EXPECT_EQ(m_pDevice->Violations(), 3u);
    EXPECT_TRUE(Mentions("checksum"));
    // Three bytes at 0x190 (the sum is 0x9A) are taken, but are not this unit's kernel: it hangs.
    EXPECT_EQ(Send({0x00, 0x01, 0x90, 0x00, 0x03, 0x01, 0x02, 0x03, 0x9A}), Bytes{0x01});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::BootRom);
    EXPECT_EQ(Send(SWITCH), Bytes{0x01});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Hung);
    EXPECT_TRUE(Mentions("(3 bytes) is not the one for MB90F345"));
}

TEST_F(SimDeviceTest, FlashSemanticsOfWriteAndBlankCheck)
{
    StartKernel();
    // Without an erase the old firmware's zero bits cannot become ones; it is not blank.
    Bytes block(512);
    std::iota(block.begin(), block.end(), uint8_t{0});
    EXPECT_EQ(WriteBlock(START, block), (Bytes{'0', '4'}));
    EXPECT_EQ(SendFast(Command(0x48, START)), Bytes{'0'});
    EXPECT_EQ(Wait(300ms), Bytes{'2'});

    // After an erase the last block is writable; bits only go 1 -> 0.
    Erase();
    EXPECT_EQ(WriteBlock(LAST_BLOCK, Bytes(512, 0xF0)), (Bytes{'0', '1'}));
    EXPECT_EQ(WriteBlock(LAST_BLOCK, Bytes(512, 0x30)), (Bytes{'0', '1'}));
    EXPECT_EQ(WriteBlock(LAST_BLOCK, Bytes(512, 0x31)), (Bytes{'0', '4'}));
    EXPECT_EQ(FlashAt(LAST_BLOCK)[0], 0x30);
    // Outside this chip's flash, off a block boundary, or an erase not at the flash's start: refused.
    const std::pair<uint8_t, uint32_t> refused[] = {
        {0x08, START - 0x200}, {0x08, START + 0x100}, {0x28, START - 0x200}, {0x38, 0xFF0000}};
    for (const auto& [byCode, dwAddress] : refused)
        EXPECT_EQ(SendFast(Command(byCode, dwAddress)), Bytes{'4'}) << int(byCode) << " " << dwAddress;

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
