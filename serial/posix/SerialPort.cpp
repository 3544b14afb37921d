// CSerialPort on a POSIX terminal device: the open, the line settings and the I/O deadline
// engine (the rarely used members are in SerialPortMore.cpp). The descriptor is always non-blocking; every
// wait is a poll() on the port and on an eventfd that Interrupt signals, bounded by steady_clock deadlines.
#include "serial/SerialPort.h"

#include "serial/CommTimeouts.h"
#include "serial/posix/LineSpeed.h"
#include "serial/posix/TermiosMap.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <linux/serial.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace
{
using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(int nError)
{
    ThrowSerialException(static_cast<uint32_t>(nError));
}

int Fd(intptr_t handle)
{
    return static_cast<int>(handle);
}

// Opens the device so that nobody else can while we hold it: flock keeps out every other
// opener that locks (TIOCEXCL alone lets a privileged one in), TIOCEXCL the ones that do not.
// Returns the descriptor, or -1 with nError set.
int OpenExclusive(const std::string& strPort, int& nError)
{
    const int fd = ::open(strPort.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
    {
        nError = errno;
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    {
        nError = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return -1;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) // also refuses what is not a terminal (ENOTTY)
    {
        nError = errno;
        ::close(fd);
        return -1;
    }
    return fd;
}

// Gives the device up. The exclusive flag is cleared first: a pty slave's flag outlives its
// last close (the master keeps the tty alive), and would refuse every later unprivileged open.
void CloseExclusive(int fd)
{
    (void)::ioctl(fd, TIOCNXCL);
    ::close(fd); // also drops the flock
}

// USB adapters otherwise hold received bytes back for up to 16 ms. Refusal is harmless.
void RequestLowLatency(int fd)
{
    serial_struct serial{};
    const int nLowLatency = static_cast<int>(ASYNC_LOW_LATENCY);
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && (serial.flags & nLowLatency) == 0)
    {
        serial.flags |= nLowLatency;
        (void)::ioctl(fd, TIOCSSERIAL, &serial);
    }
}

// Writes the settings (and, for Open, the raw line) and checks that the driver kept the framing:
// some drivers silently drop what they cannot do (mark/space parity, handshakes, parity on a pty),
// and a line that looks configured but is not would corrupt every byte.
void ApplyState(int fd, const SSerialState& state, bool bMakeRaw)
{
    if (state.BaudRate == 0)
        Fail(EINVAL); // B0 would hang the line up rather than set a speed
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        Fail(errno);
    if (bMakeRaw)
        MakeRawLine(tio);
    if (const int nError = StateToTermios(state, tio); nError != 0)
        Fail(nError);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        Fail(errno);
    termios check{};
    if (::tcgetattr(fd, &check) != 0)
        Fail(errno);
    if (FramingBits(check) != FramingBits(tio))
        Fail(ENOTSUP);
    if (const int nError = SetLineSpeed(fd, state.BaudRate); nError != 0)
        Fail(nError);
}

void DrainWake(int wakeFd)
{
    uint64_t value = 0;
    while (::read(wakeFd, &value, sizeof value) > 0)
    {
    }
}

enum class EWait
{
    Ready,
    Timeout,
    HangUp,
};
} // namespace

CSerialPort::CSerialPort()
{
    // Created up front so that Interrupt never has to; retried by the first wait if this fails.
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_wakeHandle.store(fd);
}

CSerialPort::~CSerialPort()
{
    Close();
    const intptr_t wake = m_wakeHandle.exchange(-1);
    if (wake >= 0)
        ::close(Fd(wake));
}

void CSerialPort::Open(const std::string& strPort, uint32_t dwBaud, Parity parity, uint8_t nDataBits,
                       StopBits stopBits, FlowControl flowControl, bool bOverlapped)
{
    if (bOverlapped)
        Fail(ENOTSUP);
    Close();
    int nError = 0;
    const int fd = OpenExclusive(strPort, nError);
    if (fd < 0)
        Fail(nError);
    m_handle = fd;
    m_overlapped = false;
    m_timeouts = SCommTimeouts{};
    RequestLowLatency(fd);

    SSerialState state;
    GetState(state);
    state.BaudRate = dwBaud;
    state.ByteSize = nDataBits;
    if (parity >= EvenParity && parity <= SpaceParity)
        state.Parity = parity;
    if (stopBits >= OneStopBit && stopBits <= TwoStopBits)
        state.StopBits = stopBits;
    if (const int nFlowError = ApplyFlowControl(flowControl, state); nFlowError != 0)
        Fail(nFlowError);
    ApplyState(fd, state, true);
}

void CSerialPort::Close() noexcept
{
    if (m_handle >= 0)
        CloseExclusive(Fd(m_handle));
    m_handle = -1;
    m_overlapped = false;
    m_bInterrupted.store(false);
    const intptr_t wake = m_wakeHandle.load();
    if (wake >= 0)
        DrainWake(Fd(wake));
}

bool CSerialPort::IsOpen() const
{
    return m_handle >= 0;
}

void CSerialPort::Attach(intptr_t handle)
{
    Close();
    if (handle < 0)
        return;
    m_handle = handle;
    m_timeouts = SCommTimeouts{};
    // The waits below rely on a non-blocking descriptor.
    const int flags = ::fcntl(Fd(handle), F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK) == 0)
        (void)::fcntl(Fd(handle), F_SETFL, flags | O_NONBLOCK);
}

