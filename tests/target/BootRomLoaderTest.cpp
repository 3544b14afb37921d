#include "target/BootRomLoader.h"

#include "FakePort.h"

#include <gtest/gtest.h>

#include <memory>

using EOp = CFakePort::EOp;

namespace
{
class BootRomLoaderTest : public ::testing::Test
{
protected:
    // A fresh port for the loader, set up for an MB90F345 (or pszChip).
    CFakePort& Use(const char* pszChip = "MB90F345")
    {
        m_chip.SelectChip(pszChip);
        m_pPort = std::make_unique<CFakePort>(&m_clock);
        m_loader.AttachPort(m_pPort.get());
        m_loader.SetChip(m_chip);
        m_loader.SetClock(&m_clock);
        return *m_pPort;
    }

    CFakeClock m_clock;
    std::unique_ptr<CFakePort> m_pPort;
    SChipDef m_chip;
    CBootRomLoader m_loader;
};
} // namespace

TEST_F(BootRomLoaderTest, SynchronizeSendsOneBytePurgesStaleInputAndChecksTheReply)
{
    // In the last case the only answer is stale input, purged before the sync byte goes out.
    const Bytes stale[] = {{}, {}, {}, {}, {0x11}}, replies[] = {{0x11}, {0x11, 0x22}, {0x12}, {}, {}};
    for (std::size_t i = 0; i < std::size(replies); ++i)
    {
        CFakePort& port = Use();
        port.PreloadInput(stale[i]);
        port.QueueRead(replies[i]);
        EXPECT_EQ(m_loader.Synchronize(), i < 2 ? BOOTROM_OK : BOOTROM_NO_REPLY) << i;
        EXPECT_EQ(port.Kinds(), (std::vector<EOp>{EOp::Purge, EOp::Write, EOp::Read}));
        EXPECT_EQ(port.m_ops[0].dwValue, PURGE_RXCLEAR);
        EXPECT_EQ(port.Writes(), std::vector<Bytes>{{0x18}});
    }
}

TEST_F(BootRomLoaderTest, DownloadFrameIsByteExactAndNeverTruncated)
{
    CFakePort& port = Use();
    SChipDef highLoad = m_chip;
    highLoad.LoadAddress = 0x10190; // the frame carries 16 bits
    m_loader.SetChip(highLoad);
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_CANNOT_START);
    static const Bytes big(0x10000, 0xAA);
    m_loader.SetChip(m_chip);
    m_loader.SetKernel(big.data(), static_cast<uint32_t>(big.size()));
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_CANNOT_START);
    EXPECT_TRUE(port.m_ops.empty());

    const uint8_t image[] = {0x01, 0x02, 0x03};
    m_loader.SetKernel(image, sizeof(image));
    port.PreloadInput({0x01}); // stale: must not count as the reply
    port.QueueRead({0x01});
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_OK);
    EXPECT_EQ(port.Kinds(), (std::vector<EOp>{EOp::Purge, EOp::Write, EOp::Flush, EOp::Read}));
    EXPECT_EQ(port.Writes()[0], (Bytes{0x00, 0x01, 0x90, 0x00, 0x03, 0x01, 0x02, 0x03, 0x9A}));

    const uint8_t ones[] = {0xFF, 0xFF, 0xFF}; // the checksum wraps modulo 256
    m_loader.SetKernel(ones, sizeof(ones));
    port.QueueRead({0x11}); // the sync answer is not the download answer
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_NO_REPLY);
    EXPECT_EQ(port.Writes()[1].back(), static_cast<uint8_t>(0x01 + 0x90 + 0x03 + 3 * 0xFF));
}

// Whatever the kernel sends as it starts is read (one byte), not purged; the speed changes
// only once the switch frame has left, and the line settles for 100 ms after it.
TEST_F(BootRomLoaderTest, SwitchFrameIsFlushedAndAnsweredBeforeTheSpeedChanges)
{
    for (const Bytes& reply : {Bytes{0x01}, Bytes{}})
    {
        CFakePort& port = Use();
        port.PreloadInput({0x55});
        port.QueueRead(reply);
        std::size_t nSleepsAtBaud = 99;
        port.m_onOp = [&](EOp op)
        { nSleepsAtBaud = op == EOp::SetBaud ? m_clock.m_sleeps.size() : nSleepsAtBaud; };
        m_clock.m_sleeps.clear();
        EXPECT_EQ(m_loader.SwitchToBaud2(), BOOTROM_OK);
        EXPECT_EQ(port.Kinds(), (std::vector<EOp>{EOp::Write, EOp::Flush, EOp::Read, EOp::SetBaud}));
        EXPECT_EQ(port.Writes(), (std::vector<Bytes>{{0x40, 0x00, 0x00, 0x00, 0x00}}));
        EXPECT_EQ(port.m_ops[2].dwValue, 1u);
        EXPECT_EQ(port.m_ops[2].bytes, Bytes{0x55});
        EXPECT_EQ(port.m_dwBaud, 115200u);
        EXPECT_EQ(nSleepsAtBaud, 0u);
        EXPECT_EQ(m_clock.m_sleeps, std::vector<uint32_t>{100});
    }
}
