// CSerialPort on a pseudo-terminal: the port opens the slave by name, the test is the far end.
// Time bounds are generous on the slow side; lower bounds follow from the deadlines themselves.
#include "tests/serial/posix/PtyPair.h"

#include "serial/SerialPort.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <numeric>
#include <sys/ioctl.h>
#include <thread>
#include <time.h>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace
{
constexpr SCommTimeouts PROTOCOL_TIMEOUTS{500, 50, 750, 20, 100};

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// CPU time this thread has used.
long long ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

// Runs f, which must throw CSerialException; returns its code (0 when it did not throw).
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

class PtySerialPort : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_port.Open(m_pty.SlaveName(), 4800, CSerialPort::NoParity, 8, CSerialPort::OneStopBit);
        m_port.SetTimeouts(PROTOCOL_TIMEOUTS);
    }

    // Waits (bounded) until the port has nCount unread bytes: the pty delivers asynchronously.
    void WaitForInput(uint32_t nCount)
    {
        const auto start = Clock::now();
        SCommStatus stat;
        do
        {
            m_port.GetStatus(stat);
            if (stat.cbInQue >= nCount)
                return;
            std::this_thread::sleep_for(5ms);
        } while (Clock::now() - start < 5s);
        FAIL() << "input did not arrive";
    }

    CPtyPair m_pty;
    CSerialPort m_port;
};
} // namespace

TEST_F(PtySerialPort, OneByteReadWithNothingArrivingEndsAtTheTotalTimeout)
{
    uint8_t byte = 0;
    const auto start = Clock::now();
    const auto cpuStart = ThreadCpuMs();
    EXPECT_EQ(m_port.Read(&byte, 1), 0u);
    const auto ms = MsSince(start);
    EXPECT_GE(ms, 800);
    EXPECT_LT(ms, 2500);
    EXPECT_LT(ThreadCpuMs() - cpuStart, 200) << "the wait spins"; // sleeping costs next to nothing
}

TEST_F(PtySerialPort, LongReadEndsOneIntervalAfterTheLastByte)
{
    Clock::time_point sent;
    std::thread far(
        [&]
        {
            std::this_thread::sleep_for(100ms);
            sent = Clock::now();
            m_pty.Send("0123456789");
        });
    std::vector<uint8_t> buf(515);
    const uint32_t n = m_port.Read(buf.data(), 515);
    const auto done = Clock::now();
    far.join();
    ASSERT_EQ(n, 10u);
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + 10), "0123456789");
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(done - sent).count();
    EXPECT_GE(ms, 500);
    EXPECT_LT(ms, 3000); // far below the 26.5 s total
}

TEST_F(PtySerialPort, IntervalRestartsWithEveryByte)
{
    m_port.SetTimeouts(SCommTimeouts{1000, 0, 20000, 0, 0});
    std::thread far(
        [&]
        {
            for (int i = 0; i < 4; ++i)
            {
                std::this_thread::sleep_for(200ms);
                m_pty.Send("abc");
            }
        });
    std::vector<uint8_t> buf(100);
    const auto start = Clock::now();
    const uint32_t n = m_port.Read(buf.data(), 100);
    far.join();
    EXPECT_EQ(n, 12u);
    EXPECT_GE(MsSince(start), 1800); // last chunk at >= 800 ms, then the 1 s interval
}

TEST_F(PtySerialPort, TotalTimeoutCapsATrickle)
{
    m_port.SetTimeouts(SCommTimeouts{1000, 100, 500, 0, 0}); // 10 bytes: 1.5 s in all
    std::atomic<bool> bStop{false};
    std::thread far(
        [&]
        {
            while (!bStop)
            {
                m_pty.Send("x");
                std::this_thread::sleep_for(200ms);
            }
        });
    std::vector<uint8_t> buf(10);
    const auto start = Clock::now();
    const uint32_t n = m_port.Read(buf.data(), 10);
    const auto ms = MsSince(start);
    bStop = true;
    far.join();
    EXPECT_GE(n, 1u);
    EXPECT_LT(n, 10u);
    EXPECT_GE(ms, 1500);
    EXPECT_LT(ms, 3500);
}

