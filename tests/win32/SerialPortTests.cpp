// The Win32 port against a Linux pty that Wine maps as a COM port (SerialTests.sh starts the
// peer and sets ORLIX_TEST_COM; without it the WinePty tests skip). Time bounds are generous:
// Wine adds its own latency.
#include "serial/EnumPorts.h"
#include "serial/PortHolder.h"
#include "serial/win32/Win32Serial.h"
#include "tests/serial/PortTestUtil.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>
#include <numeric>
#include <thread>

using namespace std::chrono_literals;

namespace
{
class WinePty : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (m_pszEnv == nullptr)
            GTEST_SKIP() << "needs a pty mapped as a COM port (run through SerialTests.sh)";
        // After "vanish" the peer offers a new pty within moments.
        for (int i = 0; ErrorOf([&] { m_port.Open(m_strPort, 4800); }) != 0; ++i)
        {
            ASSERT_LT(i, 40);
            std::this_thread::sleep_for(50ms);
        }
        m_port.SetTimeouts(PROTOCOL_TIMEOUTS);
    }

    void Send(const std::vector<uint8_t>& bytes)
    {
        ASSERT_EQ(m_port.Write(bytes.data(), static_cast<uint32_t>(bytes.size())), bytes.size());
    }

    const char* const m_pszEnv = std::getenv("ORLIX_TEST_COM");
    const std::string m_strPort = m_pszEnv ? m_pszEnv : "", m_strDevice = "\\\\.\\" + m_strPort;
    CSerialPort m_port;
};
} // namespace

TEST_F(WinePty, ReadsEndAtTheirTimeouts)
{
    uint8_t buf[515] = {};
    auto start = Clock::now();
    EXPECT_EQ(m_port.Read(buf, 1), 0u) << "nothing arrives";
    EXPECT_GE(MsSince(start), 700);
    EXPECT_LT(MsSince(start), 3000);

    Send({'S', 10, 20}); // ten bytes 20 ms apart, then silence
    start = Clock::now();
    ASSERT_EQ(m_port.Read(buf, sizeof buf), 10u);
    EXPECT_GE(MsSince(start), 600) << "one interval after the last byte";
    EXPECT_LT(MsSince(start), 4000) << "not the total of a 515-byte read";
    EXPECT_EQ(buf[9], 9);
}

TEST_F(WinePty, EveryByteValuePassesFlushReturnsAndPurgeDropsOnlyOlderInput)
{
    std::vector<uint8_t> frame{'E', 0, 1};
    frame.resize(3 + 256);
    std::iota(frame.begin() + 3, frame.end(), uint8_t{0});
    Send(frame);
    m_port.Flush();
    uint8_t echo[256] = {};
    ASSERT_EQ(m_port.Read(echo, sizeof echo), 256u);
    EXPECT_TRUE(std::equal(frame.begin() + 3, frame.end(), echo));

    Send({'S', 5, 0});
    SCommStatus stat;
    for (int i = 0; i < 400 && (m_port.GetStatus(stat), stat.cbInQue < 5); ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_GE(stat.cbInQue, 5u);
    m_port.Purge(PURGE_RXCLEAR);
    Send({'E', 1, 0, 0xA5});
    ASSERT_EQ(m_port.Read(echo, 8), 1u);
    EXPECT_EQ(echo[0], 0xA5);
}

TEST_F(WinePty, BaudChangeReachesTheLineAndKeepsTheOtherSettings)
{
    m_port.SetBaudRate(115200);
    SSerialState state;
    m_port.GetState(state);
    EXPECT_EQ(state.BaudRate, 115200u);
    EXPECT_EQ(state.ByteSize, 8);
    EXPECT_EQ(state.Parity, CSerialPort::NoParity);
    EXPECT_EQ(state.StopBits, CSerialPort::OneStopBit);
    EXPECT_FALSE(state.fRtsCtsFlow || state.fOutX || state.fInX);
    SCommTimeouts timeouts;
    m_port.GetTimeouts(timeouts);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, PROTOCOL_TIMEOUTS.ReadTotalTimeoutConstant);
    Send({'B'});
    char reply[8] = {};
    ASSERT_EQ(m_port.Read(reply, 7), 7u);
    EXPECT_STREQ(reply, "115200\n");
    EXPECT_EQ(ErrorOf([&] { m_port.SetBaudRate(0); }), uint32_t{ERROR_INVALID_PARAMETER});
}

