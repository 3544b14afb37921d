#pragma once
// Shared by the port tests of both backends: the protocol's time-outs, elapsed time and the code
// of a CSerialException.
#include "serial/SerialPort.h"

#include <chrono>

using Clock = std::chrono::steady_clock;

constexpr SCommTimeouts PROTOCOL_TIMEOUTS{500, 50, 750, 20, 100};

inline long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Runs f; the code of the CSerialException it throws, 0 when it does not throw.
template <typename F> uint32_t ErrorOf(F&& f)
{
    try
    {
        f();
    }
    catch (const CSerialException& ex)
    {
        return ex.m_errorCode;
    }
    return 0;
}
