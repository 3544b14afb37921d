#include "target/BootRomLoader.h"

#include "FakePort.h"
#include "target/KernelResources.h"

#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>

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

TEST_F(BootRomLoaderTest, SynchronizeRepliesAndStaleInput)
{
    struct SCase
    {
        Bytes stale;
        Bytes reply;
        int nExpected;
    };
    const SCase cases[] = {
        {{}, {0x11}, BOOTROM_OK},       {{}, {0x11, 0x22}, BOOTROM_OK}, // only one byte is read
        {{}, {0x12}, BOOTROM_NO_REPLY}, {{}, {}, BOOTROM_NO_REPLY},
        {{0x11}, {}, BOOTROM_NO_REPLY}, // an old answer is dropped before sending
    };
    for (const SCase& c : cases)
    {
        CFakePort port(&m_clock);
        port.PreloadInput(c.stale);
        port.QueueRead(c.reply);
        m_loader.AttachPort(&port);
        EXPECT_EQ(m_loader.Synchronize(), c.nExpected);
        EXPECT_EQ(port.Kinds(), (std::vector<EOp>{EOp::Purge, EOp::Write, EOp::Read}));
        EXPECT_EQ(port.m_ops[0].dwValue, PURGE_RXCLEAR);
        EXPECT_EQ(port.Writes(), std::vector<Bytes>{{0x18}});
    }
}

TEST_F(BootRomLoaderTest, NothingIsSentWhenTheExchangeCannotStart)
{
    m_port.m_bOpen = false;
    EXPECT_EQ(m_loader.Synchronize(), BOOTROM_CANNOT_START);
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_CANNOT_START);
    m_port.m_bOpen = true;

    SChipDef unknown = m_chip;
    unknown.ResourceId = 999;
    m_loader.SetChip(unknown);
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_CANNOT_START);

    // Fields the frame cannot carry are refused rather than sent truncated.
    SChipDef highLoad = m_chip;
    highLoad.LoadAddress = 0x10190;
    m_loader.SetChip(highLoad);
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_CANNOT_START);
    static const Bytes big(0x10000, 0xAA);
    m_loader.SetChip(m_chip);
    m_loader.SetKernel(big.data(), static_cast<uint32_t>(big.size()));
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_CANNOT_START);

    EXPECT_TRUE(m_port.m_ops.empty());
    CBootRomLoader detached;
    EXPECT_EQ(detached.Synchronize(), BOOTROM_CANNOT_START);
}

TEST_F(BootRomLoaderTest, DownloadFrameIsByteExact)
{
    const uint8_t image[] = {0x01, 0x02, 0x03};
    m_loader.SetKernel(image, sizeof(image));
    m_port.PreloadInput({0x01}); // stale: must not count as the reply
    m_port.QueueRead({0x01});
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_OK);
    EXPECT_EQ(m_port.Kinds(), (std::vector<EOp>{EOp::Purge, EOp::Write, EOp::Flush, EOp::Read}));
    EXPECT_EQ(m_port.Writes()[0], (Bytes{0x00, 0x01, 0x90, 0x00, 0x03, 0x01, 0x02, 0x03, 0x9A}));
    EXPECT_EQ(m_port.PendingInput(), 0u);

    // The checksum is a plain sum modulo 256.
    const uint8_t ones[] = {0xFF, 0xFF, 0xFF};
    m_loader.SetKernel(ones, sizeof(ones));
    m_port.QueueRead({0x11}); // the sync answer is not the download answer
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_NO_REPLY);
    EXPECT_EQ(m_port.Writes()[1].back(), static_cast<uint8_t>(0x01 + 0x90 + 0x03 + 3 * 0xFF));
    m_port.QueueSilence();
    EXPECT_EQ(m_loader.DownloadKernel(), BOOTROM_NO_REPLY);
}

TEST_F(BootRomLoaderTest, EmbeddedKernelsAreSentWhole)
{
    struct SCase
    {
        const char* pszChip;
        Bytes header;
        uint8_t byStandInSum;
    };
    const SCase cases[] = {{"MB90F345CAS", {0x00, 0x01, 0x90, 0x03, 0x90}, 0x82},
                           {"MB90F362", {0x00, 0x01, 0x90, 0x03, 0x69}, 0x5B}};
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszChip);
        SChipDef chip;
        ASSERT_TRUE(chip.SelectChip(c.pszChip));
        SResourceData kernel;
        ASSERT_TRUE(FindKernelResource(chip.ResourceId, "FLASH", kernel));
        CFakePort port(&m_clock);
        port.QueueRead({0x01});
        m_loader.AttachPort(&port);
        m_loader.SetChip(chip);
        ASSERT_EQ(m_loader.DownloadKernel(), BOOTROM_OK);

        const Bytes frame = port.Writes().at(0);
        ASSERT_EQ(frame.size(), kernel.dwSize + 6);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 5), c.header);
        EXPECT_TRUE(std::equal(kernel.pData, kernel.pData + kernel.dwSize, frame.begin() + 5));
        EXPECT_EQ(frame.back(), static_cast<uint8_t>(std::accumulate(frame.begin(), frame.end() - 1, 0u)));
        if (KernelsAreStandIns())
        {
            EXPECT_EQ(frame.back(), c.byStandInSum);
        }
    }
}

TEST_F(BootRomLoaderTest, SwitchToBaud2ReadsWithoutPurgeAndAlwaysSwitches)
{
    for (const Bytes& reply : {Bytes{}, Bytes{0x55}})
    {
        CFakeClock clock;
        CFakePort port(&clock);
        port.PreloadInput(reply); // whatever is there is read, not purged
        m_loader.AttachPort(&port);
        m_loader.SetClock(&clock);
        EXPECT_EQ(m_loader.SwitchToBaud2(), BOOTROM_OK);
        EXPECT_EQ(port.Kinds(), (std::vector<EOp>{EOp::Write, EOp::Flush, EOp::Read, EOp::SetBaud}));
        EXPECT_EQ(port.Writes()[0], (Bytes{0x40, 0x00, 0x00, 0x00, 0x00}));
        EXPECT_EQ(port.m_dwBaud, 115200u);
        EXPECT_EQ(port.PendingInput(), 0u);
        EXPECT_EQ(clock.m_sleeps, std::vector<uint32_t>{100});
    }
}

TEST_F(BootRomLoaderTest, PortFailuresPropagate)
{
    const uint8_t image[] = {0x01};
    m_loader.SetKernel(image, sizeof(image));
    m_port.m_onOp = [](EOp op)
    {
        if (op == EOp::Write)
        {
            throw std::runtime_error("line gone");
        }
    };
    EXPECT_THROW(m_loader.DownloadKernel(), std::runtime_error); // the frame must not leak (ASan)
    EXPECT_THROW(m_loader.Synchronize(), std::runtime_error);
}
