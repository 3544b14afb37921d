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
    void OnSimEvent(ESimEvent eKind, const std::string& strText) override
    {
        m_events.push_back({eKind, strText});
    }
    size_t Count(ESimEvent eKind) const
    {
        return static_cast<size_t>(
            std::count_if(m_events.begin(), m_events.end(), [&](const auto& e) { return e.first == eKind; }));
    }
    bool Mentions(const std::string& strPart) const
    {
        return std::any_of(m_events.begin(), m_events.end(),
                           [&](const auto& e) { return e.second.find(strPart) != std::string::npos; });
    }
    std::vector<std::pair<ESimEvent, std::string>> m_events;
};

Bytes KernelImage(size_t nSize)
{
    Bytes image(nSize);
    std::iota(image.begin(), image.end(), uint8_t{7});
    return image;
}

Bytes DownloadFrame(const Bytes& image, uint32_t dwAddress = 0x190)
{
    Bytes frame(5 + image.size());
    frame[0] = 0x00;
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
    void Make(const SSimFaults& faults = {}, const char* pszChip = "MB90F345")
    {
        SSimConfig config;
        config.chip.SelectChip(pszChip);
        config.dwEraseMs = 1500;
        config.dwBlankMs = 300;
        config.faults = faults;
        config.expectedKernel = KernelImage(pszChip == std::string("MB90F362") ? 873 : 912);
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

    Bytes Replies()
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

TEST_F(SimDeviceTest, BootRomAnswersSyncAndChecksDownloadFrames)
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

    // The frame from the loader's own example: three bytes at 0x190, sum 0x9A.
    EXPECT_EQ(DownloadFrame({1, 2, 3}), (Bytes{0x00, 0x01, 0x90, 0x00, 0x03, 0x01, 0x02, 0x03, 0x9A}));
    EXPECT_EQ(SendSlow(DownloadFrame({1, 2, 3})), Bytes{0x01});
    EXPECT_EQ(SendSlow(DownloadFrame(image)), Bytes{0x01});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::BootRom);
    EXPECT_EQ(SendSlow({0x55}), Bytes{}); // stray byte: ignored, reported
    EXPECT_EQ(m_pDevice->Violations(), 4u);
}

TEST_F(SimDeviceTest, StalledFrameIsDroppedSoTheRetryStartsAfresh)
{
    Make();
    const Bytes frame = DownloadFrame(m_pDevice->Config().expectedKernel);
    EXPECT_EQ(SendSlow(Bytes(frame.begin(), frame.begin() + 300)), Bytes{});
    // Just under the gap limit the frame still continues...
    EXPECT_EQ(Wait(SIM_FRAME_GAP_LIMIT - 2ms), Bytes{});
    EXPECT_EQ(SendSlow(Bytes(frame.begin() + 300, frame.begin() + 400)), Bytes{});
    ASSERT_TRUE(m_pDevice->NextDeadline().has_value());
    // ...at the limit it is dropped, and a whole new frame is taken.
    EXPECT_EQ(Wait(SIM_FRAME_GAP_LIMIT), Bytes{});
    EXPECT_TRUE(m_events.Mentions("incomplete download frame"));
    EXPECT_FALSE(m_pDevice->NextDeadline().has_value());
    EXPECT_EQ(SendSlow(frame), Bytes{0x01});
}

TEST_F(SimDeviceTest, SwitchStartsOnlyTheRightKernel)
{
    Make();
    // No kernel downloaded: the unit answers the switch, then hangs.
    EXPECT_EQ(SendSlow({0x40, 0, 0, 0, 0}), Bytes{0x01});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Hung);
    LineTo(m_fast);
    EXPECT_EQ(SendFast({0xE8}), Bytes{});
    // Back to 4800 (RESET): the boot ROM answers again.
    LineTo(m_slow);
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::BootRom);

    // Another processor's kernel (873 bytes for a 912-byte unit) hangs it as well.
    EXPECT_EQ(SendSlow(DownloadFrame(KernelImage(873))), Bytes{0x01});
    EXPECT_EQ(SendSlow({0x40, 0, 0, 0, 0}), Bytes{0x01});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Hung);
    EXPECT_TRUE(m_events.Mentions("not the one for MB90F345"));
    LineTo(m_fast);
    LineTo(m_slow);

    // A switch frame with non-zero bytes is not a switch.
    EXPECT_EQ(SendSlow(DownloadFrame(m_pDevice->Config().expectedKernel)), Bytes{0x01});
    EXPECT_EQ(SendSlow({0x40, 0, 1, 0, 0}), Bytes{});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::BootRom);

    m_replyBauds.clear();
    EXPECT_EQ(SendSlow({0x40, 0, 0, 0, 0}), Bytes{0x01});
    EXPECT_EQ(m_replyBauds, std::vector<uint32_t>{4800}); // the switch reply still at the old speed
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Kernel);
    // Until the program follows, the line is still at 4800: that is not a reset.
    LineTo(m_slow);
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Kernel);
    LineTo(m_fast);
    EXPECT_EQ(SendFast({0xE8}), Bytes{'1'});
}

