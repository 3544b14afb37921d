#include "serial/posix/TermiosMap.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace
{
termios CookedLine()
{
    termios tio{};
    tio.c_iflag = ICRNL | IXON | IXANY | IMAXBEL | BRKINT | INPCK | ISTRIP;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    tio.c_cflag = CS7 | PARENB | HUPCL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 5;
    return tio;
}

SSerialState State(uint8_t nBits, CSerialPort::Parity parity, CSerialPort::StopBits stopBits)
{
    SSerialState state;
    state.ByteSize = nBits;
    state.Parity = parity;
    state.StopBits = stopBits;
    return state;
}
} // namespace

TEST(TermiosMapRawLine, NothingIsTranslatedAndReadsWaitForOneByte)
{
    termios tio = CookedLine();
    MakeRawLine(tio);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXANY | IMAXBEL | BRKINT | INPCK | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ECHOE | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL), tcflag_t(CREAD | CLOCAL));
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    // The modem lines are left as the driver has them; flow control is not the raw step's job.
    EXPECT_NE(tio.c_cflag & HUPCL, 0u);
    EXPECT_NE(tio.c_iflag & IXON, 0u);
}

TEST(TermiosMapParity, EveryTableValueRoundTrips)
{
    const struct
    {
        CSerialPort::Parity parity;
        tcflag_t bits;
    } rows[] = {
        {CSerialPort::EvenParity, PARENB},
        {CSerialPort::MarkParity, PARENB | PARODD | CMSPAR},
        {CSerialPort::NoParity, 0},
        {CSerialPort::OddParity, PARENB | PARODD},
        {CSerialPort::SpaceParity, PARENB | CMSPAR},
    };
    for (const auto& row : rows)
    {
        termios tio = CookedLine();
        tio.c_cflag |= PARODD | CMSPAR; // stale bits must go
        ASSERT_EQ(StateToTermios(State(8, row.parity, CSerialPort::OneStopBit), tio), 0);
        EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), row.bits) << row.parity;
        EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
        SSerialState back;
        TermiosToState(tio, back);
        EXPECT_EQ(back.Parity, row.parity);
    }
}

TEST(TermiosMapParity, ValuesOutsideTheTableLeaveTheParityAlone)
{
    termios tio = CookedLine();
    tio.c_cflag |= PARODD;
    ASSERT_EQ(StateToTermios(State(8, static_cast<CSerialPort::Parity>(9), CSerialPort::OneStopBit), tio), 0);
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), tcflag_t(PARENB | PARODD));
}

TEST(TermiosMapFraming, DataBitsAndStopBitsAtTheEdges)
{
    const struct
    {
        uint8_t nBits;
        CSerialPort::StopBits stop;
        int nError;
        bool bCstopb;
    } rows[] = {
        {5, CSerialPort::OneStopBit, 0, false},
        {5, CSerialPort::OnePointFiveStopBits, 0, true}, // the UART's long stop at 5 bits
        {5, CSerialPort::TwoStopBits, EINVAL, false},
        {6, CSerialPort::OnePointFiveStopBits, EINVAL, false},
        {8, CSerialPort::OnePointFiveStopBits, EINVAL, false},
        {8, CSerialPort::TwoStopBits, 0, true},
        {7, CSerialPort::OneStopBit, 0, false},
        {4, CSerialPort::OneStopBit, EINVAL, false},
        {9, CSerialPort::OneStopBit, EINVAL, false},
    };
    for (const auto& row : rows)
    {
        termios tio{};
        const int nError = StateToTermios(State(row.nBits, CSerialPort::NoParity, row.stop), tio);
        EXPECT_EQ(nError, row.nError) << int(row.nBits) << "/" << row.stop;
        if (nError != 0)
            continue;
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, row.bCstopb);
        SSerialState back;
        TermiosToState(tio, back);
        EXPECT_EQ(back.ByteSize, row.nBits);
        EXPECT_EQ(back.StopBits, row.stop);
    }
}

TEST(TermiosMapFlowControl, TableRowsAndUnsupportedHandshakes)
{
    SSerialState state;
    ASSERT_EQ(ApplyFlowControl(CSerialPort::XonXoffFlowControl, state), 0);
    EXPECT_TRUE(state.fOutX);
    EXPECT_TRUE(state.fInX);
    EXPECT_FALSE(state.fRtsCtsFlow);
    EXPECT_EQ(state.XonChar, 0x11);
    EXPECT_EQ(state.XoffChar, 0x13);

    termios tio{};
    state.XonChar = 0x01; // characters of the caller's choice reach the driver
    ASSERT_EQ(StateToTermios(state, tio), 0);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    EXPECT_EQ(tio.c_cc[VSTART], 0x01);
    EXPECT_EQ(tio.c_cc[VSTOP], 0x13);

    ASSERT_EQ(ApplyFlowControl(CSerialPort::CtsRtsFlowControl, state), 0);
    ASSERT_EQ(StateToTermios(state, tio), 0);
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u); // one handshake replaces the other

    for (const auto flow :
         {CSerialPort::CtsDtrFlowControl, CSerialPort::DsrRtsFlowControl, CSerialPort::DsrDtrFlowControl})
        EXPECT_EQ(ApplyFlowControl(flow, state), ENOTSUP) << flow;

    const SSerialState before = state;
    EXPECT_EQ(ApplyFlowControl(static_cast<CSerialPort::FlowControl>(17), state), 0);
    EXPECT_EQ(state.fRtsCtsFlow, before.fRtsCtsFlow);
    EXPECT_EQ(state.fOutX, before.fOutX);
}
