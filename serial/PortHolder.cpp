#include "serial/PortHolder.h"

#include "serial/EnumPorts.h"
#include "serial/PortLock.h"

namespace
{
// The unit's boot ROM answers within these; the fixed line is 4800 bit/s 8N1 without handshake.
constexpr uint32_t OPEN_BAUD = 4800;
constexpr SCommTimeouts PORT_TIMEOUTS{500, 50, 750, 20, 100};
} // namespace

std::mutex& SerialPortLock()
{
    static std::mutex lock;
    return lock;
}

CPortHolder::~CPortHolder()
{
    ClosePort();
}

bool CPortHolder::OpenPort()
{
    if (m_currentPort == nullptr)
        return false;
    // A second OpenPort without ClosePort would lock a mutex this thread already holds.
    if (m_bLockHeld)
        ClosePort();
    SerialPortLock().lock();
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
        SerialPortLock().unlock();
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
