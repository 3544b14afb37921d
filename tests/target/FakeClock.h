#pragma once
// A clock for tests: time moves only when Sleep is called or a test (or the fake port)
// advances it, so protocol waits cost nothing and measurements are exact.
#include "target/ProtocolClock.h"

#include <cstdint>
#include <vector>

class CFakeClock : public IProtocolClock
{
public:
    // Default: one tick per microsecond, starting at 0 (a counter real clocks never show).
    explicit CFakeClock(int64_t nFrequency = 1'000'000, int64_t nStart = 0)
        : m_nNow(nStart), m_nFrequency(nFrequency)
    {
    }

    int64_t QueryCounter() override { return m_nNow; }
    int64_t QueryFrequency() override { return m_nFrequency; }
    void Sleep(uint32_t dwMilliseconds) override
    {
        m_sleeps.push_back(dwMilliseconds);
        AdvanceMs(dwMilliseconds);
    }

    void AdvanceTicks(int64_t nTicks) { m_nNow += nTicks; }
    void AdvanceMs(uint32_t dwMilliseconds) { m_nNow += int64_t{dwMilliseconds} * m_nFrequency / 1000; }
    double NowMs() const { return static_cast<double>(m_nNow) * 1000.0 / static_cast<double>(m_nFrequency); }

    std::vector<uint32_t> m_sleeps;

private:
    int64_t m_nNow;
    int64_t m_nFrequency;
};
