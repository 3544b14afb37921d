#include "target/workers/Workers.h"
#include "serial/SerialException.h"
#include "target/FlashKernel.h"
#include "tests/workers/TestHost.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <numeric>
#include <stdexcept>
#include <unistd.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using EOp = CFakePort::EOp;

namespace
{
using Chunks = std::vector<std::pair<uint32_t, Bytes>>;
const Chunks THREE_BLOCKS = {{0xFF0000, Bytes(512, 1)}, {0xFF0200, Bytes(512, 2)}, {0xFF0400, Bytes(512, 3)}};

// The kinds of exception a port can raise underneath a worker; each meets its own handler.
const std::function<void()> FAULTS[] = {[] { throw CSerialException(5); }, // EIO: the adapter went away
                                        [] { throw std::runtime_error("driver failure"); }, [] { throw 42; }};

Bytes Pattern(std::size_t nSize, uint8_t bySeed)
{
    Bytes bytes(nSize);
    std::iota(bytes.begin(), bytes.end(), bySeed);
    return bytes;
}

// One S-record with a 24-bit address and its checksum.
std::string Record(char cType, uint32_t dwAddress, const uint8_t* pData, std::size_t nCount)
{
    Bytes body = {static_cast<uint8_t>(nCount + 4), static_cast<uint8_t>(dwAddress >> 16),
                  static_cast<uint8_t>(dwAddress >> 8), static_cast<uint8_t>(dwAddress)};
    body.insert(body.end(), pData, pData + nCount);
    body.push_back(static_cast<uint8_t>(~std::accumulate(body.begin(), body.end(), 0u)));
    std::string line = std::string("S") + cType;
    for (const uint8_t by : body)
    {
        char sz[3];
        std::snprintf(sz, sizeof(sz), "%02X", by);
        line += sz;
    }
    return line + "\n";
}

// Opens the first port as the dialog does, loads the image of chunks (through an S-record file)
// and scripts a kernel that answers the ping, the erase and the blank check at their first
// poll, and takes nBlocks blocks.
CFakePort& ReadyToProgram(CTestHost& host, const Chunks& chunks, int nBlocks)
{
    const std::string strPath = ::testing::TempDir() + "orlix_workers_" + std::to_string(::getpid()) + ".mhx";
    {
        std::ofstream file(strPath, std::ios::binary);
        for (const auto& [dwStart, bytes] : chunks)
        {
            for (std::size_t nOffset = 0; nOffset < bytes.size(); nOffset += 32)
            {
                const std::size_t nCount = std::min<std::size_t>(32, bytes.size() - nOffset);
                file << Record('2', dwStart + static_cast<uint32_t>(nOffset), bytes.data() + nOffset, nCount);
            }
        }
        file << Record('8', 0, nullptr, 0);
    }
    EXPECT_EQ(host.m_image.Load(strPath), LOAD_OK);
    std::remove(strPath.c_str());
    CFakePort& port = host.OpenAsDialog();
    const Bytes block[] = {{'0'}, {'1'}, {'0', '1'}}; // command taken, ready for data, written
    for (int i = 0; i < 5 + 3 * nBlocks; ++i)
    {
        port.QueueRead(i < 5 ? Bytes{'0'} : block[(i - 5) % 3]);
    }
    return port;
}

} // namespace

TEST(SearchThread, TwoSilentPortsAreTriedInFivePassesAndNothingIsFound)
{
    CTestHost host;
    CFakePort& a = host.AddPort("A");
    host.AddPort("B");
    SSerInfo stale;
    host.SetCurrentPort(&stale);

    EXPECT_EQ(SearchDeviceThread(&host), 0u);

    EXPECT_THAT(host.Progress(), ElementsAre(10, 20, 30, 40, 50, 60, 70, 80, 90, 100));
    EXPECT_EQ(a.Writes(), std::vector<Bytes>(5, Bytes{0x18}));
    EXPECT_EQ(host.DoneParam(), 0);
    EXPECT_EQ(host.GetCurrentPort(), nullptr);
    EXPECT_FALSE(host.Port().IsOpen());
    EXPECT_EQ(host.EndingFault(false), "");
}

