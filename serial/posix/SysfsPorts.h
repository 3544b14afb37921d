#pragma once
// The serial ports of a Linux system, read from /sys/class/tty: the ttys with a real device
// behind them (USB adapters, on-board, PCI and platform UARTs), not virtual consoles, ptys or
// legacy 8250 ports without a UART.
#include "serial/SerInfo.h"

#include <string>
#include <vector>

struct SSysfsRoots
{
    std::string strSysRoot = "/sys";
    std::string strDevRoot = "/dev";
};

class CSysfsPortScanner
{
public:
    explicit CSysfsPortScanner(SSysfsRoots roots = {});

    // Appends the ports in natural order of their kernel names (ttyS2 before ttyS10).
    // Throws the message text as std::string when the tty class cannot be read.
    void Scan(std::vector<SSerInfo>& list) const;

private:
    SSysfsRoots m_roots;
};

// Name order with digit runs compared as numbers: ttyS2 < ttyS10 < ttyUSB0.
bool NaturalLess(const std::string& a, const std::string& b);
