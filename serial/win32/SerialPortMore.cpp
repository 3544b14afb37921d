// The members of the Win32 CSerialPort that the program itself does not use: the caller's own
// overlapped transfers and completion routines, configuration records, break, modem lines,
// comm events and queue sizes. Each is one system call turned into a CSerialException.
#include "serial/SerialPort.h"

#include "serial/win32/Win32Serial.h"

#include <cstdio>

namespace
{
[[noreturn]] void FailLast()
{
    ThrowSerialException(0);
}

void Check(BOOL bResult)
{
    if (!bResult)
        FailLast();
}

// An overlapped call's result: true when done at once, false when still pending.
bool StartedOrPending(BOOL bResult)
{
    if (bResult)
        return true;
    if (::GetLastError() != ERROR_IO_PENDING)
        FailLast();
    return false;
}

// Older systems lacked CancelIo; look it up once rather than fail to load there.
using CancelIoFn = BOOL(WINAPI*)(HANDLE);
CancelIoFn ResolveCancelIo()
{
    const HMODULE hKernel = ::GetModuleHandleA("KERNEL32.DLL");
    if (hKernel == nullptr)
        return nullptr;
    return reinterpret_cast<CancelIoFn>(reinterpret_cast<void (*)()>(::GetProcAddress(hKernel, "CancelIo")));
}

// Routes a finished ReadEx/WriteEx to its port, which the record carries in its event field.
void WINAPI CompletionRoutine(DWORD dwErrorCode, DWORD dwCount, OVERLAPPED* pOverlapped)
{
    auto* pRecord = static_cast<SOverlapped*>(pOverlapped);
    static_cast<CSerialPort*>(pRecord->hEvent)->OnCompletion(dwErrorCode, dwCount, pRecord);
}

std::string ComName(int nPort)
{
    char szName[16];
    std::snprintf(szName, sizeof szName, "COM%d", nPort);
    return szName;
}

HANDLE H(intptr_t handle)
{
    if (handle == -1)
        ThrowSerialException(ERROR_INVALID_HANDLE);
    return ToHandle(handle);
}
} // namespace

bool CSerialPort::Read(void* pBuf, uint32_t dwCount, SOverlapped& overlapped)
{
    return StartedOrPending(::ReadFile(H(m_handle), pBuf, dwCount, nullptr, &overlapped));
}

bool CSerialPort::Write(const void* pBuf, uint32_t dwCount, SOverlapped& overlapped)
{
    return StartedOrPending(::WriteFile(H(m_handle), pBuf, dwCount, nullptr, &overlapped));
}

void CSerialPort::ReadEx(void* pBuf, uint32_t dwCount)
{
    const HANDLE hPort = H(m_handle);
    auto* pRecord = new SOverlapped{};
    pRecord->hEvent = this;
    if (!::ReadFileEx(hPort, pBuf, dwCount, pRecord, CompletionRoutine))
    {
        const DWORD dwError = ::GetLastError();
        delete pRecord;
        ThrowSerialException(dwError);
    }
}

void CSerialPort::WriteEx(const void* pBuf, uint32_t dwCount)
{
    const HANDLE hPort = H(m_handle);
    auto* pRecord = new SOverlapped{};
    pRecord->hEvent = this;
    if (!::WriteFileEx(hPort, pBuf, dwCount, pRecord, CompletionRoutine))
    {
        const DWORD dwError = ::GetLastError();
        delete pRecord;
        ThrowSerialException(dwError);
    }
}

void CSerialPort::GetOverlappedResult(SOverlapped& overlapped, uint32_t& dwBytesTransferred, bool bWait)
{
    DWORD dwDone = 0;
    const BOOL bResult = ::GetOverlappedResult(H(m_handle), &overlapped, &dwDone, bWait ? TRUE : FALSE);
    dwBytesTransferred = dwDone;
    StartedOrPending(bResult);
}

void CSerialPort::CancelIo()
{
    static const CancelIoFn pCancelIo = ResolveCancelIo();
    if (pCancelIo == nullptr)
        ThrowSerialException(ERROR_CALL_NOT_IMPLEMENTED);
    Check(pCancelIo(H(m_handle)));
}

void CSerialPort::OnCompletion(uint32_t, uint32_t, SOverlapped* pOverlapped)
{
    delete pOverlapped;
}

void CSerialPort::TransmitChar(char ch)
{
    Check(::TransmitCommChar(H(m_handle), ch));
}

