#pragma once
// CSerialPort: the program's only access to a serial line. One open device; every failed
// system call becomes a thrown CSerialException carrying the system error code.
//
// Read and write time-outs (SCommTimeouts, all in milliseconds), the same on every platform:
// - A blocking Read of n bytes returns as soon as n bytes have arrived; or, once at least one
//   byte has arrived, when more than ReadIntervalTimeout passes without a further byte; or when
//   ReadTotalTimeoutMultiplier * n + ReadTotalTimeoutConstant has passed since the call began.
//   It returns what it has; a time-out is not an error and 0 bytes is possible. An interval of
//   0 is not used; both total fields 0 means no total limit.
// - ReadIntervalTimeout = MAXDWORD with both total fields 0: return at once with what is there.
//   ReadIntervalTimeout = MAXDWORD and ReadTotalTimeoutMultiplier = MAXDWORD with a constant
//   between 1 and MAXDWORD - 1: return at once if data is there, else at the first byte that
//   arrives within the constant.
// - A blocking Write of n bytes returns when all n bytes are accepted, or after
//   WriteTotalTimeoutMultiplier * n + WriteTotalTimeoutConstant with the count accepted so far
//   (both 0: no limit).
// Deadlines run on a monotonic clock. A vanished device (hang-up, adapter unplugged) is an error,
// never "no data yet".
//
// Threads: one thread at a time uses a port; only Interrupt may be called from any thread.
// Error codes are the platform's own: errno values on POSIX, Win32 error codes on Windows.
#include "serial/SerialException.h"
#include "serial/SerialIo.h"

#include <atomic>
#include <cstdint>
#include <string>

inline constexpr uint32_t MAXDWORD_TIMEOUT = 0xFFFFFFFFu;

struct SCommTimeouts
{
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// Modem status bits of GetModemStatus (macros of the same values where <windows.h> came first).
#ifndef MS_CTS_ON
inline constexpr uint32_t MS_CTS_ON = 0x0010;
inline constexpr uint32_t MS_DSR_ON = 0x0020;
inline constexpr uint32_t MS_RING_ON = 0x0040;
inline constexpr uint32_t MS_RLSD_ON = 0x0080;
#endif

// Function codes of Escape.
inline constexpr uint32_t SERIAL_SETXOFF = 1;
inline constexpr uint32_t SERIAL_SETXON = 2;
inline constexpr uint32_t SERIAL_SETRTS = 3;
inline constexpr uint32_t SERIAL_CLRRTS = 4;
inline constexpr uint32_t SERIAL_SETDTR = 5;
inline constexpr uint32_t SERIAL_CLRDTR = 6;
inline constexpr uint32_t SERIAL_SETBREAK = 8;
inline constexpr uint32_t SERIAL_CLRBREAK = 9;

struct SSerialState;
struct SCommConfig;
struct SCommStatus;
struct SCommProperties;
struct SOverlapped; // asynchronous I/O record; only platforms with asynchronous I/O define it

class CSerialPort : public ISerialIo
{
public:
    enum Parity : int
    {
        EvenParity = 0,
        MarkParity = 1,
        NoParity = 2,
        OddParity = 3,
        SpaceParity = 4,
    };
    enum StopBits : int
    {
        OneStopBit = 0,
        OnePointFiveStopBits = 1, // only with 5 data bits, where the UART's long stop is 1.5 bits
        TwoStopBits = 2,
    };
    enum FlowControl : int
    {
        NoFlowControl = 0,
        CtsRtsFlowControl = 1,
        // The DTR and DSR handshakes (2 to 4) have no termios form: ENOTSUP on POSIX.
        CtsDtrFlowControl = 2,
        DsrRtsFlowControl = 3,
        DsrDtrFlowControl = 4,
        XonXoffFlowControl = 5,
    };

    CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;
    ~CSerialPort() override;

    // Opens the device exclusively (a second opener is refused: EBUSY; ERROR_ACCESS_DENIED on
    // Windows) as a raw 8-bit line and applies the settings. An open port is closed first. A
    // failure after the device was opened (settings rejected) throws and leaves the port open.
    // bOverlapped: asynchronous I/O, not available on POSIX (ENOTSUP, nothing opened). Time-outs
    // start as all 0. On Windows a bare "COMn" is opened as "\\.\COMn".
    void Open(const std::string& strPort, uint32_t dwBaud = 9600, Parity parity = NoParity,
              uint8_t nDataBits = 8, StopBits stopBits = OneStopBit, FlowControl flowControl = NoFlowControl,
              bool bOverlapped = false);
    // Idempotent; never throws. Also ends an Interrupt.
    void Close() noexcept;
    bool IsOpen() const override;

    // Closes, then takes over the given open device handle (a file descriptor on POSIX; on
    // Windows a HANDLE, opened for overlapped I/O if Interrupt is to reach its transfers).
    void Attach(intptr_t handle);
    // Gives up the handle without closing it; the port is closed afterwards.
    intptr_t Detach() noexcept;
    explicit operator intptr_t() const noexcept { return m_handle; }