TEST_F(PtySerialPort, NoWaitAndFirstByteModes)
{
    std::vector<uint8_t> buf(100);
    m_port.SetNoWaitTimeouts();
    auto start = Clock::now();
    EXPECT_EQ(m_port.Read(buf.data(), 100), 0u);
    EXPECT_LT(MsSince(start), 500);
    m_pty.Send("abc");
    WaitForInput(3);
    EXPECT_EQ(m_port.Read(buf.data(), 100), 3u);

    // Wait up to the constant for the first byte, then return with what came.
    m_port.SetTimeouts(SCommTimeouts{MAXDWORD_TIMEOUT, MAXDWORD_TIMEOUT, 300, 0, 0});
    start = Clock::now();
    EXPECT_EQ(m_port.Read(buf.data(), 100), 0u);
    EXPECT_GE(MsSince(start), 300);

    m_port.SetTimeouts(SCommTimeouts{MAXDWORD_TIMEOUT, MAXDWORD_TIMEOUT, 10000, 0, 0});
    std::thread far(
        [&]
        {
            std::this_thread::sleep_for(100ms);
            m_pty.Send("hello");
        });
    start = Clock::now();
    const uint32_t n = m_port.Read(buf.data(), 100);
    far.join();
    EXPECT_GE(n, 1u);
    EXPECT_LT(MsSince(start), 5000);

    // SetNoWaitReads keeps the write time-outs.
    m_port.SetTimeouts(PROTOCOL_TIMEOUTS);
    m_port.SetNoWaitReads();
    SCommTimeouts timeouts;
    m_port.GetTimeouts(timeouts);
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD_TIMEOUT);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 20u);
    m_port.DisableWriteTimeouts();
    m_port.GetTimeouts(timeouts);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 0u);
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD_TIMEOUT);
}

TEST_F(PtySerialPort, EveryByteValuePassesUnalteredBothWays)
{
    std::vector<uint8_t> all(256);
    std::iota(all.begin(), all.end(), uint8_t{0});

    EXPECT_EQ(m_port.Write(all.data(), 256), 256u);
    m_port.Flush();
    EXPECT_EQ(m_pty.Receive(256, 5s), all);

    m_pty.Send(all);
    std::vector<uint8_t> got(256);
    EXPECT_EQ(m_port.Read(got.data(), 256), 256u);
    EXPECT_EQ(got, all);
    EXPECT_EQ(m_port.Write(all.data(), 0), 0u);
    EXPECT_EQ(m_port.Read(got.data(), 0), 0u);
}

TEST_F(PtySerialPort, PurgeDropsOnlyOlderInput)
{
    m_pty.Send("old");
    WaitForInput(3);
    m_port.Purge(PURGE_RXCLEAR);
    SCommStatus stat;
    m_port.GetStatus(stat);
    EXPECT_EQ(stat.cbInQue, 0u);
    m_pty.Send("new");
    uint8_t buf[8] = {};
    ASSERT_EQ(m_port.Read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf, buf + 3), "new");

    // An aborted read leaves received data alone; unknown flags are refused.
    m_pty.Send("keep");
    WaitForInput(4);
    m_port.Purge(PURGE_RXABORT);
    m_port.Purge(PURGE_TXABORT | PURGE_TXCLEAR);
    EXPECT_EQ(m_port.Read(buf, 4), 4u);
    EXPECT_EQ(ErrorOf([&] { m_port.Purge(0x10); }), uint32_t(EINVAL));
}

