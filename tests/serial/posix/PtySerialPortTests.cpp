// CSerialPort on a pseudo-terminal: the port opens the slave by name, the test is the far end.
// Time bounds are generous on the slow side; lower bounds follow from the deadlines themselves.
#include "tests/serial/posix/PtyPair.h"

#include "serial/SerialPort.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>
#include <numeric>
#include <sys/ioctl.h>
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

long long CpuMs()
{
    return static_cast<long long>(std::clock()) * 1000 / CLOCKS_PER_SEC;
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
        SCommStatus stat;
        m_port.GetStatus(stat);
        for (int i = 0; i < 1000 && stat.cbInQue < nCount; ++i)
        {
            std::this_thread::sleep_for(5ms);
            m_port.GetStatus(stat);
        }
        ASSERT_GE(stat.cbInQue, nCount) << "input did not arrive";
    }

    CPtyPair m_pty;
    CSerialPort m_port;
};
} // namespace

TEST_F(PtySerialPort, OneByteReadWithNothingArrivingEndsAfterTheTotalTimeoutWithoutSpinning)
{
    uint8_t byte = 0;
    const auto start = Clock::now();
    const auto cpuStart = CpuMs();
    EXPECT_EQ(m_port.Read(&byte, 1), 0u);
    EXPECT_GE(MsSince(start), 800);
    EXPECT_LT(MsSince(start), 2500);
    EXPECT_LT(CpuMs() - cpuStart, 200) << "the wait spins";
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

TEST_F(PtySerialPort, EveryByteValuePassesUnalteredBothWays)
{
    std::vector<uint8_t> all(256);
    std::iota(all.begin(), all.end(), uint8_t{0});
    EXPECT_EQ(m_port.Write(all.data(), 256), 256u);
    m_port.Flush();
    EXPECT_EQ(m_pty.Receive(256, 5s), all);

    m_pty.Send(std::string(all.begin(), all.end()));
    std::vector<uint8_t> got(256);
    EXPECT_EQ(m_port.Read(got.data(), 256), 256u);
    EXPECT_EQ(got, all);
}

TEST_F(PtySerialPort, PurgeDropsOnlyOlderInput)
{
    m_pty.Send("old");
    WaitForInput(3);
    m_port.Purge(PURGE_RXCLEAR);
    m_pty.Send("new");
    uint8_t buf[8] = {};
    ASSERT_EQ(m_port.Read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf, buf + 3), "new");
    EXPECT_EQ(ErrorOf([&] { m_port.Purge(0x10); }), uint32_t(EINVAL));
}

TEST_F(PtySerialPort, BaudChangeKeepsTheOtherSettingsAndTheTimeouts)
{
    for (const uint32_t dwBaud : {115200u, 250000u, 4800u})
    {
        m_port.SetBaudRate(dwBaud);
        SSerialState state;
        m_port.GetState(state);
        EXPECT_EQ(state.BaudRate, dwBaud);
        EXPECT_EQ(state.ByteSize, 8);
        EXPECT_EQ(state.Parity, CSerialPort::NoParity);
        EXPECT_EQ(state.StopBits, CSerialPort::OneStopBit);
        EXPECT_FALSE(state.fRtsCtsFlow || state.fOutX || state.fInX);
        SCommTimeouts t;
        m_port.GetTimeouts(t);
        EXPECT_EQ(0, std::memcmp(&t, &PROTOCOL_TIMEOUTS, sizeof t)) << "time-outs changed";
    }
    // Rate 0 would hang the line up: refused, nothing changed.
    EXPECT_EQ(ErrorOf([&] { m_port.SetBaudRate(0); }), uint32_t(EINVAL));
    SSerialState last;
    m_port.GetState(last);
    EXPECT_EQ(last.BaudRate, 4800u);
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
    const uint32_t code = ErrorOf([&] { m_port.Read(buf, 4); });
    closer.join();
    EXPECT_EQ(code, uint32_t(ECANCELED));
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

TEST(PtyAttachedPort, ReadOnALineNobodySetUpWaitsForItsTimeout)
{
    // A descriptor as another program may hand it over: opened blocking, its line left as the
    // system made it (canonical) or set to return at once (VMIN 0), where read() gives 0 for
    // "no data yet" rather than for a hang-up.
    for (const bool bMinZero : {false, true})
    {
        SCOPED_TRACE(bMinZero ? "VMIN 0" : "as the system made it");
        CPtyPair pty;
        const int fd = ::open(pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        termios tio{};
        ::tcgetattr(fd, &tio);
        if (bMinZero)
        {
            ::cfmakeraw(&tio);
            tio.c_cc[VMIN] = 0;
            tio.c_cc[VTIME] = 0;
            ::tcsetattr(fd, TCSANOW, &tio);
        }
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