TEST(SearchThread, UnitOnSecondOfThreePortsIsFoundInTheFirstPass)
{
    CTestHost host;
    host.AddPort("A");
    CFakePort& unit = host.AddPort("B");
    CFakePort& c = host.AddPort("C");
    unit.QueueRead({0x11});

    SearchDeviceThread(&host);

    EXPECT_THAT(host.Progress(), ElementsAre(6, 13));
    EXPECT_THAT(host.Texts(), ElementsAre("Port A", "Port B"));
    EXPECT_EQ(host.DoneParam(), 1);
    ASSERT_EQ(host.GetCurrentPort(), &host.Ports()[1]);
    EXPECT_FALSE(unit.IsOpen()); // the download opens it anew
    EXPECT_TRUE(c.m_ops.empty());
    EXPECT_EQ(host.EndingFault(false), "");
}

TEST(SearchThread, StopRequestEndsTheSearchBeforeTheNextPort)
{
    CTestHost host;
    CFakePort& silent = host.AddPort("A");
    CFakePort& unit = host.AddPort("B");
    unit.QueueRead({0x11});
    FailAt(silent, EOp::Read, 1, FAULTS[0]); // the closing dialog interrupts the read
    host.m_onPost = [&host](const SWizardMessage&) { host.m_bStop = true; };

    SearchDeviceThread(&host);

    EXPECT_THAT(host.Progress(), ElementsAre(10));
    EXPECT_TRUE(unit.m_ops.empty());
    EXPECT_FALSE(silent.IsOpen());
    EXPECT_EQ(host.DoneParam(), 0);
    EXPECT_EQ(host.GetCurrentPort(), nullptr);
    EXPECT_EQ(host.EndingFault(false), "");
}

