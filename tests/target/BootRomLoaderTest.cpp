#include "target/BootRomLoader.h"

#include "FakePort.h"
#include "target/KernelResources.h"

#include <gtest/gtest.h>

using EOp = CFakePort::EOp;

namespace
{
class BootRomLoaderTest : public ::testing::Test
{
protected:
    BootRomLoaderTest()
    {
        m_chip.SelectChip("MB90F345");
        m_loader.AttachPort(&m_port);
        m_loader.SetChip(m_chip);
        m_loader.SetClock(&m_clock);
    }

    CFakeClock m_clock;
    CFakePort m_port{&m_clock};
    SChipDef m_chip;
    CBootRomLoader m_loader;
};
} // namespace

TEST_F(BootRomLoaderTest, SynchronizeSendsOneBytePurgesStaleInputAndChecksTheReply)
{
    const std::tuple<Bytes, Bytes, int> cases[] = {{{}, {0x11}, BOOTROM_OK},
                                                   {{}, {0x11, 0x22}, BOOTROM_OK},
                                                   {{}, {0x12}, BOOTROM_NO_REPLY},
                                                   {{}, {}, BOOTROM_NO_REPLY},
                                                   {{0x11}, {}, BOOTROM_NO_REPLY}}; // stale answer
    for (const auto& [stale, reply, nExpected] : cases)
    {
        CFakePort port(&m_clock);
        port.PreloadInput(stale);
        port.QueueRead(reply);
        m_loader.AttachPort(&port);
        EXPECT_EQ(m_loader.Synchronize(), nExpected);
        EXPECT_EQ(port.Kinds(), (std::vector<EOp>{EOp::Purge, EOp::Write, EOp::Read}));
        EXPECT_EQ(port.m_ops[0].dwValue, PURGE_RXCLEAR);
        EXPECT_EQ(port.Writes(), std::vector<Bytes>{{0x18}});
    }
}

TEST_F(BootRomLoaderTest, DownloadFrameIsByteExactAndNeverTruncated)
{
    SChipDef highLoad = m_chip;
    highLoad.LoadAddress = 0x10190; // the frame carries 16 bits
    m_loader.SetChip(highLoad);
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_CANNOT_START);
    static const Bytes big(0x10000, 0xAA);
    m_loader.SetChip(m_chip);
    m_loader.SetKernel(big.data(), static_cast<uint32_t>(big.size()));
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_CANNOT_START);
    EXPECT_TRUE(m_port.m_ops.empty());

    const uint8_t image[] = {0x01, 0x02, 0x03};
    m_loader.SetKernel(image, sizeof(image));
    m_port.PreloadInput({0x01}); // stale: must not count as the reply
    m_port.QueueRead({0x01});
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_OK);
    EXPECT_EQ(m_port.Kinds(), (std::vector<EOp>{EOp::Purge, EOp::Write, EOp::Flush, EOp::Read}));
    EXPECT_EQ(m_port.Writes()[0], (Bytes{0x00, 0x01, 0x90, 0x00, 0x03, 0x01, 0x02, 0x03, 0x9A}));

    const uint8_t ones[] = {0xFF, 0xFF, 0xFF}; // the checksum wraps modulo 256
    m_loader.SetKernel(ones, sizeof(ones));
    m_port.QueueRead({0x11}); // the sync answer is not the download answer
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_NO_REPLY);
    EXPECT_EQ(m_port.Writes()[1].back(), static_cast<uint8_t>(0x01 + 0x90 + 0x03 + 3 * 0xFF));
}

TEST_F(BootRomLoaderTest, EmbeddedKernelsAreSentWhole)
{
    const std::tuple<const char*, Bytes, uint8_t> cases[] = {
        {"MB90F345CAS", {0x00, 0x01, 0x90, 0x03, 0x90}, 0x82},
        {"MB90F362", {0x00, 0x01, 0x90, 0x03, 0x69}, 0x5B}};
    for (const auto& [pszChip, header, byStandInSum] : cases)
    {
        SCOPED_TRACE(pszChip);
        SChipDef chip;
        ASSERT_TRUE(chip.SelectChip(pszChip));
        SResourceData kernel;
        ASSERT_TRUE(FindKernelResource(chip.ResourceId, "FLASH", kernel));
        CFakePort port(&m_clock);
        port.QueueRead({0x01});
        m_loader.AttachPort(&port);
        m_loader.SetChip(chip);
        ASSERT_EQ(m_loader.DownloadKernel(), BOOTROM_OK);

        const Bytes frame = port.Writes().at(0);
        ASSERT_EQ(frame.size(), kernel.dwSize + 6);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 5), header);
        EXPECT_TRUE(std::equal(kernel.pData, kernel.pData + kernel.dwSize, frame.begin() + 5));
        if (KernelsAreStandIns())
        {
            EXPECT_EQ(frame.back(), byStandInSum);
        }
    }
}

// Whatever the kernel sends as it starts is read (one byte), not purged; the speed changes
// only once the switch frame has left, and the line settles for 100 ms after it.
TEST_F(BootRomLoaderTest, SwitchFrameIsFlushedAndAnsweredBeforeTheSpeedChanges)
{
    for (const Bytes& reply : {Bytes{0x01}, Bytes{}})
    {
        CFakePort port(&m_clock);
        port.PreloadInput({0x55});
        port.QueueRead(reply);
        std::size_t nSleepsAtBaud = 99;
        port.m_onOp = [&](EOp op)
        { nSleepsAtBaud = op == EOp::SetBaud ? m_clock.m_sleeps.size() : nSleepsAtBaud; };
        m_clock.m_sleeps.clear();
        m_loader.AttachPort(&port);
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
