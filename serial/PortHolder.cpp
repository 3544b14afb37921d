#include "serial/PortHolder.h"

#include "serial/EnumPorts.h"
#include "serial/PortLock.h"

#include <condition_variable>
#include <mutex>
#include <set>

namespace
{
// The unit's boot ROM answers within these; the fixed line is 4800 bit/s 8N1 without handshake.
constexpr uint32_t OPEN_BAUD = 4800;
constexpr SCommTimeouts PORT_TIMEOUTS{500, 50, 750, 20, 100};
} // namespace

namespace
{
struct SPortLocks
{
    std::mutex mutex;
    std::condition_variable released;
    std::set<std::string> held;
};

SPortLocks& PortLocks()
{
    static SPortLocks locks;
    return locks;
}
} // namespace

void LockSerialPort(const std::string& devicePath)
{
    SPortLocks& locks = PortLocks();
    std::unique_lock guard(locks.mutex);
    locks.released.wait(guard, [&] { return !locks.held.contains(devicePath); });
    locks.held.insert(devicePath);
}

void UnlockSerialPort(const std::string& devicePath)
{
    SPortLocks& locks = PortLocks();
    {
        std::lock_guard guard(locks.mutex);
        locks.held.erase(devicePath);
    }
    locks.released.notify_all();
}

bool IsSerialPortLocked(const std::string& devicePath)
{
    SPortLocks& locks = PortLocks();
    std::lock_guard guard(locks.mutex);
    return locks.held.contains(devicePath);
}

CPortHolder::~CPortHolder()
{
    ClosePort();
}

bool CPortHolder::OpenPort()
{
    if (m_currentPort == nullptr)
        return false;
    // A second OpenPort without ClosePort would wait for a lock this holder already holds.
    if (m_bLockHeld)
        ClosePort();
    LockSerialPort(m_currentPort->devicePath);
    m_lockedPath = m_currentPort->devicePath;
    m_bLockHeld = true;
    try
    {
        m_port.Open(m_currentPort->devicePath, OPEN_BAUD, CSerialPort::NoParity, 8, CSerialPort::OneStopBit,
                    CSerialPort::NoFlowControl, false);
        m_port.SetTimeouts(PORT_TIMEOUTS);
    }
    catch (const CSerialException&)
    {
        // Also a device that opened but refused the settings: a half-configured line is of no
        // use to the protocol.
        ClosePort();
        return false;
    }
    catch (...)
    {
        ClosePort();
        throw;
    }
    return true;
}

void CPortHolder::ClosePort()
{
    m_port.Close();
    if (m_bLockHeld)
    {
        m_bLockHeld = false;
        UnlockSerialPort(m_lockedPath);
        m_lockedPath.clear();
    }
}

void CPortHolder::UpdatePortList()
{
    // The records are about to be replaced; a pointer into the old list would dangle.
    m_currentPort = nullptr;
    if (m_explicitPorts.empty())
        EnumerateSerialPorts(m_ports, true, &m_probeFailures);
    else
        EnumerateSerialPorts(m_ports, m_explicitPorts, true, &m_probeFailures);
}
