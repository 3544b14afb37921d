// The members of the port class and its exception that are the same on every platform: they
// build only on the backend's own operations.
#include "serial/SerialException.h"
#include "serial/SerialPort.h"

void CSerialPort::SetNoWaitTimeouts()
{
    SCommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = MAXDWORD_TIMEOUT;
    SetTimeouts(timeouts);
}

void CSerialPort::DisableWriteTimeouts()
{
    SCommTimeouts timeouts;
    GetTimeouts(timeouts);
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    SetTimeouts(timeouts);
}

void CSerialPort::SetNoWaitReads()
{
    SCommTimeouts timeouts;
    GetTimeouts(timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD_TIMEOUT;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    SetTimeouts(timeouts);
}

void CSerialPort::SetXOFF()
{
    Escape(SERIAL_SETXOFF);
}

void CSerialPort::SetXON()
{
    Escape(SERIAL_SETXON);
}

void CSerialPort::SetRTS()
{
    Escape(SERIAL_SETRTS);
}

void CSerialPort::ClearRTS()
{
    Escape(SERIAL_CLRRTS);
}

void CSerialPort::SetDTR()
{
    Escape(SERIAL_SETDTR);
}

void CSerialPort::ClearDTR()
{
    Escape(SERIAL_CLRDTR);
}

std::string CSerialException::GetErrorMessage() const
{
    char szBuf[4096];
    GetErrorMessage(szBuf, sizeof szBuf);
    return szBuf;
}

const char* CSerialException::what() const noexcept
{
    return m_szWhat;
}
