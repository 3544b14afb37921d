// CSerialPort on the Win32 communications interface: the open, the line settings, the blocking
// transfers and their cancellation. The device is always opened for overlapped I/O, so that a
// blocking Read, Write or Flush can wait on its own completion and on the port's wake-up event
// at once; the time-outs themselves are the driver's (COMMTIMEOUTS has the same rules).
#include "serial/SerialPort.h"

#include "serial/CommTimeouts.h"
#include "serial/win32/Win32Serial.h"

#include <algorithm>
#include <cctype>
#include <optional>

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

// Most drivers refuse a second opener of a port, but not all (Wine, some virtual ports share
// it): a named object per device name keeps a second user of this program out in any case.
// Returns the claim, or null with the last error set (ERROR_ACCESS_DENIED when taken).
HANDLE ClaimDevice(const std::string& strDevice)
{
    std::string strName = "Local\\OrlixPort:";
    for (const char ch : strDevice)
        strName += ch == '\\' ? '/' : static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const HANDLE hClaim = ::CreateEventA(nullptr, TRUE, FALSE, strName.c_str());
    if (hClaim != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS)
    {
        ::CloseHandle(hClaim);
        ::SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return hClaim;
}

// Opens the device exclusively, for overlapped I/O; INVALID_HANDLE_VALUE with the last error
// set when it cannot be had. *phClaim receives the claim to release with the device.
HANDLE OpenDevice(const std::string& strPort, HANDLE* phClaim)
{
    const std::string strDevice = DeviceNameOf(strPort);
    const HANDLE hClaim = ClaimDevice(strDevice);
    if (hClaim == nullptr)
        return INVALID_HANDLE_VALUE;
    const HANDLE hPort = ::CreateFileA(strDevice.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (hPort == INVALID_HANDLE_VALUE)
    {
        const DWORD dwError = ::GetLastError();
        ::CloseHandle(hClaim);
        ::SetLastError(dwError);
        return INVALID_HANDLE_VALUE;
    }
    *phClaim = hClaim;
    return hPort;
}

// How long a transfer may take before the device counts as gone: its own limit and a margin
// for a slow machine, or no limit when the time-outs set none.
constexpr uint64_t GUARD_MARGIN_MS = 3000;
DWORD GuardMs(const std::optional<uint64_t>& limitMs)
{
    if (!limitMs || *limitMs + GUARD_MARGIN_MS >= INFINITE)
        return INFINITE;
    return static_cast<DWORD>(*limitMs + GUARD_MARGIN_MS);
}
} // namespace

uint32_t FinishIo(HANDLE hPort, HANDLE hWake, BOOL bStarted, OVERLAPPED& ov, DWORD dwGuardMs)
{
    if (!bStarted && ::GetLastError() != ERROR_IO_PENDING)
        FailLast();
    const HANDLE handles[2] = {ov.hEvent, hWake};
    const DWORD dwWait = ::WaitForMultipleObjects(2, handles, FALSE, dwGuardMs);
    DWORD dwDone = 0;
    if (dwWait != WAIT_OBJECT_0)
    {
        const DWORD dwWaitError = ::GetLastError();
        ::CancelIoEx(hPort, &ov);
        ::GetOverlappedResult(hPort, &ov, &dwDone, TRUE);
        if (dwWait == WAIT_OBJECT_0 + 1)
            Fail(ERROR_OPERATION_ABORTED);
        Fail(dwWait == WAIT_TIMEOUT ? DWORD{ERROR_SEM_TIMEOUT} : dwWaitError);
    }
    // STATUS_TIMEOUT is a success status: the time-outs ended the transfer with what it had.
    // Some implementations report it as a failure of GetOverlappedResult all the same.
    if (!::GetOverlappedResult(hPort, &ov, &dwDone, FALSE) && ov.Internal != STATUS_TIMEOUT)
        FailLast();
    return static_cast<uint32_t>(ov.Internal == STATUS_TIMEOUT ? ov.InternalHigh : dwDone);
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
    HANDLE hClaim = nullptr;
    const HANDLE hPort = OpenDevice(strPort, &hClaim);
    if (hPort == INVALID_HANDLE_VALUE)
        FailLast();
    m_handle = FromHandle(hPort);
    m_claimHandle = FromHandle(hClaim);
    m_overlapped = bOverlapped;

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(hPort, &dcb))
        FailLast();
    LineToDcb(dwBaud, nDataBits, parity, stopBits, dcb);
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
    if (m_claimHandle != -1)
        ::CloseHandle(ToHandle(m_claimHandle));
    m_handle = -1;
    m_claimHandle = -1;
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
    // The transfers' guard follows the time-outs the device already has.
    m_timeouts = SCommTimeouts{};
    COMMTIMEOUTS ct{};
    if (handle != -1 && ::GetCommTimeouts(ToHandle(handle), &ct))
        m_timeouts =
            SCommTimeouts{ct.ReadIntervalTimeout, ct.ReadTotalTimeoutMultiplier, ct.ReadTotalTimeoutConstant,
                          ct.WriteTotalTimeoutMultiplier, ct.WriteTotalTimeoutConstant};
}

intptr_t CSerialPort::Detach() noexcept
{
    const intptr_t handle = m_handle;
    m_handle = -1;
    // The device is the new owner's now; our claim on its name goes.
    if (m_claimHandle != -1)
        ::CloseHandle(ToHandle(m_claimHandle));
    m_claimHandle = -1;
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
    const SReadPlan plan = PlanRead(m_timeouts, dwCount);
    const DWORD dwGuardMs = GuardMs(plan.bReturnAtOnce ? std::optional<uint64_t>(0) : plan.totalMs);
    const BOOL bStarted = ::ReadFile(ToHandle(m_handle), pBuf, dwCount, nullptr, &ov);
    return FinishIo(ToHandle(m_handle), hWake, bStarted, ov, dwGuardMs);
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
    const DWORD dwGuardMs = GuardMs(PlanWrite(m_timeouts, dwCount));
    const BOOL bStarted = ::WriteFile(ToHandle(m_handle), pBuf, dwCount, nullptr, &ov);
    return FinishIo(ToHandle(m_handle), hWake, bStarted, ov, dwGuardMs);
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
    HANDLE hClaim = nullptr;
    const HANDLE hPort = OpenDevice(strPort, &hClaim);
    if (hPort == INVALID_HANDLE_VALUE)
        return ::GetLastError();
    ::CloseHandle(hPort);
    ::CloseHandle(hClaim);
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
