#pragma once
// What the Win32 port's files share: handle conversions, the DCB translation and the device
// name rule. Nothing here talks to a device except through the DCB it is given.
#include "serial/SerialPort.h"

#include <windows.h>

#include <string>

// The record of an asynchronous operation: OVERLAPPED itself, so that it can be handed to the
// system as it is.
struct SOverlapped : OVERLAPPED
{
};

inline HANDLE ToHandle(intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

inline intptr_t FromHandle(HANDLE handle)
{
    return reinterpret_cast<intptr_t>(handle);
}

// The per-call event of an internal overlapped transfer.
class CIoEvent
{
public:
    CIoEvent() : m_hEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
        if (m_hEvent == nullptr)
            ThrowSerialException(0);
    }
    CIoEvent(const CIoEvent&) = delete;
    CIoEvent& operator=(const CIoEvent&) = delete;
    ~CIoEvent() { ::CloseHandle(m_hEvent); }
    HANDLE Get() const { return m_hEvent; }

private:
    HANDLE m_hEvent;
};

// Waits for an overlapped transfer the caller has started (bStarted: the result of the starting
// call) and returns its byte count; a transfer its time-out ended counts as done. The wake-up
// event hWake cancels the transfer and throws ERROR_OPERATION_ABORTED once the system has let
// go of the buffer. A transfer still running dwGuardMs after it began, long past its own
// time-out, is cancelled too: the device no longer answers (some drivers never complete a
// transfer on a device that has gone), ERROR_SEM_TIMEOUT.
uint32_t FinishIo(HANDLE hPort, HANDLE hWake, BOOL bStarted, OVERLAPPED& ov, DWORD dwGuardMs);

// "COM7" (any case, any number) becomes "\\.\COM7": CreateFile finds COM1 to COM9 by the bare
// name but COM10 and above only through the device namespace. Anything else stays as given.
std::string DeviceNameOf(const std::string& strPort);

// Writes rate, data bits, parity and stop bits into the DCB; parity and stop-bit values outside
// their tables leave those fields as they are.
void LineToDcb(uint32_t dwBaud, uint8_t nDataBits, CSerialPort::Parity parity, CSerialPort::StopBits stopBits,
               DCB& dcb);
// Writes the line settings of the state into the DCB, leaving every other field as it is.
// Parity and stop-bit values outside their tables leave those fields as they are.
void StateToDcb(const SSerialState& state, DCB& dcb);
void DcbToState(const DCB& dcb, SSerialState& state);
// The flow-control row of Open; values outside the table change nothing.
void ApplyFlowControl(CSerialPort::FlowControl flowControl, DCB& dcb);
