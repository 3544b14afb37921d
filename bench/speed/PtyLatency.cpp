// orlix-bench-pty: what a pseudo-terminal and the port class add to one exchange, so that the
// gaps of a simulated programming run can be split between the pty, the port class and the
// rest of the program.
//
//   orlix-bench-pty [--count N]
//
// An echo thread on the pty's master answers every frame of 4 bytes with 2 bytes, as the unit
// answers a command; the main thread plays the program on the slave, once with plain
// write/poll/read and once through CSerialPort with the time-outs the program uses. Prints one
// line per figure, in microseconds: "<name> median <us> p90 <us>".
#include "serial/SerialException.h"
#include "serial/SerialPort.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

[[noreturn]] void Die(const char* pszWhat)
{
    std::fprintf(stderr, "orlix-bench-pty: %s: %s\n", pszWhat, std::strerror(errno));
    std::exit(1);
}

struct SPty
{
    int nMaster = -1;
    std::string strSlave;
};

SPty OpenPty()
{
    SPty pty;
    pty.nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.nMaster < 0 || grantpt(pty.nMaster) != 0 || unlockpt(pty.nMaster) != 0)
        Die("posix_openpt");
    const char* pszName = ptsname(pty.nMaster);
    if (pszName == nullptr)
        Die("ptsname");
    pty.strSlave = pszName;
    termios tio{};
    if (tcgetattr(pty.nMaster, &tio) != 0)
        Die("tcgetattr");
    cfmakeraw(&tio);
    if (tcsetattr(pty.nMaster, TCSANOW, &tio) != 0)
        Die("tcsetattr");
    return pty;
}

// The unit's side: every 4 bytes received are answered with 2. Records when each frame was
// complete on the master and when the answer was handed back.
class CEcho
{
public:
    explicit CEcho(int nFd) : m_nFd(nFd), m_thread([this] { Run(); }) {}
    ~CEcho()
    {
        m_bStop = true;
        m_thread.join();
    }
    CEcho(const CEcho&) = delete;
    CEcho& operator=(const CEcho&) = delete;

    // Times of the last answered frame; waits until the frame numbered nFrame was answered.
    void WaitFrame(uint64_t qwFrame, int64_t& nArrivedNs, int64_t& nAnsweredNs) const
    {
        while (m_qwAnswered.load(std::memory_order_acquire) < qwFrame)
            std::this_thread::yield();
        nArrivedNs = m_nArrivedNs.load();
        nAnsweredNs = m_nAnsweredNs.load();
    }

private:
    void Run()
    {
        size_t nHave = 0;
        while (!m_bStop)
        {
            pollfd fd{m_nFd, POLLIN, 0};
            if (poll(&fd, 1, 100) <= 0)
                continue;
            char buf[64];
            const ssize_t n = read(m_nFd, buf, sizeof buf);
            if (n <= 0)
                continue;
            nHave += static_cast<size_t>(n);
            while (nHave >= 4)
            {
                nHave -= 4;
                m_nArrivedNs = NowNs();
                static const char REPLY[2] = {'0', '1'};
                m_nAnsweredNs = NowNs();
                if (write(m_nFd, REPLY, sizeof REPLY) != 2)
                    Die("echo write");
                m_qwAnswered.fetch_add(1, std::memory_order_release);
            }
        }
    }

    int m_nFd;
    std::atomic<bool> m_bStop{false};
    std::atomic<uint64_t> m_qwAnswered{0};
    std::atomic<int64_t> m_nArrivedNs{0};
    std::atomic<int64_t> m_nAnsweredNs{0};
    std::thread m_thread;
};

struct SSamples
{
    std::vector<double> out;  // program's write -> frame complete at the unit
    std::vector<double> back; // unit's answer -> program has read it
    std::vector<double> trip; // whole exchange as the program sees it
};

void Print(const char* pszName, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const double dMedian = values[values.size() / 2];
    const double dP90 = values[values.size() * 9 / 10];
    std::printf("%-24s median %8.1f p90 %8.1f\n", pszName, dMedian, dP90);
}

template <typename Exchange>
SSamples Measure(const CEcho& echo, uint64_t& qwFrames, int nCount, Exchange exchange)
{
    SSamples s;
    for (int i = 0; i < nCount; ++i)
    {
        const int64_t nStart = NowNs();
        exchange();
        const int64_t nEnd = NowNs();
        int64_t nArrived = 0;
        int64_t nAnswered = 0;
        echo.WaitFrame(++qwFrames, nArrived, nAnswered);
        s.out.push_back(static_cast<double>(nArrived - nStart) / 1e3);
        s.back.push_back(static_cast<double>(nEnd - nAnswered) / 1e3);
        s.trip.push_back(static_cast<double>(nEnd - nStart) / 1e3);
    }
    return s;
}
} // namespace

int main(int argc, char** argv)
{
    int nCount = 2000;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc)
            nCount = std::max(10, std::atoi(argv[++i]));
        else
        {
            std::fprintf(stderr, "usage: orlix-bench-pty [--count N]\n");
            return 2;
        }
    }

    SPty pty = OpenPty();
    CEcho echo(pty.nMaster);
    uint64_t qwFrames = 0;
    static const uint8_t COMMAND[4] = {0x08, 0x00, 0x00, 0xF8};

    // Plain system calls on the slave, as lean as a program can be.
    {
        const int nFd = open(pty.strSlave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (nFd < 0)
            Die("open slave");
        termios tio{};
        tcgetattr(nFd, &tio);
        cfmakeraw(&tio);
        tcsetattr(nFd, TCSANOW, &tio);
        const SSamples s = Measure(echo, qwFrames, nCount,
                                   [&]
                                   {
                                       if (write(nFd, COMMAND, sizeof COMMAND) != 4)
                                           Die("write");
                                       size_t nGot = 0;
                                       while (nGot < 2)
                                       {
                                           pollfd fd{nFd, POLLIN, 0};
                                           poll(&fd, 1, 1000);
                                           char buf[2];
                                           const ssize_t n = read(nFd, buf, 2 - nGot);
                                           if (n > 0)
                                               nGot += static_cast<size_t>(n);
                                       }
                                   });
        close(nFd);
        Print("pty one-way out", s.out);
        Print("pty one-way back", s.back);
        Print("pty round trip", s.trip);
    }

    // The program's port class with the program's time-outs: purge, write, read 2.
    try
    {
        CSerialPort port;
        port.Open(pty.strSlave, 115200);
        SCommTimeouts timeouts;
        timeouts.ReadIntervalTimeout = 500;
        timeouts.ReadTotalTimeoutMultiplier = 50;
        timeouts.ReadTotalTimeoutConstant = 750;
        timeouts.WriteTotalTimeoutMultiplier = 20;
        timeouts.WriteTotalTimeoutConstant = 100;
        port.SetTimeouts(timeouts);
        uint8_t reply[2];
        const SSamples s = Measure(echo, qwFrames, nCount,
                                   [&]
                                   {
                                       port.Purge(PURGE_RXCLEAR);
                                       port.Write(COMMAND, sizeof COMMAND);
                                       if (port.Read(reply, 2) != 2)
                                       {
                                           std::fprintf(stderr, "orlix-bench-pty: short read\n");
                                           std::exit(1);
                                       }
                                   });
        Print("port round trip", s.trip);
    }
    catch (CSerialException* pError)
    {
        std::fprintf(stderr, "orlix-bench-pty: port: %s\n", pError->GetErrorMessage().c_str());
        delete pError;
        return 1;
    }
    return 0;
}
