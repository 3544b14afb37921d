// CSerialPort and CPortHolder (the fixed open, the port lock of each device) on a pseudo-terminal:
// the port opens the slave by name, the test is the far end.
// Time bounds are generous on the slow side; lower bounds follow from the deadlines themselves.
#include "tests/serial/PortTestUtil.h"
#include "tests/serial/posix/PtyPair.h"

#include "serial/PortHolder.h"
#include "serial/PortLock.h"

#include <cerrno>
#include <ctime>
#include <future>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <thread>

using namespace std::chrono_literals;

namespace
{
long long CpuMs()
{
    return static_cast<long long>(std::clock()) * 1000 / CLOCKS_PER_SEC;
}

class PtySerialPort : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_port.Open(m_pty.SlaveName(), 4800, CSerialPort::NoParity, 8, CSerialPort::OneStopBit);
        m_port.SetTimeouts(PROTOCOL_TIMEOUTS);
    }
    CPtyPair m_pty;
    CSerialPort m_port;
};
} // namespace

TEST_F(PtySerialPort, ReadDeadlines)
{
    // One byte with nothing arriving: the total time-out (50 + 750 ms), waited without spinning.
    uint8_t byte = 0;
    auto start = Clock::now();
    const auto cpuStart = CpuMs();
    EXPECT_EQ(m_port.Read(&byte, 1), 0u);
    EXPECT_GE(MsSince(start), 800);
    EXPECT_LT(MsSince(start), 2500);
    EXPECT_LT(CpuMs() - cpuStart, 200) << "the wait spins";
    // A long read ends one interval (500 ms) after the last byte, far below its 26.5 s total.
    std::thread far(
        [&]
        {
            std::this_thread::sleep_for(100ms);
            start = Clock::now();
            m_pty.Send("0123456789");
        });
    std::vector<uint8_t> buf(515);
    const uint32_t n = m_port.Read(buf.data(), 515);
    far.join();
    EXPECT_GE(MsSince(start), 500);
    EXPECT_LT(MsSince(start), 3000);
    ASSERT_EQ(n, 10u);
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + 10), "0123456789");
}

TEST_F(PtySerialPort, SecondOpenIsRefusedWhileHeldAndClosingLeavesNoExclusiveFlagBehind)
{
    CSerialPort other;
    EXPECT_EQ(ErrorOf([&] { other.Open(m_pty.SlaveName(), 4800); }), uint32_t(EBUSY));
    EXPECT_FALSE(other.IsOpen());
    // A pty slave keeps its tty (and the flag) while the master lives; a flag left set would
    // refuse every later open by an unprivileged user. Root passes the flag, so read it back.
    const auto ExclusiveFlag = [&]
    {
        const int fd = ::open(m_pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        int nExcl = -1;
        if (fd >= 0 && (::ioctl(fd, TIOCGEXCL, &nExcl), true))
            ::close(fd);
        return nExcl;
    };
    EXPECT_NE(ExclusiveFlag(), 0); // set (root) or the open refused (-1)
    m_port.Close();
    EXPECT_EQ(ExclusiveFlag(), 0);
    EXPECT_EQ(CSerialPort::TryOpen(m_pty.SlaveName()), 0u);
    EXPECT_EQ(ExclusiveFlag(), 0); // nor does the probe
}

TEST_F(PtySerialPort, HangUpIsAnErrorNotSilenceAndNotASpin)
{
    m_port.SetTimeouts(SCommTimeouts{0, 0, 10000, 0, 0});
    m_pty.CloseMaster();
    uint8_t byte = 0;
    const auto start = Clock::now();
    const auto cpuStart = CpuMs();
    EXPECT_EQ(ErrorOf([&] { m_port.Read(&byte, 1); }), uint32_t(EIO));
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_LT(CpuMs() - cpuStart, 200) << "the wait spins";
    EXPECT_NE(ErrorOf([&] { m_port.Write("x", 1); }), 0u);
    EXPECT_NE(ErrorOf([&] { m_port.Flush(); }), 0u);
    EXPECT_TRUE(m_port.IsOpen()); // closing is the owner's decision
}

TEST_F(PtySerialPort, InterruptFromAnotherThreadEndsBlockedCallsUntilReopened)
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
    EXPECT_EQ(ErrorOf([&] { m_port.Read(buf, 4); }), uint32_t(ECANCELED));
    closer.join();
    EXPECT_LT(MsSince(start), 5000);
    // Sticky: later calls end at once, data or not.
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

// A descriptor as another program may hand it over: opened blocking, its line left as the
// system made it (canonical) or set to return at once (VMIN 0), where read() gives 0 for "no
// data yet" rather than for a hang-up.
TEST(PtyAttachedPort, ReadOnALineNobodySetUpWaitsForItsTimeout)
{
    for (const bool bMinZero : {false, true})
    {
        SCOPED_TRACE(bMinZero ? "VMIN 0" : "as the system made it");
        CPtyPair pty;
        const int fd = ::open(pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio); // VTIME 0
        tio.c_cc[VMIN] = 0;
        if (bMinZero)
            ::tcsetattr(fd, TCSANOW, &tio);
        CSerialPort port;
        port.Attach(fd);
        port.SetTimeouts(SCommTimeouts{0, 0, 300, 0, 0});
        uint8_t byte = 0;
        const auto start = Clock::now();
        EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(port.Read(&byte, 1), 0u); }), 0u);
        EXPECT_GE(MsSince(start), 300);
        pty.CloseMaster();
        EXPECT_EQ(ErrorOf([&] { port.Read(&byte, 1); }), uint32_t(EIO)) << "a hang-up still is one";
    }
}

