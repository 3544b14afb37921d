// Translation between the port's settings and the Win32 device control record.
#include "serial/win32/Win32Serial.h"

#include <cctype>

namespace
{
BYTE ParityToDcb(CSerialPort::Parity parity, BYTE current)
{
    switch (parity)
    {
    case CSerialPort::EvenParity:
        return EVENPARITY;
    case CSerialPort::MarkParity:
        return MARKPARITY;
    case CSerialPort::NoParity:
        return NOPARITY;
    case CSerialPort::OddParity:
        return ODDPARITY;
    case CSerialPort::SpaceParity:
        return SPACEPARITY;
    }
    return current;
}

BYTE StopBitsToDcb(CSerialPort::StopBits stopBits, BYTE current)
{
    switch (stopBits)
    {
    case CSerialPort::OneStopBit:
        return ONESTOPBIT;
    case CSerialPort::OnePointFiveStopBits:
        return ONE5STOPBITS;
    case CSerialPort::TwoStopBits:
        return TWOSTOPBITS;
    }
    return current;
}
} // namespace

std::string DeviceNameOf(const std::string& strPort)
{
    if (strPort.size() < 4 || strPort.size() > 6)
        return strPort;
    for (size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(strPort[i])) != "COM"[i])
            return strPort;
    for (size_t i = 3; i < strPort.size(); ++i)
        if (std::isdigit(static_cast<unsigned char>(strPort[i])) == 0)
            return strPort;
    return "\\\\.\\" + strPort;
}

void LineToDcb(uint32_t dwBaud, uint8_t nDataBits, CSerialPort::Parity parity, CSerialPort::StopBits stopBits,
               DCB& dcb)
{
    dcb.BaudRate = dwBaud;
    dcb.ByteSize = nDataBits;
    dcb.Parity = ParityToDcb(parity, dcb.Parity);
    dcb.StopBits = StopBitsToDcb(stopBits, dcb.StopBits);
}

void StateToDcb(const SSerialState& state, DCB& dcb)
{
    LineToDcb(state.BaudRate, state.ByteSize, state.Parity, state.StopBits, dcb);
    dcb.fOutxCtsFlow = state.fRtsCtsFlow ? TRUE : FALSE;
    if (state.fRtsCtsFlow)
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    else if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = state.fOutX ? TRUE : FALSE;
    dcb.fInX = state.fInX ? TRUE : FALSE;
    dcb.XonChar = state.XonChar;
    dcb.XoffChar = state.XoffChar;
}

void DcbToState(const DCB& dcb, SSerialState& state)
{
    state.BaudRate = dcb.BaudRate;
    state.ByteSize = dcb.ByteSize;
    switch (dcb.Parity)
    {
    case EVENPARITY:
        state.Parity = CSerialPort::EvenParity;
        break;
    case MARKPARITY:
        state.Parity = CSerialPort::MarkParity;
        break;
    case ODDPARITY:
        state.Parity = CSerialPort::OddParity;
        break;
    case SPACEPARITY:
        state.Parity = CSerialPort::SpaceParity;
        break;
    default:
        state.Parity = CSerialPort::NoParity;
        break;
    }
    state.StopBits = dcb.StopBits == TWOSTOPBITS    ? CSerialPort::TwoStopBits
                     : dcb.StopBits == ONE5STOPBITS ? CSerialPort::OnePointFiveStopBits
                                                    : CSerialPort::OneStopBit;
    state.fRtsCtsFlow = dcb.fOutxCtsFlow != 0 && dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
    state.fOutX = dcb.fOutX != 0;
    state.fInX = dcb.fInX != 0;
    state.XonChar = dcb.XonChar;
    state.XoffChar = dcb.XoffChar;
}

void ApplyFlowControl(CSerialPort::FlowControl flowControl, DCB& dcb)
{
    const auto row = [&dcb](bool bCts, bool bDsr, bool bRtsHandshake, bool bDtrHandshake, bool bXonXoff)
    {
        dcb.fOutxCtsFlow = bCts ? TRUE : FALSE;
        dcb.fOutxDsrFlow = bDsr ? TRUE : FALSE;
        if (bRtsHandshake)
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        if (bDtrHandshake)
            dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        dcb.fOutX = bXonXoff ? TRUE : FALSE;
        dcb.fInX = bXonXoff ? TRUE : FALSE;
        if (bXonXoff)
        {
            dcb.XonChar = 0x11;
            dcb.XoffChar = 0x13;
            dcb.XonLim = 100;
            dcb.XoffLim = 100;
        }
    };
    switch (flowControl)
    {
    case CSerialPort::NoFlowControl:
        row(false, false, false, false, false);
        break;
    case CSerialPort::CtsRtsFlowControl:
        row(true, false, true, false, false);
        break;
    case CSerialPort::CtsDtrFlowControl:
        row(true, false, false, true, false);
        break;
    case CSerialPort::DsrRtsFlowControl:
        row(false, true, true, false, false);
        break;
    case CSerialPort::DsrDtrFlowControl:
        row(false, true, false, true, false);
        break;
    case CSerialPort::XonXoffFlowControl:
        row(false, false, false, false, true);
        break;
    }
}
