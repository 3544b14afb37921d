// CSerialPort on the Win32 communications interface: the open, the line settings, the blocking
// transfers and their cancellation. The device is always opened for overlapped I/O, so that a
// blocking Read, Write or Flush can wait on its own completion and on the port's wake-up event
// at once; the time-outs themselves are the driver's (COMMTIMEOUTS has the same rules).
#include "serial/SerialPort.h"

#include "serial/win32/Win32Serial.h"

#include <algorithm>

namespace
{
[[noreturn]] void Fail(DWORD dwError)
{
    ThrowSerialException(dwError);
}

[[noreturn]] void FailLast()
{
    ThrowSerialException(0);
}

HANDLE OpenDevice(const std::string& strPort)
{
    return ::CreateFileA(DeviceNameOf(strPort).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

} // namespace

// Waits for an overlapped transfer the caller has started (bStarted: the result of the starting
// call) and returns its byte count. The wake-up event cancels the transfer and throws
// ERROR_OPERATION_ABORTED once the system has let go of the buffer.
uint32_t FinishIo(HANDLE hPort, HANDLE hWake, BOOL bStarted, OVERLAPPED& ov)
{
    if (!bStarted && ::GetLastError() != ERROR_IO_PENDING)
        FailLast();
    const HANDLE handles[2] = {ov.hEvent, hWake};
    const DWORD dwWait = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    DWORD dwDone = 0;
    if (dwWait != WAIT_OBJECT_0)
    {
        const DWORD dwWaitError = ::GetLastError();
        ::CancelIoEx(hPort, &ov);
        ::GetOverlappedResult(hPort, &ov, &dwDone, TRUE);
        Fail(dwWait == WAIT_OBJECT_0 + 1 ? ERROR_OPERATION_ABORTED : dwWaitError);
    }
    if (!::GetOverlappedResult(hPort, &ov, &dwDone, FALSE))
        FailLast();
    return dwDone;
}

CSerialPort::CSerialPort()
{
    // Manual-reset: once Interrupt has set it, every later wait sees it until Close.
    const HANDLE hWake = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_wakeHandle.store(hWake == nullptr ? -1 : FromHandle(hWake));
}

CSerialPort::~CSerialPort()
{
    Close();
    const intptr_t wake = m_wakeHandle.exchange(-1);
    if (wake != -1)
        ::CloseHandle(ToHandle(wake));
}

void CSerialPort::Open(const std::string& strPort, uint32_t dwBaud, Parity parity, uint8_t nDataBits,
                       StopBits stopBits, FlowControl flowControl, bool bOverlapped)
{
    Close();
    const HANDLE hPort = OpenDevice(strPort);
    if (hPort == INVALID_HANDLE_VALUE)
        FailLast();
    m_handle = FromHandle(hPort);
    m_overlapped = bOverlapped;

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(hPort, &dcb))
        FailLast();
    SSerialState state;
    DcbToState(dcb, state);
    state.BaudRate = dwBaud;
    state.ByteSize = nDataBits;
    state.Parity = parity;
    state.StopBits = stopBits;
    StateToDcb(state, dcb);
    dcb.fDsrSensitivity = FALSE;
    ApplyFlowControl(flowControl, dcb);
    // Bytes must pass unaltered whatever the previous user left behind: no NUL stripping, no
    // error-character replacement, and no line error that blocks every later transfer.
    dcb.fBinary = TRUE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(hPort, &dcb))
        FailLast();
    SetTimeouts(SCommTimeouts{});
}

void CSerialPort::Close() noexcept
{
    if (m_handle != -1)
        ::CloseHandle(ToHandle(m_handle));
    m_handle = -1;
    m_overlapped = false;
    m_bInterrupted.store(false);
    const intptr_t wake = m_wakeHandle.load();
    if (wake != -1)
        ::ResetEvent(ToHandle(wake));
}

bool CSerialPort::IsOpen() const
{
    return m_handle != -1;
}

void CSerialPort::Attach(intptr_t handle)
{
    Close();
    m_handle = handle;
}

intptr_t CSerialPort::Detach() noexcept
{
    const intptr_t handle = m_handle;
    m_handle = -1;
    return handle;
}

void CSerialPort::CheckOpen() const
{
    if (m_handle == -1)
        Fail(ERROR_INVALID_HANDLE);
}

void CSerialPort::CheckInterrupted() const
{
    if (m_bInterrupted.load())
        Fail(ERROR_OPERATION_ABORTED);
}

intptr_t CSerialPort::WakeHandle()
{
    intptr_t wake = m_wakeHandle.load();
    if (wake != -1)
        return wake;
    const HANDLE hWake = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (hWake == nullptr)
        FailLast();
    intptr_t expected = -1;
    if (!m_wakeHandle.compare_exchange_strong(expected, FromHandle(hWake)))
    {
        ::CloseHandle(hWake);
        return expected;
    }
    return FromHandle(hWake);
}