intptr_t CSerialPort::Detach() noexcept
{
    const intptr_t handle = m_handle;
    m_handle = -1;
    return handle;
}

void CSerialPort::CheckOpen() const
{
    if (m_handle < 0)
        Fail(EBADF);
}

void CSerialPort::CheckInterrupted() const
{
    if (m_bInterrupted.load())
        Fail(ECANCELED);
}

intptr_t CSerialPort::WakeHandle()
{
    intptr_t wake = m_wakeHandle.load();
    if (wake >= 0)
        return wake;
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0)
        Fail(errno);
    intptr_t expected = -1;
    if (!m_wakeHandle.compare_exchange_strong(expected, fd))
    {
        ::close(fd);
        return expected;
    }
    return fd;
}

void CSerialPort::Interrupt() noexcept
{
    m_bInterrupted.store(true);
    const intptr_t wake = m_wakeHandle.load();
    if (wake >= 0)
    {
        const uint64_t one = 1;
        (void)!::write(Fd(wake), &one, sizeof one);
    }
}

namespace
{
// Waits until the port is ready for `events` (0: only watch for hang-up), the deadline passes
// or the wake descriptor fires with the interrupt flag set.
EWait WaitPort(int fd, int wakeFd, short events, const std::optional<Clock::time_point>& deadline,
               const std::atomic<bool>& bInterrupted)
{
    for (;;)
    {
        if (bInterrupted.load())
            Fail(ECANCELED);
        int nTimeoutMs = -1;
        if (deadline)
        {
            const auto now = Clock::now();
            if (now >= *deadline)
                return EWait::Timeout;
            // Rounded up, so that the wait never ends before the deadline and spins.
            const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now).count();
            nTimeoutMs = static_cast<int>(std::min<long long>(remaining, INT_MAX));
        }
        pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, nTimeoutMs) < 0)
        {
            if (errno == EINTR)
                continue;
            Fail(errno);
        }
        if ((fds[1].revents & POLLIN) != 0)
        {
            if (bInterrupted.load())
                Fail(ECANCELED);
            DrainWake(wakeFd); // a wake-up left over from before the last Close
        }
        if ((fds[0].revents & POLLNVAL) != 0)
            Fail(EBADF);
        if ((fds[0].revents & (POLLERR | POLLHUP)) != 0)
            return EWait::HangUp;
        if ((fds[0].revents & events) != 0)
            return EWait::Ready;
    }
}

std::optional<Clock::time_point> DeadlineAfter(Clock::time_point start, const std::optional<uint64_t>& ms)
{
    if (!ms)
        return std::nullopt;
    return start + std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(*ms));
}
} // namespace

uint32_t CSerialPort::Read(void* pBuf, uint32_t dwCount)
{
    CheckOpen();
    CheckInterrupted();
    if (dwCount == 0)
        return 0;
    const auto start = Clock::now();
    const SReadPlan plan = PlanRead(m_timeouts, dwCount);
    const auto totalDeadline = DeadlineAfter(start, plan.totalMs);
    const int fd = Fd(m_handle);
    const int wakeFd = plan.bReturnAtOnce ? -1 : Fd(WakeHandle());
    auto* pBytes = static_cast<unsigned char*>(pBuf);
    uint32_t dwGot = 0;
    Clock::time_point lastByte{};
    bool bHangUp = false;
    for (;;)
    {
        const ssize_t n = ::read(fd, pBytes + dwGot, dwCount - dwGot);
        if (n > 0)
        {
            dwGot += static_cast<uint32_t>(n);
            lastByte = Clock::now();
            if (dwGot == dwCount || plan.bReturnOnFirstByte)
                return dwGot;
            continue;
        }
        // 0 means "nothing yet" on a line set to return at once (VMIN 0, as a descriptor handed
        // to Attach may be) and end of file after a hang-up; poll() tells the two apart.
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            Fail(errno);
        // poll() reported a hang-up or an error but there is nothing to read: the device is gone.
        if (bHangUp)
            Fail(EIO);
        if (plan.bReturnAtOnce)
            return dwGot;

        std::optional<Clock::time_point> deadline = totalDeadline;
        if (dwGot > 0 && plan.intervalMs)
        {
            const auto intervalDeadline =
                lastByte +
                std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(*plan.intervalMs));
            if (!deadline || intervalDeadline < *deadline)
                deadline = intervalDeadline;
        }
        const EWait wait = WaitPort(fd, wakeFd, POLLIN, deadline, m_bInterrupted);
        if (wait == EWait::Timeout)
            return dwGot;
        if (wait == EWait::HangUp)
            bHangUp = true;
    }
}

