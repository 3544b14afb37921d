#pragma once
// The serial ports present on the machine, in the order the device search tries them.
// Errors are raised as their message text (a std::string value).
#include "serial/SerInfo.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Opens a device as the port class does (exclusively) and closes it again: the system error
// code, 0 when it can be opened.
using PortProbeFn = std::function<uint32_t(const std::string& devicePath)>;

// Clears the list (and *pFailures), fills it with the system's ports in the system's order and
// runs the final pass. With bProbe, ports that cannot be opened now are left out and recorded
// in *pFailures with their error code. After an error the list holds the records found before
// it, unprobed.
void EnumerateSerialPorts(std::vector<SSerInfo>& list, bool bProbe,
                          std::vector<SPortProbeFailure>* pFailures = nullptr);
// The same with the given device paths in place of the system's ports; each path names itself
// (devicePath, shortName and friendlyName).
void EnumerateSerialPorts(std::vector<SSerInfo>& list, const std::vector<std::string>& devicePaths,
                          bool bProbe, std::vector<SPortProbeFailure>* pFailures = nullptr);

// Opens a listed device as the port does and closes it again: 0, or the errno-style reason it
// cannot be used now (EBUSY held by another program, EACCES not permitted, ENOENT gone; other
// causes as the backend reports them). What the final pass records for a dropped port.
uint32_t ProbeListedPort(const std::string& strDevicePath);

// The final pass every source ends with, over the list in order: with bProbe, a record whose
// device cannot be opened is removed (order kept) and recorded; an empty friendly name becomes
// the short name; an empty description is made from the friendly name.
void FinishPortList(std::vector<SSerInfo>& list, bool bProbe, std::vector<SPortProbeFailure>* pFailures,
                    const PortProbeFn& probe);

// The friendly name without its trailing " (port)": cut at the first " (" when that is not at
// the start and the first ")" is the last character; otherwise the whole text.
std::string DescriptionFromFriendlyName(const std::string& strFriendlyName);
