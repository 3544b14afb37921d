// The system's port list on Linux: sysfs, then the common final pass.
#include "serial/EnumPorts.h"

#include "serial/SerialPort.h"
#include "serial/posix/SysfsPorts.h"

void EnumerateSerialPorts(std::vector<SSerInfo>& list, bool bProbe, std::vector<SPortProbeFailure>* pFailures)
{
    list.clear();
    if (pFailures != nullptr)
        pFailures->clear();
    CSysfsPortScanner().Scan(list);
    FinishPortList(list, bProbe, pFailures, &ProbeListedPort);
}

uint32_t ProbeListedPort(const std::string& strDevicePath)
{
    return CSerialPort::TryOpen(strDevicePath);
}