uint32_t CSerialPort::Write(const void* pBuf, uint32_t dwCount)
{
    CheckOpen();
    CheckInterrupted();
    if (dwCount == 0)
        return 0;
    const auto deadline = DeadlineAfter(Clock::now(), PlanWrite(m_timeouts, dwCount));
    const int fd = Fd(m_handle);
    const int wakeFd = Fd(WakeHandle());
    const auto* pBytes = static_cast<const unsigned char*>(pBuf);
    uint32_t dwSent = 0;
    bool bHangUp = false;
    for (;;)
    {
        const ssize_t n = ::write(fd, pBytes + dwSent, dwCount - dwSent);
        if (n > 0)
        {
            dwSent += static_cast<uint32_t>(n);
            if (dwSent == dwCount)
                return dwSent;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            Fail(errno); // EIO once the line has been hung up
        if (bHangUp)
            Fail(EIO);
        const EWait wait = WaitPort(fd, wakeFd, POLLOUT, deadline, m_bInterrupted);
        if (wait == EWait::Timeout)
            return dwSent;
        if (wait == EWait::HangUp)
            bHangUp = true;
    }
}

void CSerialPort::GetState(SSerialState& state)
{
    CheckOpen();
    termios tio{};
    if (::tcgetattr(Fd(m_handle), &tio) != 0)
        Fail(errno);
    uint32_t dwBaud = 0;
    if (const int nError = GetLineSpeed(Fd(m_handle), dwBaud); nError != 0)
        Fail(nError);
    TermiosToState(tio, state);
    state.BaudRate = dwBaud;
}

void CSerialPort::SetState(const SSerialState& state)
{
    CheckOpen();
    ApplyState(Fd(m_handle), state, false);
}

void CSerialPort::SetBaudRate(uint32_t dwBaud)
{
    CheckOpen();
    if (dwBaud == 0)
        Fail(EINVAL);
    if (const int nError = SetLineSpeed(Fd(m_handle), dwBaud); nError != 0)
        Fail(nError);
}

void CSerialPort::Flush()
{
    CheckOpen();
    CheckInterrupted();
    const int fd = Fd(m_handle);
    const int wakeFd = Fd(WakeHandle());
    // tcdrain cannot be cancelled, so wait in short, cancellable steps while the driver still
    // holds output (a line held by flow control may never drain) and let tcdrain wait only for
    // the last bytes in the UART.
    for (;;)
    {
        int nQueued = 0;
        if (::ioctl(fd, TIOCOUTQ, &nQueued) != 0 || nQueued <= 0)
            break;
        uint32_t dwBaud = 0;
        if (GetLineSpeed(fd, dwBaud) != 0 || dwBaud == 0)
            dwBaud = 9600;
        // About the time the queue takes at 10 bits a byte, between 1 and 50 ms.
        const auto nStepMs = std::clamp<uint64_t>(uint64_t(nQueued) * 10'000 / dwBaud, 1, 50);
        const auto deadline = Clock::now() + std::chrono::milliseconds(nStepMs);
        if (WaitPort(fd, wakeFd, 0, deadline, m_bInterrupted) == EWait::HangUp)
            Fail(EIO);
    }
    CheckInterrupted();
    if (::tcdrain(fd) != 0)
        Fail(errno);
}

void CSerialPort::Purge(uint32_t dwFlags)
{
    CheckOpen();
    if ((dwFlags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) != 0)
        Fail(EINVAL);
    // Aborting a write drops what it had not sent, which here already sits in the driver's
    // queue; an aborted read leaves received data where it is.
    const bool bInput = (dwFlags & PURGE_RXCLEAR) != 0;
    const bool bOutput = (dwFlags & (PURGE_TXCLEAR | PURGE_TXABORT)) != 0;
    if (!bInput && !bOutput)
        return;
    const int nQueue = bInput && bOutput ? TCIOFLUSH : (bInput ? TCIFLUSH : TCOFLUSH);
    if (::tcflush(Fd(m_handle), nQueue) != 0)
        Fail(errno);
}

void CSerialPort::SetTimeouts(const SCommTimeouts& timeouts)
{
    CheckOpen();
    m_timeouts = timeouts;
}

void CSerialPort::GetTimeouts(SCommTimeouts& timeouts)
{
    CheckOpen();
    timeouts = m_timeouts;
}

uint32_t CSerialPort::TryOpen(const std::string& strPort) noexcept
{
    int nError = 0;
    const int fd = OpenExclusive(strPort, nError);
    if (fd < 0)
        return static_cast<uint32_t>(nError);
    CloseExclusive(fd);
    return 0;
}

int CSerialPort::ProbePort(const std::string& strPort) noexcept
{
    switch (TryOpen(strPort))
    {
    case 0:
        return 0;
    case ENOENT:
        return 1;
    case EACCES:
        return 2;
    default:
        return -1;
    }
}
