// The Win32 port against a Linux pty that Wine maps as a COM port (SerialTests.sh starts the
// peer, SerialPeer.py, and sets ORLIX_TEST_COM); without it the WinePty tests skip. Time bounds
// are generous: Wine adds its own latency on top of the deadlines.
#include "serial/EnumPorts.h"
#include "serial/PortHolder.h"
#include "serial/SerialPort.h"
#include "serial/win32/Win32Serial.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <numeric>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace
{
constexpr SCommTimeouts PROTOCOL_TIMEOUTS{500, 50, 750, 20, 100};

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

template <typename F> uint32_t ErrorOf(F&& f)
{
    try
    {
        f();
    }
    catch (const CSerialException& ex)
    {
        return ex.m_errorCode;
    }
    return 0;
}

class WinePty : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* pszPort = std::getenv("ORLIX_TEST_COM");
        if (pszPort == nullptr)
            GTEST_SKIP() << "needs a pty mapped as a COM port (run through SerialTests.sh)";
        m_strPort = pszPort;
        // After a test made the peer vanish, it offers a new pty within moments.
        for (int i = 0;; ++i)
        {
            try
            {
                m_port.Open(m_strPort, 4800);
                break;
            }
            catch (const CSerialException&)
            {
                if (i == 40)
                    throw;
                std::this_thread::sleep_for(50ms);
            }
        }
        m_port.SetTimeouts(PROTOCOL_TIMEOUTS);
    }

    void Send(const std::vector<uint8_t>& bytes)
    {
        ASSERT_EQ(m_port.Write(bytes.data(), static_cast<uint32_t>(bytes.size())), bytes.size());
    }

    void WaitForInput(uint32_t nCount)
    {
        SCommStatus stat;
        m_port.GetStatus(stat);
        for (int i = 0; i < 400 && stat.cbInQue < nCount; ++i)
        {
            std::this_thread::sleep_for(5ms);
            m_port.GetStatus(stat);
        }
        ASSERT_GE(stat.cbInQue, nCount) << "input did not arrive";
    }

    std::string m_strPort;
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
    for (uint8_t i = 0; i < 10; ++i)
        EXPECT_EQ(buf[i], i);
}

TEST_F(WinePty, EveryByteValuePassesBothWaysAndFlushReturns)
{
    std::vector<uint8_t> frame{'E', 0, 1};
    frame.resize(3 + 256);
    std::iota(frame.begin() + 3, frame.end(), uint8_t{0});
    Send(frame);
    m_port.Flush();
    uint8_t echo[256] = {};
    ASSERT_EQ(m_port.Read(echo, sizeof echo), 256u);
    EXPECT_TRUE(std::equal(frame.begin() + 3, frame.end(), echo));
}