TEST_F(SimDeviceTest, BytesAtTheWrongSpeedOrFormatAreGarbage)
{
    Make();
    EXPECT_EQ(Send({0x18, 0x18}, {9600, true}), Bytes{});
    EXPECT_EQ(Send({0x18}, {4800, false}), Bytes{}); // e.g. parity on
    EXPECT_EQ(m_pDevice->DroppedBytes(), 3u);
    EXPECT_EQ(m_pDevice->Violations(), 1u); // one report per run of garbage
    EXPECT_EQ(SendSlow({0x18}), Bytes{0x11});
    EXPECT_EQ(Send({0x18}, {115200, true}), Bytes{});
    EXPECT_EQ(m_pDevice->Violations(), 2u);

    // The kernel does not listen at the boot ROM's speed after the switch either: a program
    // that forgets to change its speed reaches nobody.
    Make();
    StartKernel();
    EXPECT_EQ(Send({0xE8}, {57600, true}), Bytes{});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Kernel);
    EXPECT_EQ(SendFast({0xE8}), Bytes{'1'});
}

TEST_F(SimDeviceTest, ReturningTo4800ResetsTheUnitAndKeepsTheFlash)
{
    Make();
    StartKernel();
    Erase();
    const Bytes block(512, 0x5A);
    ASSERT_EQ(WriteBlock(START, block), (Bytes{'0', '1'}));

    // The program sets 4800 again (closing and reopening the port does that): RESET.
    LineTo(m_slow);
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::BootRom);
    EXPECT_EQ(FlashAt(START)[0], 0x5A);
    // The kernel in RAM is gone: a switch without a new download hangs.
    EXPECT_EQ(SendSlow({0x18}), Bytes{0x11});
    EXPECT_EQ(SendSlow({0x40, 0, 0, 0, 0}), Bytes{0x01});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Hung);

    // A byte sent at 4800 while the kernel runs resets as well, and is then understood.
    Make();
    StartKernel();
    EXPECT_EQ(SendSlow({0x18}), Bytes{0x11});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::BootRom);

    // Other speed changes leave the kernel running.
    Make();
    StartKernel();
    LineTo({9600, true});
    LineTo(m_fast);
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Kernel);
}

TEST_F(SimDeviceTest, KernelCommandsAndStatusBytes)
{
    Make();
    StartKernel();
    EXPECT_EQ(SendFast({0xE8}), Bytes{'1'});
    EXPECT_EQ(SendFast({0x99}), Bytes{'4'});
    EXPECT_EQ(SendFast({0x00}), Bytes{'4'});
    // Erase and blank check take the flash's first address only.
    EXPECT_EQ(SendFast(Command(0x38, START + 0x200)), Bytes{'4'});
    EXPECT_EQ(SendFast(Command(0x48, 0xFF0000)), Bytes{'4'});
    EXPECT_EQ(m_pDevice->Violations(), 4u);
    // Block addresses: inside the flash and on a block boundary.
    EXPECT_EQ(SendFast(Command(0x28, START - 0x200)), Bytes{'4'});
    EXPECT_EQ(SendFast(Command(0x28, START + 0x100)), Bytes{'4'});
    EXPECT_EQ(SendFast(Command(0x28, 0x1000000 - 0x100)), Bytes{'4'});
    EXPECT_EQ(SendFast(Command(0x08, 0xFFFFFF)), Bytes{'4'});
    EXPECT_EQ(m_replyBauds.back(), 115200u);
}

TEST_F(SimDeviceTest, EraseAndBlankCheckTakeTheirTime)
{
    Make();
    StartKernel();
    EXPECT_NE(FlashAt(START)[0], 0xFF); // old firmware, not blank
    EXPECT_EQ(SendFast(Command(0x48, START)), Bytes{'0'});
    EXPECT_EQ(Wait(299ms), Bytes{});
    EXPECT_EQ(Wait(1ms), Bytes{'2'}); // not blank before the erase

    EXPECT_EQ(SendFast(Command(0x38, START)), Bytes{'0'});
    EXPECT_TRUE(m_pDevice->IsBusy());
    EXPECT_EQ(Wait(1000ms), Bytes{});
    // Input while busy is ignored (reported once).
    EXPECT_EQ(SendFast({0xE8, 0xE8}), Bytes{});
    EXPECT_EQ(Wait(500ms), Bytes{'1'});
    EXPECT_FALSE(m_pDevice->IsBusy());
    EXPECT_TRUE(std::all_of(m_pDevice->Flash().begin(), m_pDevice->Flash().end(),
                            [](uint8_t b) { return b == 0xFF; }));

    EXPECT_EQ(SendFast(Command(0x48, START)), Bytes{'0'});
    EXPECT_EQ(Wait(300ms), Bytes{'1'});

    // One programmed bit anywhere, even in the very last byte, makes it not blank.
    ASSERT_EQ(SendFast(Command(0x08, LAST_BLOCK)), (Bytes{'0', '1'}));
    Bytes block(512, 0xFF);
    block[511] = 0xFE;
    ASSERT_EQ(SendFast(BlockWithCrc(block)), (Bytes{'0', '1'}));
    EXPECT_EQ(SendFast(Command(0x48, START)), Bytes{'0'});
    EXPECT_EQ(Wait(300ms), Bytes{'2'});
}