TEST_F(WinePty, HeldPortIsRefusedAndLeftOutFreedPortIsListedAndOpensByEitherName)
{
    CSerialPort second;
    EXPECT_NE(ErrorOf([&] { second.Open(m_strPort, 4800); }), 0u);
    EXPECT_EQ(CSerialPort::ProbePort(m_strPort), 2) << "Windows calls a held port access denied";
    std::vector<SSerInfo> list;
    std::vector<SPortProbeFailure> failures;
    EnumerateSerialPorts(list, true, &failures);
    auto listed = [&]
    { return std::any_of(list.begin(), list.end(), [&](auto& i) { return i.devicePath == m_strDevice; }); };
    EXPECT_FALSE(listed());
    EXPECT_TRUE(std::any_of(failures.begin(), failures.end(),
                            [&](const SPortProbeFailure& f)
                            { return f.devicePath == m_strDevice && f.nError == EBUSY; }));

    m_port.Close();
    EnumerateSerialPorts(list, true, &failures);
    EXPECT_TRUE(listed()) << "the SERIALCOMM map names the port";
    CPortHolder holder;
    holder.m_explicitPorts = {m_strPort, m_strDevice, "COM99"};
    holder.UpdatePortList();
    ASSERT_EQ(holder.m_ports.size(), 2u);
    ASSERT_EQ(holder.m_probeFailures.size(), 1u);
    EXPECT_EQ(holder.m_probeFailures[0].nError, ENOENT);
    for (SSerInfo& info : holder.m_ports)
    {
        holder.m_currentPort = &info;
        EXPECT_TRUE(holder.OpenPort()) << info.devicePath;
        holder.ClosePort();
    }
}

TEST_F(WinePty, VanishedDeviceIsAnErrorNotSilence)
{
    Send({'X'});
    std::this_thread::sleep_for(200ms);
    uint8_t nByte = 0;
    const auto start = Clock::now();
    EXPECT_NE(ErrorOf([&] { m_port.Read(&nByte, 1); }), 0u); // Wine: ERROR_BROKEN_PIPE
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_NE(ErrorOf([&] { m_port.Write("x", 1); }), 0u);
}

TEST_F(WinePty, InterruptEndsABlockedReadAndLaterCallsUntilReopened)
{
    m_port.SetTimeouts(SCommTimeouts{}); // no limit: only Interrupt can end the read
    uint32_t dwError = 0;
    const auto start = Clock::now();
    std::thread reader(
        [&]
        {
            uint8_t nByte = 0;
            dwError = ErrorOf([&] { m_port.Read(&nByte, 1); });
        });
    std::this_thread::sleep_for(300ms);
    m_port.Interrupt();
    reader.join();
    EXPECT_EQ(dwError, uint32_t{ERROR_OPERATION_ABORTED});
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_EQ(ErrorOf([&] { m_port.Write("x", 1); }), uint32_t{ERROR_OPERATION_ABORTED});
    m_port.Open(m_strPort, 4800);
    m_port.SetTimeouts(PROTOCOL_TIMEOUTS);
    EXPECT_EQ(m_port.Write("x", 1), 1u);
}

TEST(SerialHelpers, ErrorTextsComeFromTheSystemAndComNamesGetTheDevicePrefix)
{
    char szBuf[256] = "x";
    unsigned nHelp = 7;
    EXPECT_TRUE(CSerialException(ERROR_ACCESS_DENIED).GetErrorMessage(szBuf, sizeof szBuf, &nHelp));
    EXPECT_NE(szBuf[0], '\0');
    EXPECT_EQ(nHelp, 0u);
    EXPECT_FALSE(CSerialException(0x2FFFFFFF).GetErrorMessage(szBuf, sizeof szBuf));
    EXPECT_STREQ(szBuf, "");
    EXPECT_EQ(CSerialException(ERROR_FILE_NOT_FOUND).GetErrorMessage(),
              std::string(CSerialException(ERROR_FILE_NOT_FOUND).what()));
    EXPECT_EQ(DeviceNameOf("com12"), "\\\\.\\com12");
    EXPECT_EQ(DeviceNameOf("\\\\.\\COM12"), "\\\\.\\COM12");
    EXPECT_EQ(DeviceNameOf("COMX"), "COMX");
}
