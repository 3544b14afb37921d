#pragma once
// How long a read or write may wait under a set of time-outs (see SerialPort.h for the rules).
// Kept free of any system call so that every platform port and the tests share one reading.
#include "serial/SerialPort.h"

#include <cstdint>
#include <optional>

// Longest wait taken literally (about 31 years); anything above it means "no limit" so that
// deadlines never overflow the clock.
inline constexpr uint64_t MAX_TIMEOUT_MS = 1'000'000'000'000ull;

struct SReadPlan
{
    bool bReturnAtOnce = false;         // take what is there, never wait
    bool bReturnOnFirstByte = false;    // return as soon as anything has been read
    std::optional<uint64_t> totalMs;    // limit from the start of the call
    std::optional<uint64_t> intervalMs; // limit after each byte, once one has arrived
};

SReadPlan PlanRead(const SCommTimeouts& timeouts, uint32_t dwCount);
// Limit of a write of dwCount bytes from the start of the call; none when both fields are 0.
std::optional<uint64_t> PlanWrite(const SCommTimeouts& timeouts, uint32_t dwCount);