TEST_F(SimDeviceTest, WriteBlockFollowsFlashSemantics)
{
    Make();
    StartKernel();
    // Without an erase the old firmware's zero bits cannot become ones.
    Bytes block(512);
    std::iota(block.begin(), block.end(), uint8_t{0});
    EXPECT_EQ(WriteBlock(START, block), (Bytes{'0', '4'}));
    EXPECT_EQ(m_pDevice->ProgrammedBlocks(), 0u);

    Erase();
    const uint64_t qwGeneration = m_pDevice->FlashGeneration();
    EXPECT_EQ(WriteBlock(START, block), (Bytes{'0', '1'}));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), FlashAt(START)));
    EXPECT_GT(m_pDevice->FlashGeneration(), qwGeneration);
    // The first and the last block of the flash are writable; only bits that go 1 -> 0.
    EXPECT_EQ(WriteBlock(LAST_BLOCK, Bytes(512, 0xF0)), (Bytes{'0', '1'}));
    EXPECT_EQ(WriteBlock(LAST_BLOCK, Bytes(512, 0x30)), (Bytes{'0', '1'}));
    EXPECT_EQ(WriteBlock(LAST_BLOCK, Bytes(512, 0x31)), (Bytes{'0', '4'}));
    EXPECT_EQ(FlashAt(LAST_BLOCK)[0], 0x30);
    EXPECT_EQ(m_pDevice->ProgrammedBlocks(), 3u);

    // A CRC that does not match the data: '5', flash untouched.
    Erase();
    ASSERT_EQ(SendFast(Command(0x08, START)), (Bytes{'0', '1'}));
    Bytes data = BlockWithCrc(Bytes(512, 0x00));
    data[513] ^= 0x80;
    EXPECT_EQ(SendFast(data), Bytes{'5'});
    EXPECT_EQ(FlashAt(START)[0], 0xFF);
}

TEST_F(SimDeviceTest, StalledDataPhaseIsDropped)
{
    Make();
    StartKernel();
    Erase();
    ASSERT_EQ(SendFast(Command(0x08, START)), (Bytes{'0', '1'}));
    EXPECT_EQ(SendFast(Bytes(100, 0x00)), Bytes{});
    EXPECT_EQ(Wait(SIM_FRAME_GAP_LIMIT), Bytes{});
    EXPECT_TRUE(m_events.Mentions("write block data"));
    EXPECT_EQ(FlashAt(START)[0], 0xFF);
    EXPECT_EQ(SendFast({0xE8}), Bytes{'1'});
}

TEST_F(SimDeviceTest, ReadBlockSendsDataCrcAndTrailer)
{
    Make();
    StartKernel();
    Erase();
    Bytes block(512);
    std::iota(block.begin(), block.end(), uint8_t{3});
    ASSERT_EQ(WriteBlock(LAST_BLOCK, block), (Bytes{'0', '1'}));

    const Bytes reply = SendFast(Command(0x28, LAST_BLOCK));
    ASSERT_EQ(reply.size(), 2u + 515u);
    EXPECT_EQ(reply[0], '0');
    EXPECT_EQ(reply[1], '1');
    EXPECT_TRUE(std::equal(block.begin(), block.end(), reply.begin() + 2));
    const uint16_t wCrc = Crc16(block.data(), 512);
    EXPECT_EQ(reply[514], wCrc >> 8);
    EXPECT_EQ(reply[515], wCrc & 0xFF);
    EXPECT_EQ(reply[516], '1');
}

TEST_F(SimDeviceTest, SmallerChipHasItsOwnFlash)
{
    Make({}, "MB90F362");
    EXPECT_EQ(m_pDevice->Flash().size(), 0x10000u);
    StartKernel();
    EXPECT_EQ(SendFast(Command(0x38, START)), Bytes{'4'}); // the 512 KiB chip's start
    ASSERT_EQ(SendFast(Command(0x38, 0xFF0000)), Bytes{'0'});
    ASSERT_EQ(Wait(1500ms), Bytes{'1'});
    EXPECT_EQ(SendFast(Command(0x08, 0xFEFE00)), Bytes{'4'});
    EXPECT_EQ(WriteBlock(0xFF0000, Bytes(512, 0x11)), (Bytes{'0', '1'}));
}

