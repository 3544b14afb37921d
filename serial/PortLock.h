#pragma once
// The process-wide port lock: held from CPortHolder::OpenPort until ClosePort, on the thread
// that opened. Only CPortHolder takes it; visible so that tests can see whether it is free.
#include <mutex>

std::mutex& SerialPortLock();