TEST(DownloadThread, SuccessAtTheFirstAttemptPostsOnlyTwenty)
{
    CTestHost host;
    host.AddPort("A");
    CFakePort& port = host.OpenAsDialog();
    port.QueueRead({0x11});
    port.QueueRead({0x01});

    EXPECT_EQ(DownloadKernelThread(&host), 0u);

    EXPECT_THAT(host.Progress(), ElementsAre(20));
    EXPECT_EQ(host.m_nDownloadOk, 1);
    const std::vector<Bytes> writes = port.Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0], Bytes{0x18});
    EXPECT_EQ(writes[1].size(), 912u + 6u); // the MB90F345's kernel in one frame
    EXPECT_EQ(writes[2], (Bytes{0x40, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(port.IsOpen()); // left open at the kernel's speed for the programming run
    EXPECT_EQ(port.m_dwBaud, 115200u);
    EXPECT_EQ(host.EndingFault(true), "");
}

TEST(ProgramThread, RunProgramsEveryNonBlankBlockOfTheTop64KiB)
{
    CTestHost host;
    host.AddPort("A");
    CFakePort& port = ReadyToProgram(host, {{0xFF0000, Pattern(512, 9)}, {0xFFFFF0, Pattern(16, 5)}}, 2);

    EXPECT_EQ(ProgramFlashThread(&host), 0u);

    EXPECT_EQ(host.m_nProgramResult, KR_OK);
    EXPECT_THAT(host.Texts(), ElementsAre("text 138", "text 139", "text 140"));
    EXPECT_EQ(port.m_ops.front().dwValue, 115200u);
    Bytes last(512, 0xFF);
    const Bytes tail = Pattern(16, 5);
    std::copy(tail.begin(), tail.end(), last.end() - 16);
    const std::vector<Bytes> writes = port.Writes(); // ping, erase, blank check, then two blocks
    ASSERT_EQ(writes.size(), 7u);
    EXPECT_EQ(writes[3], (Bytes{0x08, 0x00, 0x00, 0xFF}));
    EXPECT_EQ(Bytes(writes[4].begin(), writes[4].end() - 2), Pattern(512, 9));
    EXPECT_EQ(writes[5], (Bytes{0x08, 0x00, 0xFE, 0xFF}));
    EXPECT_EQ(Bytes(writes[6].begin(), writes[6].end() - 2), last);
    // One value per block of 0xFF0000..0xFFFFFF: 0 first, 65024 * 100 / 65536 = 99 last.
    const std::vector<intptr_t> progress = host.Progress("text 140");
    ASSERT_EQ(progress.size(), 128u);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 99);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(host.EndingFault(true), "");
}

TEST(ProgramThread, UnitNotAnsweringThePingEndsBeforeAnyPhase)
{
    CTestHost host;
    host.AddPort("A");
    CFakePort& port = host.OpenAsDialog();

    ProgramFlashThread(&host);

    EXPECT_EQ(host.m_nProgramResult, KR_NO_ANSWER);
    EXPECT_THAT(host.Texts(), IsEmpty());
    EXPECT_THAT(host.Progress(), IsEmpty());
    EXPECT_THAT(port.Writes(), ElementsAre(Bytes{0xE8}));
    EXPECT_EQ(host.EndingFault(true), "");
}

TEST(ProgramThread, StopRequestBeforeTheNextBlockEndsTheRunAsAFailure)
{
    CTestHost host;
    host.AddPort("A");
    CFakePort& port = ReadyToProgram(host, THREE_BLOCKS, 3);
    host.m_onPost = [&host](const SWizardMessage& msg)
    {
        if (msg.wParam == STATUS_PROGRESS && host.Texts().size() == 3)
        {
            host.m_bStop = true;
        }
    };

    ProgramFlashThread(&host);

    EXPECT_EQ(port.Writes().size(), 5u); // ping, erase, blank check, one block
    EXPECT_EQ(host.m_nProgramResult, KR_NO_ANSWER);
    EXPECT_EQ(host.EndingFault(true), "");
}

TEST(ProgramProgress, NeverWrapsNorDividesByZero)
{
    EXPECT_EQ(ProgramProgress(0, 0, 0xFFFFFFFF), 0u); // the size wraps to 0 in 32 bits
    EXPECT_EQ(ProgramProgress(0xFFFFFE00, 0, 0xFFFFFFFF), 99u);
    EXPECT_EQ(ProgramProgress(0x0FFFFE00, 0, 0x0FFFFFFF), 99u); // (address - low) * 100 wraps
}

// A port failing anywhere underneath a worker: the search goes on with the next port, the
// download and the programming run end as failures; each posts one WM_WORKER_DONE, last.
TEST(WorkerPortFault, EveryFaultPointEndsCleanly)
{
    // Program reads: 1 ping, 2-3 erase, 4-5 blank check, 6-8 first block ... 14 last block's
    // reply; writes: 1 ping, 2 erase, 3 blank check, 4 first block command, 5 its data.
    const std::tuple<char, EOp, int> points[] = {
        {'S', EOp::SetBaud, 1}, {'S', EOp::Write, 1},   {'S', EOp::Read, 1}, {'D', EOp::SetBaud, 1},
        {'D', EOp::Read, 1},    {'D', EOp::Write, 2},   {'D', EOp::Read, 2}, {'D', EOp::Write, 3},
        {'D', EOp::SetBaud, 2}, {'P', EOp::SetBaud, 1}, {'P', EOp::Read, 1}, {'P', EOp::Read, 3},
        {'P', EOp::Write, 3},   {'P', EOp::Write, 5},   {'P', EOp::Read, 14}};
    for (const auto& [cWorker, op, nth] : points)
    {
        for (const std::function<void()>& fail : FAULTS)
        {
            SCOPED_TRACE(::testing::Message() << cWorker << " op " << static_cast<int>(op) << " #" << nth
                                              << " fault " << (&fail - FAULTS));
            CTestHost host;
            CFakePort& port = host.AddPort("A");
            host.AddPort("B").QueueRead({0x11}); // a unit for the search
            bool bFired = false;
            FailAt(port, op, nth,
                   [&bFired, &fail]
                   {
                       bFired = true;
                       fail();
                   });
            if (cWorker == 'S')
            {
                SearchDeviceThread(&host);
                EXPECT_FALSE(port.IsOpen());
                EXPECT_EQ(host.GetCurrentPort(), &host.Ports()[1]);
            }
            else if (cWorker == 'D')
            {
                host.OpenAsDialog();
                port.QueueRead({0x11});
                port.QueueRead({0x01});
                DownloadKernelThread(&host);
                EXPECT_EQ(host.m_nDownloadOk, 0);
            }
            else
            {
                ReadyToProgram(host, THREE_BLOCKS, 3);
                ProgramFlashThread(&host);
                EXPECT_EQ(host.m_nProgramResult, KR_NO_ANSWER);
            }
            EXPECT_TRUE(bFired);
            EXPECT_EQ(host.EndingFault(cWorker != 'S'), "");
        }
    }
}