    // Blocking read and write with the time-outs above.
    uint32_t Read(void* pBuf, uint32_t dwCount) override;
    uint32_t Write(const void* pBuf, uint32_t dwCount) override;
    // Asynchronous variants: ENOTSUP on POSIX.
    bool Read(void* pBuf, uint32_t dwCount, SOverlapped& overlapped);
    bool Write(const void* pBuf, uint32_t dwCount, SOverlapped& overlapped);
    void ReadEx(void* pBuf, uint32_t dwCount);
    void WriteEx(const void* pBuf, uint32_t dwCount);
    void GetOverlappedResult(SOverlapped& overlapped, uint32_t& dwBytesTransferred, bool bWait);
    void CancelIo();
    // Called when a ReadEx/WriteEx completes (platforms with completion routines only).
    virtual void OnCompletion(uint32_t dwErrorCode, uint32_t dwCount, SOverlapped* pOverlapped);

    // Ends every blocking Read, Write and Flush in progress or started later on this port with
    // CSerialException(ECANCELED; ERROR_OPERATION_ABORTED on Windows), until the port is closed
    // or reopened. Any thread.
    void Interrupt() noexcept;

    // Sends one byte (with the write time-out); EAGAIN when the line did not take it.
    void TransmitChar(char ch);

    void GetConfig(SCommConfig& config);
    void SetConfig(const SCommConfig& config);
    // Default configuration by port number: ENOTSUP on POSIX.
    static void GetDefaultConfig(int nPort, SCommConfig& config);
    static void SetDefaultConfig(int nPort, const SCommConfig& config);

    void SetBreak();
    void ClearBreak();
    // Line error flags since the last call: ENOTSUP on POSIX.
    void ClearError(uint32_t& dwErrors);
    // Input and output queue counts.
    void GetStatus(SCommStatus& stat);
    void GetState(SSerialState& state);
    void SetState(const SSerialState& state);
    // Changes only the line speed; every other setting and the time-outs stay. Any rate the
    // driver takes, standard or not; 0 (which would hang the line up) is refused
    // (EINVAL; ERROR_INVALID_PARAMETER on Windows).
    void SetBaudRate(uint32_t dwBaud) override;
    void Escape(uint32_t dwFunction);
    void SetXOFF();
    void SetXON();
    void SetRTS();
    void ClearRTS();
    void SetDTR();
    void ClearDTR();
    // Device capabilities: ENOTSUP on POSIX.
    void GetProperties(SCommProperties& properties);
    void GetModemStatus(uint32_t& dwModemStatus);
    // Comm event masks: ENOTSUP on POSIX.
    void SetMask(uint32_t dwMask);
    void GetMask(uint32_t& dwMask);
    void WaitEvent(uint32_t& dwMask);
    void WaitEvent(uint32_t& dwMask, SOverlapped& overlapped);

    // Waits until everything written so far has left the line.
    void Flush() override;
    // PURGE_RXCLEAR drops unread input; PURGE_TXCLEAR and PURGE_TXABORT drop unsent output.
    // PURGE_RXABORT alone drops nothing (no read can be pending while the caller is here).
    void Purge(uint32_t dwFlags) override;
    void AbortWrites() { Purge(PURGE_TXABORT); }
    void AbortReads() { Purge(PURGE_RXABORT); }
    void ClearWriteQueue() { Purge(PURGE_TXCLEAR); }
    void ClearReadQueue() { Purge(PURGE_RXCLEAR); }
    // Driver queue sizes: ENOTSUP on POSIX (the driver sizes its own buffers).
    void SetQueueSizes(uint32_t dwInQueue, uint32_t dwOutQueue);

    void SetTimeouts(const SCommTimeouts& timeouts);
    void GetTimeouts(SCommTimeouts& timeouts);
    void SetNoWaitTimeouts();
    void DisableWriteTimeouts();
    void SetNoWaitReads();

    // 0 when the device can be opened (as Open does, exclusively), 1 when it does not exist,
    // 2 when access is denied, -1 for any other failure. Never throws.
    static int ProbePort(const std::string& strPort) noexcept;
    // The system error code of opening the device as Open does, 0 when it can be opened.
    static uint32_t TryOpen(const std::string& strPort) noexcept;

protected:
    intptr_t m_handle = -1; // all bits set while closed
    bool m_overlapped = false;
    // A system object that marks the device as taken, where the driver alone may not (Win32).
    intptr_t m_claimHandle = -1;

private:
    void CheckOpen() const;
    void CheckInterrupted() const;
    intptr_t WakeHandle();

    SCommTimeouts m_timeouts;
    std::atomic<bool> m_bInterrupted{false};
    std::atomic<intptr_t> m_wakeHandle{-1}; // wakes blocked waits on Interrupt; lives with the object
};

// The port's line settings, as far as the platform can represent them.
struct SSerialState
{
    uint32_t BaudRate = 0;
    uint8_t ByteSize = 8;
    CSerialPort::Parity Parity = CSerialPort::NoParity;
    CSerialPort::StopBits StopBits = CSerialPort::OneStopBit;
    bool fRtsCtsFlow = false; // RTS/CTS handshake, both directions
    bool fOutX = false;       // XON/XOFF on output
    bool fInX = false;        // XON/XOFF on input
    char XonChar = 0x11;
    char XoffChar = 0x13;
};

struct SCommConfig
{
    SSerialState dcb;
};

struct SCommStatus
{
    uint32_t cbInQue = 0;  // bytes received and not yet read
    uint32_t cbOutQue = 0; // bytes written and not yet sent
};

struct SCommProperties
{
    uint32_t dwMaxBaud = 0;
};