void CSerialPort::GetConfig(SCommConfig& config)
{
    COMMCONFIG cc{};
    DWORD dwSize = sizeof cc;
    cc.dwSize = sizeof cc;
    Check(::GetCommConfig(H(m_handle), &cc, &dwSize));
    DcbToState(cc.dcb, config.dcb);
}

void CSerialPort::SetConfig(const SCommConfig& config)
{
    COMMCONFIG cc{};
    DWORD dwSize = sizeof cc;
    cc.dwSize = sizeof cc;
    Check(::GetCommConfig(H(m_handle), &cc, &dwSize));
    StateToDcb(config.dcb, cc.dcb);
    Check(::SetCommConfig(H(m_handle), &cc, sizeof cc));
}

void CSerialPort::GetDefaultConfig(int nPort, SCommConfig& config)
{
    COMMCONFIG cc{};
    DWORD dwSize = sizeof cc;
    cc.dwSize = sizeof cc;
    Check(::GetDefaultCommConfigA(ComName(nPort).c_str(), &cc, &dwSize));
    DcbToState(cc.dcb, config.dcb);
}

void CSerialPort::SetDefaultConfig(int nPort, const SCommConfig& config)
{
    COMMCONFIG cc{};
    DWORD dwSize = sizeof cc;
    cc.dwSize = sizeof cc;
    const std::string strName = ComName(nPort);
    Check(::GetDefaultCommConfigA(strName.c_str(), &cc, &dwSize));
    StateToDcb(config.dcb, cc.dcb);
    Check(::SetDefaultCommConfigA(strName.c_str(), &cc, sizeof cc));
}

void CSerialPort::SetBreak()
{
    Check(::SetCommBreak(H(m_handle)));
}

void CSerialPort::ClearBreak()
{
    Check(::ClearCommBreak(H(m_handle)));
}

void CSerialPort::ClearError(uint32_t& dwErrors)
{
    DWORD dwFlags = 0;
    Check(::ClearCommError(H(m_handle), &dwFlags, nullptr));
    dwErrors = dwFlags;
}

void CSerialPort::GetStatus(SCommStatus& stat)
{
    DWORD dwFlags = 0;
    COMSTAT comStat{};
    Check(::ClearCommError(H(m_handle), &dwFlags, &comStat));
    stat.cbInQue = comStat.cbInQue;
    stat.cbOutQue = comStat.cbOutQue;
}

void CSerialPort::Escape(uint32_t dwFunction)
{
    Check(::EscapeCommFunction(H(m_handle), dwFunction));
}

void CSerialPort::GetProperties(SCommProperties& properties)
{
    COMMPROP prop{};
    Check(::GetCommProperties(H(m_handle), &prop));
    properties.dwMaxBaud = prop.dwMaxBaud;
}

void CSerialPort::GetModemStatus(uint32_t& dwModemStatus)
{
    DWORD dwStatus = 0;
    Check(::GetCommModemStatus(H(m_handle), &dwStatus));
    dwModemStatus = dwStatus;
}

void CSerialPort::SetMask(uint32_t dwMask)
{
    Check(::SetCommMask(H(m_handle), dwMask));
}

void CSerialPort::GetMask(uint32_t& dwMask)
{
    DWORD dwValue = 0;
    Check(::GetCommMask(H(m_handle), &dwValue));
    dwMask = dwValue;
}

void CSerialPort::WaitEvent(uint32_t& dwMask)
{
    // The device is open for overlapped I/O, so even the blocking wait needs a record; waiting
    // on it alongside the wake-up event lets Interrupt end it too.
    const HANDLE hPort = H(m_handle);
    CheckInterrupted();
    const HANDLE hWake = ToHandle(WakeHandle());
    CIoEvent event;
    OVERLAPPED ov{};
    ov.hEvent = event.Get();
    DWORD dwEvents = 0;
    FinishIo(hPort, hWake, ::WaitCommEvent(hPort, &dwEvents, &ov), ov, INFINITE);
    dwMask = dwEvents;
}

void CSerialPort::WaitEvent(uint32_t& dwMask, SOverlapped& overlapped)
{
    // The system writes the mask when the event occurs, so it must stay valid until then.
    static_assert(sizeof(DWORD) == sizeof(uint32_t));
    StartedOrPending(::WaitCommEvent(H(m_handle), reinterpret_cast<DWORD*>(&dwMask), &overlapped));
}

void CSerialPort::SetQueueSizes(uint32_t dwInQueue, uint32_t dwOutQueue)
{
    Check(::SetupComm(H(m_handle), dwInQueue, dwOutQueue));
}