TEST_F(PtySerialPort, BaudChangeKeepsEverythingElse)
{
    SSerialState before;
    m_port.GetState(before);
    EXPECT_EQ(before.BaudRate, 4800u);
    EXPECT_EQ(before.ByteSize, 8);
    EXPECT_EQ(before.Parity, CSerialPort::NoParity);
    EXPECT_EQ(before.StopBits, CSerialPort::OneStopBit);
    EXPECT_FALSE(before.fRtsCtsFlow || before.fOutX || before.fInX);

    for (const uint32_t dwBaud : {115200u, 250000u, 31250u, 4800u})
    {
        m_port.SetBaudRate(dwBaud);
        SSerialState after;
        m_port.GetState(after);
        EXPECT_EQ(after.BaudRate, dwBaud);
        EXPECT_EQ(after.ByteSize, before.ByteSize);
        EXPECT_EQ(after.Parity, before.Parity);
        EXPECT_EQ(after.StopBits, before.StopBits);
        EXPECT_EQ(after.fRtsCtsFlow, before.fRtsCtsFlow);
        EXPECT_EQ(after.fOutX, before.fOutX);
        SCommTimeouts timeouts;
        m_port.GetTimeouts(timeouts);
        EXPECT_EQ(timeouts.ReadIntervalTimeout, 500u);
        EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 50u);
        EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 750u);
        EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 20u);
        EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 100u);
    }
    // Rate 0 would hang the line up: refused, nothing changed.
    EXPECT_EQ(ErrorOf([&] { m_port.SetBaudRate(0); }), uint32_t(EINVAL));
    SSerialState last;
    m_port.GetState(last);
    EXPECT_EQ(last.BaudRate, 4800u);
    // The line still carries data raw after the changes.
    m_port.SetBaudRate(115200);
    m_pty.Send("\r\n");
    uint8_t buf[2];
    ASSERT_EQ(m_port.Read(buf, 2), 2u);
    EXPECT_EQ(buf[0], '\r');
    EXPECT_EQ(buf[1], '\n');
}

TEST_F(PtySerialPort, SecondOpenIsRefusedWhileHeld)
{
    CSerialPort other;
    EXPECT_EQ(ErrorOf([&] { other.Open(m_pty.SlaveName(), 4800); }), uint32_t(EBUSY));
    EXPECT_FALSE(other.IsOpen());
    EXPECT_EQ(CSerialPort::ProbePort(m_pty.SlaveName()), -1);
    EXPECT_EQ(CSerialPort::TryOpen(m_pty.SlaveName()), uint32_t(EBUSY));

    m_port.Close();
    EXPECT_EQ(CSerialPort::ProbePort(m_pty.SlaveName()), 0);
    other.Open(m_pty.SlaveName(), 4800);
    EXPECT_TRUE(other.IsOpen());
}

TEST_F(PtySerialPort, ClosingLeavesNoExclusiveFlagBehind)
{
    // A pty slave keeps its tty (and the flag) while the master lives; a flag left set would
    // refuse every later open by an unprivileged user. Root passes the flag, so read it back.
    const auto ExclusiveFlag = [&]
    {
        const int fd = ::open(m_pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        int nExcl = -1;
        if (fd >= 0)
        {
            ::ioctl(fd, TIOCGEXCL, &nExcl);
            ::close(fd);
        }
        return nExcl;
    };
    EXPECT_NE(ExclusiveFlag(), 0); // set (root) or the open refused (-1)
    m_port.Close();
    EXPECT_EQ(ExclusiveFlag(), 0);
    EXPECT_EQ(CSerialPort::TryOpen(m_pty.SlaveName()), 0u);
    EXPECT_EQ(ExclusiveFlag(), 0); // nor does the probe
}

TEST(PtySerialPortProbe, ResultCodes)
{
    CTempFolder dir;
    EXPECT_EQ(CSerialPort::ProbePort(dir.Path() + "/ttyUSB7"), 1);
    const std::string strFile = dir.Path() + "/file";
    std::ofstream(strFile) << "x";
    EXPECT_EQ(CSerialPort::ProbePort(strFile), -1);
    EXPECT_EQ(CSerialPort::TryOpen(strFile), uint32_t(ENOTTY));
    CPtyPair pty;
    EXPECT_EQ(CSerialPort::ProbePort(pty.SlaveName()), 0);
}

TEST_F(PtySerialPort, HangUpIsAnErrorNotSilence)
{
    m_port.SetTimeouts(SCommTimeouts{0, 0, 10000, 0, 0});
    m_pty.CloseMaster();
    uint8_t byte = 0;
    const auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { m_port.Read(&byte, 1); }), uint32_t(EIO));
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_NE(ErrorOf([&] { m_port.Write("x", 1); }), 0u);
    EXPECT_NE(ErrorOf([&] { m_port.Flush(); }), 0u);
    EXPECT_TRUE(m_port.IsOpen()); // closing is the owner's decision
}

