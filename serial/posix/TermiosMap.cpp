#include "serial/posix/TermiosMap.h"

#include <cerrno>

void MakeRawLine(termios& tio)
{
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IUCLC | IXANY | IMAXBEL | IUTF8);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | XCASE | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL |
                                          ECHOPRT | ECHOKE | IEXTEN | TOSTOP);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

int StateToTermios(const SSerialState& state, termios& tio)
{
    tcflag_t size = 0;
    switch (state.ByteSize)
    {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        return EINVAL;
    }
    tcflag_t& cflag = tio.c_cflag;
    switch (state.StopBits)
    {
    case CSerialPort::OneStopBit:
        cflag &= ~static_cast<tcflag_t>(CSTOPB);
        break;
    case CSerialPort::OnePointFiveStopBits:
        if (state.ByteSize != 5)
            return EINVAL;
        cflag |= CSTOPB;
        break;
    case CSerialPort::TwoStopBits:
        if (state.ByteSize == 5)
            return EINVAL;
        cflag |= CSTOPB;
        break;
    default:
        break;
    }
    cflag = (cflag & ~static_cast<tcflag_t>(CSIZE)) | size;

    const tcflag_t parityBits = PARENB | PARODD | CMSPAR;
    switch (state.Parity)
    {
    case CSerialPort::NoParity:
        cflag &= ~parityBits;
        break;
    case CSerialPort::EvenParity:
        cflag = (cflag & ~parityBits) | PARENB;
        break;
    case CSerialPort::OddParity:
        cflag = (cflag & ~parityBits) | PARENB | PARODD;
        break;
    case CSerialPort::MarkParity:
        cflag = (cflag & ~parityBits) | PARENB | CMSPAR | PARODD;
        break;
    case CSerialPort::SpaceParity:
        cflag = (cflag & ~parityBits) | PARENB | CMSPAR;
        break;
    default:
        break;
    }

    if (state.fRtsCtsFlow)
        cflag |= CRTSCTS;
    else
        cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    if (state.fOutX)
        tio.c_iflag |= IXON;
    else
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON);
    if (state.fInX)
        tio.c_iflag |= IXOFF;
    else
        tio.c_iflag &= ~static_cast<tcflag_t>(IXOFF);
    tio.c_cc[VSTART] = static_cast<cc_t>(state.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(state.XoffChar);
    return 0;
}

void TermiosToState(const termios& tio, SSerialState& state)
{
    switch (tio.c_cflag & CSIZE)
    {
    case CS5:
        state.ByteSize = 5;
        break;
    case CS6:
        state.ByteSize = 6;
        break;
    case CS7:
        state.ByteSize = 7;
        break;
    default:
        state.ByteSize = 8;
        break;
    }
    if ((tio.c_cflag & CSTOPB) == 0)
        state.StopBits = CSerialPort::OneStopBit;
    else
        state.StopBits = state.ByteSize == 5 ? CSerialPort::OnePointFiveStopBits : CSerialPort::TwoStopBits;

    if ((tio.c_cflag & PARENB) == 0)
        state.Parity = CSerialPort::NoParity;
    else if ((tio.c_cflag & CMSPAR) != 0)
        state.Parity = (tio.c_cflag & PARODD) != 0 ? CSerialPort::MarkParity : CSerialPort::SpaceParity;
    else
        state.Parity = (tio.c_cflag & PARODD) != 0 ? CSerialPort::OddParity : CSerialPort::EvenParity;

    state.fRtsCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
    state.fOutX = (tio.c_iflag & IXON) != 0;
    state.fInX = (tio.c_iflag & IXOFF) != 0;
    state.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    state.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
}

int ApplyFlowControl(CSerialPort::FlowControl flowControl, SSerialState& state)
{
    switch (flowControl)
    {
    case CSerialPort::NoFlowControl:
        state.fRtsCtsFlow = false;
        state.fOutX = false;
        state.fInX = false;
        return 0;
    case CSerialPort::CtsRtsFlowControl:
        state.fRtsCtsFlow = true;
        state.fOutX = false;
        state.fInX = false;
        return 0;
    case CSerialPort::CtsDtrFlowControl:
    case CSerialPort::DsrRtsFlowControl:
    case CSerialPort::DsrDtrFlowControl:
        return ENOTSUP;
    case CSerialPort::XonXoffFlowControl:
        state.fRtsCtsFlow = false;
        state.fOutX = true;
        state.fInX = true;
        state.XonChar = 0x11;
        state.XoffChar = 0x13;
        return 0;
    default:
        return 0;
    }
}

tcflag_t FramingBits(const termios& tio)
{
    return tio.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
}