TEST(PtyPortHolder, OpenPortAppliesTheFixedLineAndOnlyItsOwnClosePortReleasesTheLock)
{
    CPtyPair pty;
    SSerInfo port;
    port.devicePath = pty.SlaveName();
    CPortHolder holder;
    holder.m_currentPort = &port;
    const auto LockIsFree = [&] { return !IsSerialPortLocked(port.devicePath); };
    ASSERT_TRUE(holder.OpenPort());
    EXPECT_FALSE(LockIsFree());
    SSerialState s;
    holder.m_port.GetState(s);
    SCommTimeouts t;
    holder.m_port.GetTimeouts(t);
    EXPECT_EQ(std::vector<int64_t>({s.BaudRate, s.ByteSize, s.Parity, s.StopBits, t.ReadIntervalTimeout,
                                    t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                                    t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant}),
              std::vector<int64_t>(
                  {4800, 8, CSerialPort::NoParity, CSerialPort::OneStopBit, 500, 50, 750, 20, 100}));
    ASSERT_TRUE(holder.OpenPort()); // again without ClosePort: reopens, does not lock twice
    CPortHolder().ClosePort();      // without an open port: releases nothing, nor does its destructor
    EXPECT_FALSE(LockIsFree());
    EXPECT_TRUE(holder.m_port.IsOpen());
    holder.ClosePort();
    EXPECT_FALSE(holder.m_port.IsOpen());
    EXPECT_TRUE(LockIsFree());
    holder.ClosePort(); // again: nothing left to release
    EXPECT_TRUE(LockIsFree());
}

TEST(PtyPortHolder, APortNamedTwiceIsListedOnceAndDifferentDevicesOpenAtOnceButOneDeviceWaits)
{
    CPtyPair ptyA, ptyB;
    SSerInfo portA, portB;
    portA.devicePath = ptyA.SlaveName();
    portB.devicePath = ptyB.SlaveName();
    CPortHolder first, other, second;
    first.m_explicitPorts = {portA.devicePath, portB.devicePath, portA.devicePath};
    first.UpdatePortList();
    EXPECT_EQ(first.m_ports.size(), 2u) << "a port named twice is listed once";
    first.m_currentPort = second.m_currentPort = &portA;
    other.m_currentPort = &portB;
    ASSERT_TRUE(first.OpenPort());
    ASSERT_TRUE(other.OpenPort()); // one lock for every device would hang here
    auto opened = std::async(std::launch::async, [&] { return second.OpenPort(); });
    EXPECT_EQ(opened.wait_for(200ms), std::future_status::timeout)
        << "opened a device held by another holder";
    first.ClosePort();
    EXPECT_TRUE(opened.get());
    second.ClosePort(); // on another thread than the one that opened
    other.ClosePort();
    EXPECT_FALSE(IsSerialPortLocked(portA.devicePath));
    EXPECT_FALSE(IsSerialPortLocked(portB.devicePath));
}