TEST_F(SimDeviceTest, OldFirmwarePatternIsNotBlankAndMostlyZero)
{
    uint32_t dwOnes = 0;
    for (uint32_t i = 0; i < 4096; ++i)
    {
        dwOnes += static_cast<uint32_t>(__builtin_popcount(CSimDevice::OldFirmwareByte(i)));
    }
    EXPECT_EQ(dwOnes, 4096u / 16u); // one set bit every 16 bytes
}

// Injected faults: each gives the misbehaviour it names, and only that.
TEST_F(SimDeviceTest, FaultsOfTheBootRom)
{
    SSimFaults faults;
    faults.bNoSync = true;
    Make(faults);
    EXPECT_EQ(SendSlow({0x18}), Bytes{});
    EXPECT_EQ(m_events.Count(ESimEvent::Fault), 1u);

    faults = {};
    faults.bBadSync = true;
    Make(faults);
    EXPECT_EQ(SendSlow({0x18}), Bytes{SIM_BAD_SYNC_REPLY});

    faults = {};
    faults.dwRefuseDownloads = 2;
    Make(faults);
    const Bytes frame = DownloadFrame(m_pDevice->Config().expectedKernel);
    EXPECT_EQ(SendSlow(frame), Bytes{0x00});
    EXPECT_EQ(SendSlow(frame), Bytes{0x00});
    EXPECT_EQ(SendSlow(frame), Bytes{0x01});
    EXPECT_EQ(m_pDevice->Violations(), 0u);
}

TEST_F(SimDeviceTest, FaultsOfTheKernel)
{
    SSimFaults faults;
    faults.bNoPing = true;
    faults.bEraseHangs = true;
    Make(faults);
    StartKernel();
    EXPECT_EQ(SendFast({0xE8}), Bytes{});
    EXPECT_EQ(SendFast(Command(0x38, START)), Bytes{'0'});
    EXPECT_FALSE(m_pDevice->NextDeadline().has_value());
    EXPECT_EQ(Wait(60s), Bytes{});
    EXPECT_TRUE(m_pDevice->IsBusy());

    faults = {};
    faults.bBlankFails = true;
    Make(faults);
    StartKernel();
    Erase();
    EXPECT_EQ(SendFast(Command(0x48, START)), Bytes{'0'});
    EXPECT_EQ(Wait(300ms), Bytes{'2'});

    faults = {};
    faults.bBlankHangs = true;
    Make(faults);
    StartKernel();
    EXPECT_EQ(SendFast(Command(0x48, START)), Bytes{'0'});
    EXPECT_EQ(Wait(10s), Bytes{});
}

TEST_F(SimDeviceTest, FaultsOfTheBlockWrites)
{
    SSimFaults faults;
    faults.crcOnce = {START};
    faults.crcAlways = {START + 0x200};
    faults.writeFails = {START + 0x400};
    Make(faults);
    StartKernel();
    Erase();
    const Bytes block(512, 0x42);
    EXPECT_EQ(WriteBlock(START, block), Bytes{'5'});
    EXPECT_EQ(FlashAt(START)[0], 0xFF);
    EXPECT_EQ(WriteBlock(START, block), (Bytes{'0', '1'}));
    EXPECT_EQ(WriteBlock(START + 0x200, block), Bytes{'5'});
    EXPECT_EQ(WriteBlock(START + 0x200, block), Bytes{'5'});
    EXPECT_EQ(WriteBlock(START + 0x400, block), (Bytes{'0', '4'}));
    EXPECT_EQ(WriteBlock(START + 0x600, block), (Bytes{'0', '1'}));
    EXPECT_EQ(m_pDevice->ProgrammedBlocks(), 2u);
    EXPECT_EQ(m_pDevice->Violations(), 0u);
}

TEST_F(SimDeviceTest, VanishesAfterTheNthProgrammedBlock)
{
    SSimFaults faults;
    faults.vanishAfter = 2;
    Make(faults);
    StartKernel();
    Erase();
    EXPECT_EQ(WriteBlock(START, Bytes(512, 1)), (Bytes{'0', '1'}));
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Kernel);
    // The reply of the last block still goes out; then the unit is gone and silent.
    EXPECT_EQ(WriteBlock(START + 0x200, Bytes(512, 2)), (Bytes{'0', '1'}));
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Vanished);
    EXPECT_EQ(SendFast({0xE8}), Bytes{});
    LineTo(m_slow);
    EXPECT_EQ(SendSlow({0x18}), Bytes{});
    EXPECT_EQ(m_pDevice->Phase(), ESimPhase::Vanished);
}
