// CPortHolder: the fixed open and the process-wide port lock.
#include "tests/serial/posix/PtyPair.h"

#include "serial/PortHolder.h"
#include "serial/PortLock.h"

#include <future>
#include <gtest/gtest.h>

namespace
{
// Whether another thread could take the port lock now (the lock may belong to this one).
bool LockIsFree()
{
    return std::async(std::launch::async,
                      []
                      {
                          const bool bFree = SerialPortLock().try_lock();
                          if (bFree)
                              SerialPortLock().unlock();
                          return bFree;
                      })
        .get();
}

} // namespace

TEST(PtyPortHolder, MissingOrBusyDeviceLeavesPortClosedAndLockFree)
{
    CPtyPair pty;
    CSerialPort other;
    other.Open(pty.SlaveName(), 9600);
    for (const std::string& strPath : {std::string("/dev/orlix-missing/ttyUSB0"), pty.SlaveName()})
    {
        SSerInfo port;
        port.devicePath = strPath;
        CPortHolder holder;
        holder.m_currentPort = &port;
        EXPECT_FALSE(holder.OpenPort()) << strPath;
        EXPECT_FALSE(holder.m_port.IsOpen());
        EXPECT_TRUE(LockIsFree());
    }
}

TEST(PtyPortHolder, OpenPortAppliesTheFixedLineAndOnlyItsOwnClosePortReleasesTheLock)
{
    CPtyPair pty;
    SSerInfo port;
    port.devicePath = pty.SlaveName();
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
    SCommTimeouts t;
    holder.m_port.GetTimeouts(t);
    EXPECT_EQ(std::vector<uint32_t>({t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                     t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                     t.WriteTotalTimeoutConstant}),
              std::vector<uint32_t>({500, 50, 750, 20, 100}));

    // A second OpenPort without ClosePort reopens instead of locking the lock twice.
    ASSERT_TRUE(holder.OpenPort());
    {
        CPortHolder idle;
        idle.ClosePort(); // without an open port it releases nothing, nor does its destructor
    }
    EXPECT_FALSE(LockIsFree());
    EXPECT_TRUE(holder.m_port.IsOpen());
    holder.ClosePort();
    EXPECT_FALSE(holder.m_port.IsOpen());
    EXPECT_TRUE(LockIsFree());
    holder.ClosePort(); // again: nothing left to release
    EXPECT_TRUE(LockIsFree());
}