TEST_F(PtySerialPort, HangUpEndsABlockedRead)
{
    m_port.SetTimeouts(SCommTimeouts{}); // no time-out at all
    std::thread far(
        [&]
        {
            std::this_thread::sleep_for(200ms);
            m_pty.CloseMaster();
        });
    uint8_t buf[4];
    const auto start = Clock::now();
    const uint32_t code = ErrorOf([&] { m_port.Read(buf, 4); });
    far.join();
    EXPECT_EQ(code, uint32_t(EIO));
    EXPECT_LT(MsSince(start), 5000);
}

TEST_F(PtySerialPort, InterruptEndsBlockedReadsUntilReopened)
{
    m_port.SetTimeouts(SCommTimeouts{}); // a read that would wait for ever
    std::thread closer(
        [&]
        {
            std::this_thread::sleep_for(200ms);
            m_port.Interrupt();
        });
    uint8_t buf[4];
    const auto start = Clock::now();
    const uint32_t code = ErrorOf([&] { m_port.Read(buf, 4); });
    closer.join();
    EXPECT_EQ(code, uint32_t(ECANCELED));
    EXPECT_LT(MsSince(start), 5000);

    // Sticky: later waits end at once, data or not.
    m_pty.Send("abcd");
    EXPECT_EQ(ErrorOf([&] { m_port.Read(buf, 4); }), uint32_t(ECANCELED));
    EXPECT_EQ(ErrorOf([&] { m_port.Write(buf, 4); }), uint32_t(ECANCELED));
    EXPECT_EQ(ErrorOf([&] { m_port.Flush(); }), uint32_t(ECANCELED));

    m_port.Close();
    m_port.Open(m_pty.SlaveName(), 4800);
    m_port.SetTimeouts(PROTOCOL_TIMEOUTS);
    m_pty.Send("wxyz");
    EXPECT_EQ(m_port.Read(buf, 4), 4u);
}

TEST_F(PtySerialPort, WriteTimesOutWithTheCountAcceptedAndCanBeInterrupted)
{
    // Nobody reads the master: the pty's buffers fill and the rest is not accepted.
    std::vector<uint8_t> big(4 * 1024 * 1024, 0x55);
    m_port.SetTimeouts(SCommTimeouts{0, 0, 0, 0, 300});
    auto start = Clock::now();
    const uint32_t n = m_port.Write(big.data(), static_cast<uint32_t>(big.size()));
    EXPECT_GT(n, 0u);
    EXPECT_LT(n, big.size());
    EXPECT_GE(MsSince(start), 300);
    EXPECT_LT(MsSince(start), 3000);

    m_port.DisableWriteTimeouts(); // now it would wait for ever
    std::thread closer(
        [&]
        {
            std::this_thread::sleep_for(200ms);
            m_port.Interrupt();
        });
    start = Clock::now();
    const uint32_t code = ErrorOf([&] { m_port.Write(big.data(), 1000); });
    closer.join();
    EXPECT_EQ(code, uint32_t(ECANCELED));
    EXPECT_LT(MsSince(start), 5000);
}

