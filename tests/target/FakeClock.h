#pragma once
// Time moves only when Sleep is called, a test (or the fake port) advances it, or, with
// m_nTicksPerQuery set, by that much on every reading of the counter (the cost of reading it).
#include "target/ProtocolClock.h"

#include <cstdint>
#include <vector>

class CFakeClock : public IProtocolClock
{
public:
    explicit CFakeClock(int64_t nFrequency = 1'000'000) : m_nFrequency(nFrequency) {}

    int64_t QueryCounter() override
    {
        const int64_t nNow = m_nNow;
        m_nNow += m_nTicksPerQuery;
        return nNow;
    }
    int64_t QueryFrequency() override { return m_nFrequency; }
    void Sleep(uint32_t dwMilliseconds) override
    {
        m_sleeps.push_back(dwMilliseconds);
        AdvanceMs(dwMilliseconds);
    }
    void AdvanceMs(uint32_t dwMilliseconds) { m_nNow += int64_t{dwMilliseconds} * m_nFrequency / 1000; }
    void AdvanceTicks(int64_t nTicks) { m_nNow += nTicks; }

    std::vector<uint32_t> m_sleeps;
    int64_t m_nTicksPerQuery = 0;

private:
    int64_t m_nNow = 0;
    int64_t m_nFrequency;
};