TEST_F(WinePty, PurgeDropsOnlyOlderInput)
{
    Send({'S', 5, 0});
    WaitForInput(5);
    m_port.Purge(PURGE_RXCLEAR);
    Send({'E', 1, 0, 0xA5});
    uint8_t buf[8] = {};
    ASSERT_EQ(m_port.Read(buf, sizeof buf), 1u);
    EXPECT_EQ(buf[0], 0xA5);
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

TEST_F(WinePty, SecondOpenIsRefusedWhileHeldAndTheListLeavesThePortOut)
{
    CSerialPort second;
    EXPECT_NE(ErrorOf([&] { second.Open(m_strPort, 4800); }), 0u);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(CSerialPort::ProbePort(m_strPort), 2) << "Windows calls a held port access denied";

    std::vector<SSerInfo> list;
    std::vector<SPortProbeFailure> failures;
    EnumerateSerialPorts(list, true, &failures);
    const std::string strDevice = "\\\\.\\" + m_strPort;
    EXPECT_TRUE(
        std::none_of(list.begin(), list.end(), [&](const SSerInfo& i) { return i.devicePath == strDevice; }));
    EXPECT_TRUE(std::any_of(failures.begin(), failures.end(),
                            [&](const SPortProbeFailure& f)
                            { return f.devicePath == strDevice && f.nError == EBUSY; }));

    m_port.Close();
    EnumerateSerialPorts(list, true, &failures);
    const auto it =
        std::find_if(list.begin(), list.end(), [&](const SSerInfo& i) { return i.devicePath == strDevice; });
    ASSERT_NE(it, list.end()) << "the SERIALCOMM map names the port";
    EXPECT_EQ(it->friendlyName, m_strPort);
    second.Open(m_strPort, 4800);
    EXPECT_TRUE(second.IsOpen());
}

TEST_F(WinePty, ExplicitPortsOpenByBareAndDeviceNames)
{
    m_port.Close();
    CPortHolder holder;
    holder.m_explicitPorts = {m_strPort, "\\\\.\\" + m_strPort, "COM99"};
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
    const uint32_t dwError = ErrorOf([&] { m_port.Read(&nByte, 1); });
    EXPECT_NE(dwError, 0u); // Wine: ERROR_BROKEN_PIPE; Windows: the driver's removal error
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

TEST(SerialException, TextsComeFromTheSystem)
{
    char szBuf[256] = "x";
    unsigned nHelp = 7;
    EXPECT_TRUE(CSerialException(ERROR_ACCESS_DENIED).GetErrorMessage(szBuf, sizeof szBuf, &nHelp));
    EXPECT_NE(szBuf[0], '\0');
    EXPECT_EQ(nHelp, 0u);
    EXPECT_FALSE(CSerialException(0x2FFFFFFF).GetErrorMessage(szBuf, sizeof szBuf));
    EXPECT_STREQ(szBuf, "");
    CSerialException(ERROR_ACCESS_DENIED).GetErrorMessage(szBuf, 1);
    EXPECT_STREQ(szBuf, "");
    EXPECT_EQ(CSerialException(ERROR_FILE_NOT_FOUND).GetErrorMessage(),
              std::string(CSerialException(ERROR_FILE_NOT_FOUND).what()));
}

TEST(SerialDcb, FlowControlRowsSetOnlyTheirFields)
{
    struct SRow
    {
        int nFlow;
        BOOL bCts, bDsr;
        DWORD dwRts, dwDtr;
        BOOL bXonXoff;
    };
    // The device's modes before: RTS and DTR on, every handshake off, XON/XOFF characters zero.
    constexpr DWORD ON_RTS = RTS_CONTROL_ENABLE, ON_DTR = DTR_CONTROL_ENABLE;
    const SRow rows[] = {
        {0, FALSE, FALSE, ON_RTS, ON_DTR, FALSE},
        {1, TRUE, FALSE, RTS_CONTROL_HANDSHAKE, ON_DTR, FALSE},
        {2, TRUE, FALSE, ON_RTS, DTR_CONTROL_HANDSHAKE, FALSE},
        {3, FALSE, TRUE, RTS_CONTROL_HANDSHAKE, ON_DTR, FALSE},
        {4, FALSE, TRUE, ON_RTS, DTR_CONTROL_HANDSHAKE, FALSE},
        {5, FALSE, FALSE, ON_RTS, ON_DTR, TRUE},
        {6, TRUE, TRUE, ON_RTS, ON_DTR, TRUE}, // outside the table: all left as they were
    };
    for (const SRow& row : rows)
    {
        SCOPED_TRACE(row.nFlow);
        DCB dcb{};
        dcb.fRtsControl = ON_RTS;
        dcb.fDtrControl = ON_DTR;
        dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = row.nFlow == 6;
        ApplyFlowControl(static_cast<CSerialPort::FlowControl>(row.nFlow), dcb);
        EXPECT_EQ(dcb.fOutxCtsFlow, DWORD(row.bCts));
        EXPECT_EQ(dcb.fOutxDsrFlow, DWORD(row.bDsr));
        EXPECT_EQ(dcb.fRtsControl, row.dwRts);
        EXPECT_EQ(dcb.fDtrControl, row.dwDtr);
        EXPECT_EQ(dcb.fOutX && dcb.fInX, row.bXonXoff != FALSE);
        const bool bXonXoffRow = row.nFlow == 5;
        EXPECT_EQ(dcb.XonChar == 0x11 && dcb.XoffChar == 0x13 && dcb.XonLim == 100 && dcb.XoffLim == 100,
                  bXonXoffRow);
    }
    EXPECT_EQ(DeviceNameOf("com12"), "\\\\.\\com12");
    EXPECT_EQ(DeviceNameOf("\\\\.\\COM12"), "\\\\.\\COM12");
    EXPECT_EQ(DeviceNameOf("COMX"), "COMX");
}