TEST_F(PtySerialPort, FlowControlSettings)
{
    m_port.Open(m_pty.SlaveName(), 9600, CSerialPort::NoParity, 8, CSerialPort::OneStopBit,
                CSerialPort::XonXoffFlowControl);
    SSerialState state;
    m_port.GetState(state);
    EXPECT_EQ(state.BaudRate, 9600u);
    EXPECT_TRUE(state.fOutX);
    EXPECT_TRUE(state.fInX);
    EXPECT_EQ(state.XonChar, 0x11);
    EXPECT_EQ(state.XoffChar, 0x13);

    m_port.Open(m_pty.SlaveName(), 4800, CSerialPort::NoParity, 8, CSerialPort::OneStopBit,
                CSerialPort::NoFlowControl);
    m_port.GetState(state);
    EXPECT_FALSE(state.fOutX || state.fInX || state.fRtsCtsFlow);

    // A handshake termios cannot express: refused, the device stays open as documented.
    EXPECT_EQ(ErrorOf(
                  [&]
                  {
                      m_port.Open(m_pty.SlaveName(), 4800, CSerialPort::NoParity, 8, CSerialPort::OneStopBit,
                                  CSerialPort::DsrDtrFlowControl);
                  }),
              uint32_t(ENOTSUP));
    EXPECT_TRUE(m_port.IsOpen());
    // A pty has no parity: the driver drops it, which is reported instead of ignored (the C
    // library may notice first and say EINVAL).
    const uint32_t code = ErrorOf([&] { m_port.Open(m_pty.SlaveName(), 4800, CSerialPort::EvenParity, 7); });
    EXPECT_TRUE(code == ENOTSUP || code == EINVAL) << code;
}

TEST_F(PtySerialPort, StateRoundTripAndLineControls)
{
    SCommConfig config;
    m_port.GetConfig(config);
    config.dcb.BaudRate = 57600;
    config.dcb.fOutX = true;
    config.dcb.XoffChar = 0x14;
    m_port.SetConfig(config);
    SSerialState state;
    m_port.GetState(state);
    EXPECT_EQ(state.BaudRate, 57600u);
    EXPECT_TRUE(state.fOutX);
    EXPECT_FALSE(state.fInX);
    EXPECT_EQ(state.XoffChar, 0x14);
    state.BaudRate = 0;
    EXPECT_EQ(ErrorOf([&] { m_port.SetState(state); }), uint32_t(EINVAL));

    m_port.SetBreak();
    m_port.ClearBreak();
    m_port.TransmitChar('Z');
    EXPECT_EQ(m_pty.Receive(1, 5s), std::vector<uint8_t>{'Z'});
    // A pty has no modem lines: the system's own error comes through.
    uint32_t dwStatus = 0;
    EXPECT_EQ(ErrorOf([&] { m_port.GetModemStatus(dwStatus); }), uint32_t(ENOTTY));
}

TEST_F(PtySerialPort, ClosedPortRefusesIoAndForgetsAnInterrupt)
{
    m_port.Close();
    m_port.Close(); // idempotent
    EXPECT_FALSE(m_port.IsOpen());
    uint8_t byte = 0;
    EXPECT_EQ(ErrorOf([&] { m_port.Read(&byte, 1); }), uint32_t(EBADF));
    EXPECT_EQ(ErrorOf([&] { m_port.SetTimeouts(PROTOCOL_TIMEOUTS); }), uint32_t(EBADF));
    m_port.Interrupt(); // harmless while closed; ends with the next Open
    m_port.Open(m_pty.SlaveName(), 4800);
    m_port.SetNoWaitTimeouts();
    EXPECT_EQ(m_port.Read(&byte, 1), 0u);
}

TEST_F(PtySerialPort, DetachAndAttachHandOverTheDevice)
{
    const intptr_t handle = m_port.Detach();
    EXPECT_FALSE(m_port.IsOpen());
    ASSERT_GE(handle, 0);
    CSerialPort other;
    other.Attach(handle);
    EXPECT_TRUE(other.IsOpen());
    EXPECT_EQ(static_cast<intptr_t>(other), handle);
    other.SetTimeouts(PROTOCOL_TIMEOUTS);
    m_pty.Send("hi");
    uint8_t buf[2];
    EXPECT_EQ(other.Read(buf, 2), 2u);
    other.Close();
    EXPECT_EQ(CSerialPort::ProbePort(m_pty.SlaveName()), 0); // closing the handle freed the device
}
