#pragma once
#include <string>

// One serial port present on the machine.
struct SSerInfo
{
    std::string devicePath;   // what OpenPort opens, e.g. /dev/ttyUSB0
    std::string shortName;    // the kernel's name, e.g. ttyUSB0
    std::string friendlyName; // what the user is shown
    bool usbDevice = false;   // attached through USB
    std::string description;  // device description; made from friendlyName when empty
    std::string usbSerial;    // the USB adapter's serial number, where the system gives one
};

// A port the enumeration's probe dropped, with the system error that dropped it.
struct SPortProbeFailure
{
    std::string devicePath;
    // errno-style reason on every platform (EACCES: the user may not use the device; EBUSY: held
    // by another program), see ProbeListedPort.
    int nError = 0;
};
