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
                      [] { return SerialPortLock().try_lock() && (SerialPortLock().unlock(), true); })
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
