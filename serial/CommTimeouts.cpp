#include "serial/CommTimeouts.h"

namespace
{
std::optional<uint64_t> Total(uint32_t dwMultiplier, uint32_t dwConstant, uint32_t dwCount)
{
    if (dwMultiplier == 0 && dwConstant == 0)
        return std::nullopt;
    // Cannot overflow: (2^32 - 1)^2 + 2^32 - 1 < 2^64.
    const uint64_t ms = uint64_t{dwMultiplier} * dwCount + dwConstant;
    if (ms > MAX_TIMEOUT_MS)
        return std::nullopt;
    return ms;
}
} // namespace

SReadPlan PlanRead(const SCommTimeouts& timeouts, uint32_t dwCount)
{
    SReadPlan plan;
    const bool bMaxInterval = timeouts.ReadIntervalTimeout == MAXDWORD_TIMEOUT;
    if (bMaxInterval && timeouts.ReadTotalTimeoutMultiplier == 0 && timeouts.ReadTotalTimeoutConstant == 0)
    {
        plan.bReturnAtOnce = true;
        return plan;
    }
    if (bMaxInterval && timeouts.ReadTotalTimeoutMultiplier == MAXDWORD_TIMEOUT &&
        timeouts.ReadTotalTimeoutConstant != 0 && timeouts.ReadTotalTimeoutConstant != MAXDWORD_TIMEOUT)
    {
        plan.bReturnOnFirstByte = true;
        plan.totalMs = timeouts.ReadTotalTimeoutConstant;
        return plan;
    }
    plan.totalMs = Total(timeouts.ReadTotalTimeoutMultiplier, timeouts.ReadTotalTimeoutConstant, dwCount);
    // An all-bits-set interval outside the two modes above is simply too long to matter.
    if (timeouts.ReadIntervalTimeout != 0 && !bMaxInterval)
        plan.intervalMs = timeouts.ReadIntervalTimeout;
    return plan;
}

std::optional<uint64_t> PlanWrite(const SCommTimeouts& timeouts, uint32_t dwCount)
{
    return Total(timeouts.WriteTotalTimeoutMultiplier, timeouts.WriteTotalTimeoutConstant, dwCount);
}
