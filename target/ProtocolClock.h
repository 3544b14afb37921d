#pragma once
// The time seam of the protocol layer: the stopwatch's counter and the fixed waits
// (between erase polls, after the speed switch) go through it, so tests can run the
// protocol against a fake clock in milliseconds.
#include <cstdint>

class IProtocolClock
{
public:
    virtual ~IProtocolClock() = default;
    // Monotonic counter in ticks, and ticks per second.
    virtual int64_t QueryCounter() = 0;
    virtual int64_t QueryFrequency() = 0;
    // Blocks the calling thread for about dwMilliseconds; may return early when the
    // owner of the clock cancels waiting (a closing program).
    virtual void Sleep(uint32_t dwMilliseconds) = 0;
};

// The process's real clock: a steady nanosecond counter and a plain sleep.
IProtocolClock& SystemClock();
