// CPortHolder: the fixed open, the process-wide port lock and the port list.
#include "tests/serial/posix/PtyPair.h"

#include "serial/PortHolder.h"
#include "serial/PortLock.h"

#include <atomic>
#include <cerrno>
#include <future>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

namespace
{
// Whether another thread could take the port lock now (asked from a helper thread, since the
// lock may belong to this one).
bool LockIsFree()
{
    return std::async(std::launch::async,
                      []
                      {
                          if (!SerialPortLock().try_lock())
                              return false;
                          SerialPortLock().unlock();
                          return true;
                      })
        .get();
}

SSerInfo PortAt(const std::string& strPath)
{
    SSerInfo info;
    info.devicePath = strPath;
    info.shortName = strPath;
    return info;
}
} // namespace

TEST(PtyPortHolder, NoCurrentPortTakesNothing)
{
    CPortHolder holder;
    EXPECT_FALSE(holder.OpenPort());
    EXPECT_FALSE(holder.m_port.IsOpen());
    EXPECT_TRUE(LockIsFree());
}

TEST(PtyPortHolder, UnopenableDeviceLeavesPortClosedAndLockFree)
{
    CTempFolder dir;
    SSerInfo missing = PortAt(dir.Path() + "/ttyUSB0");
    CPortHolder holder;
    holder.m_currentPort = &missing;
    EXPECT_FALSE(holder.OpenPort());
    EXPECT_FALSE(holder.m_port.IsOpen());
    EXPECT_TRUE(LockIsFree());

    // Held by another program.
    CPtyPair pty;
    CSerialPort other;
    other.Open(pty.SlaveName(), 9600);
    SSerInfo busy = PortAt(pty.SlaveName());
    holder.m_currentPort = &busy;
    EXPECT_FALSE(holder.OpenPort());
    EXPECT_FALSE(holder.m_port.IsOpen());
    EXPECT_TRUE(LockIsFree());
}

TEST(PtyPortHolder, OpenPortAppliesTheFixedLineAndHoldsTheLock)
{
    CPtyPair pty;
    SSerInfo port = PortAt(pty.SlaveName());
    CPortHolder holder;
    holder.m_currentPort = &port;
    ASSERT_TRUE(holder.OpenPort());
    EXPECT_FALSE(LockIsFree());

    SSerialState state;
    holder.m_port.GetState(state);
    EXPECT_EQ(state.BaudRate, 4800u);
    EXPECT_EQ(state.ByteSize, 8);
    EXPECT_EQ(state.Parity, CSerialPort::NoParity);
    EXPECT_EQ(state.StopBits, CSerialPort::OneStopBit);
    EXPECT_FALSE(state.fRtsCtsFlow || state.fOutX || state.fInX);
    SCommTimeouts timeouts;
    holder.m_port.GetTimeouts(timeouts);
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 500u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 50u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 750u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 20u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 100u);

    // A second OpenPort without ClosePort reopens instead of locking the lock twice.
    ASSERT_TRUE(holder.OpenPort());
    EXPECT_TRUE(holder.m_port.IsOpen());

    holder.ClosePort();
    EXPECT_FALSE(holder.m_port.IsOpen());
    EXPECT_TRUE(LockIsFree());
    holder.ClosePort(); // again: nothing to release
    EXPECT_TRUE(LockIsFree());
}

TEST(PtyPortHolder, ClosePortOfAnotherHolderReleasesNothing)
{
    CPtyPair pty;
    SSerInfo port = PortAt(pty.SlaveName());
    CPortHolder owner;
    owner.m_currentPort = &port;
    ASSERT_TRUE(owner.OpenPort());
    {
        CPortHolder idle;
        idle.ClosePort();
    } // nor does its destructor
    EXPECT_FALSE(LockIsFree());
    EXPECT_TRUE(owner.m_port.IsOpen());
    owner.ClosePort();
    EXPECT_TRUE(LockIsFree());
}

TEST(PtyPortHolder, TheLockSerialisesOpensAcrossThreads)
{
    CPtyPair ptyA;
    CPtyPair ptyB;
    SSerInfo portA = PortAt(ptyA.SlaveName());
    SSerInfo portB = PortAt(ptyB.SlaveName());
    CPortHolder first;
    first.m_currentPort = &portA;
    ASSERT_TRUE(first.OpenPort());

    std::atomic<bool> bOpened{false};
    std::promise<void> release;
    std::thread second(
        [&]
        {
            CPortHolder holder;
            holder.m_currentPort = &portB;
            bOpened = holder.OpenPort();
            release.get_future().wait();
            holder.ClosePort(); // on the thread that opened
        });
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(bOpened) << "opened while another holder had the port";
    first.ClosePort();
    for (int i = 0; i < 500 && !bOpened; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(bOpened);
    release.set_value();
    second.join();
    EXPECT_TRUE(LockIsFree());
}

TEST(PtyPortHolder, DestructorClosesAndReleases)
{
    CPtyPair pty;
    SSerInfo port = PortAt(pty.SlaveName());
    {
        CPortHolder holder;
        holder.m_currentPort = &port;
        ASSERT_TRUE(holder.OpenPort());
    }
    EXPECT_TRUE(LockIsFree());
    EXPECT_EQ(CSerialPort::ProbePort(pty.SlaveName()), 0);
}

TEST(PtyPortHolder, ExplicitPortsReplaceTheSystemList)
{
    CPtyPair pty;
    CTempFolder dir;
    CPortHolder holder;
    holder.m_explicitPorts = {dir.Path() + "/ttyUSB3", pty.SlaveName()};
    SSerInfo stale;
    holder.m_currentPort = &stale;
    holder.UpdatePortList();
    EXPECT_EQ(holder.m_currentPort, nullptr); // no pointer into a replaced list
    ASSERT_EQ(holder.m_ports.size(), 1u);
    EXPECT_EQ(holder.m_ports[0].devicePath, pty.SlaveName());
    EXPECT_EQ(holder.m_ports[0].friendlyName, pty.SlaveName());
    ASSERT_EQ(holder.m_probeFailures.size(), 1u);
    EXPECT_EQ(holder.m_probeFailures[0].devicePath, dir.Path() + "/ttyUSB3");
    EXPECT_EQ(holder.m_probeFailures[0].nError, ENOENT);

    holder.m_currentPort = &holder.m_ports[0];
    EXPECT_TRUE(holder.OpenPort());
    holder.ClosePort();
}
