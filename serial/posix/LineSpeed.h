#pragma once
// Line speed through the kernel's termios2 interface, which takes any rate the driver accepts,
// not only the standard ones. Kept apart because its header clashes with <termios.h>.
#include <cstdint>

// 0 on success, else the errno of the failed call.
int GetLineSpeed(int fd, uint32_t& dwBaud);
int SetLineSpeed(int fd, uint32_t dwBaud);
