#pragma once
// The dialog's port: the serial port object, the port list, the current record and the port
// lock of the open device. OpenPort and ClosePort are the only way the line is opened and closed.
#include "SerInfo.h"
#include "SerialPort.h"

#include <string>
#include <vector>

class CPortHolder
{
public:
    CPortHolder() = default;
    CPortHolder(const CPortHolder&) = delete;
    CPortHolder& operator=(const CPortHolder&) = delete;
    virtual ~CPortHolder();

    // Opens m_port on m_currentPort at 4800 bit/s 8N1, no flow control, with the fixed
    // time-outs, under that device's port lock (it waits while another holder has the device
    // open). False (lock free, port closed) when there is no current port or the device cannot
    // be opened or configured.
    bool OpenPort();
    // Closes m_port and releases the port lock if OpenPort holds it.
    void ClosePort();
    // Rebuilds m_ports: the system's ports, or m_explicitPorts when that list is not empty;
    // probed. Throws the error text as std::string. m_probeFailures tells what was dropped.
    void UpdatePortList();

    CSerialPort m_port;
    std::vector<SSerInfo> m_ports;
    SSerInfo* m_currentPort = nullptr;
    // Device paths named on the command line (-p); replace the system's list when not empty.
    std::vector<std::string> m_explicitPorts;
    // Ports the last UpdatePortList dropped because they could not be opened.
    std::vector<SPortProbeFailure> m_probeFailures;

private:
    bool m_bLockHeld = false;
    std::string m_lockedPath; // the device whose lock this holder holds
};
