#pragma once
// The port lock: process-wide, one per device path. CPortHolder::OpenPort takes its device's
// lock and ClosePort releases it, on any thread. A second opener of the same device in this
// program waits for the first to close; openers of different devices never wait for each
// other, so several units can be updated at once. Visible so that tests can see its state.
#include <string>

void LockSerialPort(const std::string& devicePath);
void UnlockSerialPort(const std::string& devicePath);
bool IsSerialPortLocked(const std::string& devicePath);