void CSerialPort::Interrupt() noexcept
{
    m_bInterrupted.store(true);
    const intptr_t wake = m_wakeHandle.load();
    if (wake != -1)
        ::SetEvent(ToHandle(wake));
}

uint32_t CSerialPort::Read(void* pBuf, uint32_t dwCount)
{
    CheckOpen();
    CheckInterrupted();
    if (dwCount == 0)
        return 0;
    const HANDLE hWake = ToHandle(WakeHandle());
    CIoEvent event;
    OVERLAPPED ov{};
    ov.hEvent = event.Get();
    const BOOL bStarted = ::ReadFile(ToHandle(m_handle), pBuf, dwCount, nullptr, &ov);
    return FinishIo(ToHandle(m_handle), hWake, bStarted, ov);
}

uint32_t CSerialPort::Write(const void* pBuf, uint32_t dwCount)
{
    CheckOpen();
    CheckInterrupted();
    if (dwCount == 0)
        return 0;
    const HANDLE hWake = ToHandle(WakeHandle());
    CIoEvent event;
    OVERLAPPED ov{};
    ov.hEvent = event.Get();
    const BOOL bStarted = ::WriteFile(ToHandle(m_handle), pBuf, dwCount, nullptr, &ov);
    return FinishIo(ToHandle(m_handle), hWake, bStarted, ov);
}

void CSerialPort::Flush()
{
    CheckOpen();
    CheckInterrupted();
    const HANDLE hPort = ToHandle(m_handle);
    const HANDLE hWake = ToHandle(WakeHandle());
    // FlushFileBuffers cannot be cancelled, so wait in short, cancellable steps while the
    // driver still holds output (a line held by flow control may never drain) and let it wait
    // only for the last bytes.
    for (;;)
    {
        DWORD dwErrors = 0;
        COMSTAT stat{};
        if (!::ClearCommError(hPort, &dwErrors, &stat) || stat.cbOutQue == 0)
            break;
        if (::WaitForSingleObject(hWake, 10) == WAIT_OBJECT_0)
            CheckInterrupted();
    }
    CheckInterrupted();
    if (!::FlushFileBuffers(hPort))
        FailLast();
}

void CSerialPort::Purge(uint32_t dwFlags)
{
    CheckOpen();
    if (!::PurgeComm(ToHandle(m_handle), dwFlags))
        FailLast();
}

void CSerialPort::GetState(SSerialState& state)
{
    CheckOpen();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(ToHandle(m_handle), &dcb))
        FailLast();
    DcbToState(dcb, state);
}

void CSerialPort::SetState(const SSerialState& state)
{
    CheckOpen();
    if (state.BaudRate == 0)
        Fail(ERROR_INVALID_PARAMETER);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(ToHandle(m_handle), &dcb))
        FailLast();
    StateToDcb(state, dcb);
    if (!::SetCommState(ToHandle(m_handle), &dcb))
        FailLast();
}

void CSerialPort::SetBaudRate(uint32_t dwBaud)
{
    CheckOpen();
    if (dwBaud == 0)
        Fail(ERROR_INVALID_PARAMETER);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(ToHandle(m_handle), &dcb))
        FailLast();
    dcb.BaudRate = dwBaud;
    if (!::SetCommState(ToHandle(m_handle), &dcb))
        FailLast();
}

void CSerialPort::SetTimeouts(const SCommTimeouts& timeouts)
{
    CheckOpen();
    COMMTIMEOUTS ct{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                    timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                    timeouts.WriteTotalTimeoutConstant};
    if (!::SetCommTimeouts(ToHandle(m_handle), &ct))
        FailLast();
    m_timeouts = timeouts;
}

void CSerialPort::GetTimeouts(SCommTimeouts& timeouts)
{
    CheckOpen();
    COMMTIMEOUTS ct{};
    if (!::GetCommTimeouts(ToHandle(m_handle), &ct))
        FailLast();
    timeouts =
        SCommTimeouts{ct.ReadIntervalTimeout, ct.ReadTotalTimeoutMultiplier, ct.ReadTotalTimeoutConstant,
                      ct.WriteTotalTimeoutMultiplier, ct.WriteTotalTimeoutConstant};
}

uint32_t CSerialPort::TryOpen(const std::string& strPort) noexcept
{
    const HANDLE hPort = OpenDevice(strPort);
    if (hPort == INVALID_HANDLE_VALUE)
        return ::GetLastError();
    ::CloseHandle(hPort);
    return 0;
}

int CSerialPort::ProbePort(const std::string& strPort) noexcept
{
    switch (TryOpen(strPort))
    {
    case 0:
        return 0;
    case ERROR_FILE_NOT_FOUND:
        return 1;
    case ERROR_ACCESS_DENIED:
        return 2;
    default:
        return -1;
    }
}
