// The members of the POSIX CSerialPort that the program itself does not use: configuration
// records, break, modem lines and queue counts on termios and ioctl; what a terminal has no
// form for (asynchronous I/O, comm events, driver queue sizes) fails with ENOTSUP.
#include "serial/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <sys/ioctl.h>
#include <termios.h>

namespace
{
[[noreturn]] void Fail(int nError)
{
    ThrowSerialException(static_cast<uint32_t>(nError));
}

int Fd(intptr_t handle)
{
    return static_cast<int>(handle);
}
} // namespace

bool CSerialPort::Read(void*, uint32_t, SOverlapped&)
{
    Fail(ENOTSUP);
}

bool CSerialPort::Write(const void*, uint32_t, SOverlapped&)
{
    Fail(ENOTSUP);
}

void CSerialPort::ReadEx(void*, uint32_t)
{
    Fail(ENOTSUP);
}

void CSerialPort::WriteEx(const void*, uint32_t)
{
    Fail(ENOTSUP);
}

void CSerialPort::GetOverlappedResult(SOverlapped&, uint32_t&, bool)
{
    Fail(ENOTSUP);
}

void CSerialPort::CancelIo()
{
    Fail(ENOTSUP);
}

void CSerialPort::OnCompletion(uint32_t, uint32_t, SOverlapped*)
{
    // No completion routines here, so there is never a record to release.
}

void CSerialPort::TransmitChar(char ch)
{
    if (Write(&ch, 1) != 1)
        Fail(EAGAIN);
}

void CSerialPort::GetConfig(SCommConfig& config)
{
    GetState(config.dcb);
}

void CSerialPort::SetConfig(const SCommConfig& config)
{
    SetState(config.dcb);
}

void CSerialPort::GetDefaultConfig(int, SCommConfig&)
{
    Fail(ENOTSUP);
}

void CSerialPort::SetDefaultConfig(int, const SCommConfig&)
{
    Fail(ENOTSUP);
}

void CSerialPort::SetBreak()
{
    Escape(SERIAL_SETBREAK);
}

void CSerialPort::ClearBreak()
{
    Escape(SERIAL_CLRBREAK);
}

void CSerialPort::ClearError(uint32_t&)
{
    CheckOpen();
    Fail(ENOTSUP);
}

void CSerialPort::GetStatus(SCommStatus& stat)
{
    CheckOpen();
    int nIn = 0;
    int nOut = 0;
    if (::ioctl(Fd(m_handle), FIONREAD, &nIn) != 0 || ::ioctl(Fd(m_handle), TIOCOUTQ, &nOut) != 0)
        Fail(errno);
    stat.cbInQue = static_cast<uint32_t>(std::max(nIn, 0));
    stat.cbOutQue = static_cast<uint32_t>(std::max(nOut, 0));
}

void CSerialPort::Escape(uint32_t dwFunction)
{
    CheckOpen();
    const int fd = Fd(m_handle);
    int nBits = 0;
    int nResult = 0;
    switch (dwFunction)
    {
    case SERIAL_SETXOFF:
        nResult = ::tcflow(fd, TCOOFF);
        break;
    case SERIAL_SETXON:
        nResult = ::tcflow(fd, TCOON);
        break;
    case SERIAL_SETRTS:
        nBits = TIOCM_RTS;
        nResult = ::ioctl(fd, TIOCMBIS, &nBits);
        break;
    case SERIAL_CLRRTS:
        nBits = TIOCM_RTS;
        nResult = ::ioctl(fd, TIOCMBIC, &nBits);
        break;
    case SERIAL_SETDTR:
        nBits = TIOCM_DTR;
        nResult = ::ioctl(fd, TIOCMBIS, &nBits);
        break;
    case SERIAL_CLRDTR:
        nBits = TIOCM_DTR;
        nResult = ::ioctl(fd, TIOCMBIC, &nBits);
        break;
    case SERIAL_SETBREAK:
        nResult = ::ioctl(fd, TIOCSBRK);
        break;
    case SERIAL_CLRBREAK:
        nResult = ::ioctl(fd, TIOCCBRK);
        break;
    default:
        Fail(EINVAL);
    }
    if (nResult != 0)
        Fail(errno);
}

void CSerialPort::GetProperties(SCommProperties&)
{
    CheckOpen();
    Fail(ENOTSUP);
}

void CSerialPort::GetModemStatus(uint32_t& dwModemStatus)
{
    CheckOpen();
    int nLines = 0;
    if (::ioctl(Fd(m_handle), TIOCMGET, &nLines) != 0)
        Fail(errno);
    dwModemStatus =
        ((nLines & TIOCM_CTS) != 0 ? MS_CTS_ON : 0) | ((nLines & TIOCM_DSR) != 0 ? MS_DSR_ON : 0) |
        ((nLines & TIOCM_RNG) != 0 ? MS_RING_ON : 0) | ((nLines & TIOCM_CAR) != 0 ? MS_RLSD_ON : 0);
}

void CSerialPort::SetMask(uint32_t)
{
    CheckOpen();
    Fail(ENOTSUP);
}

void CSerialPort::GetMask(uint32_t&)
{
    CheckOpen();
    Fail(ENOTSUP);
}

void CSerialPort::WaitEvent(uint32_t&)
{
    CheckOpen();
    Fail(ENOTSUP);
}

void CSerialPort::WaitEvent(uint32_t&, SOverlapped&)
{
    CheckOpen();
    Fail(ENOTSUP);
}

void CSerialPort::SetQueueSizes(uint32_t, uint32_t)
{
    CheckOpen();
    Fail(ENOTSUP);
}
