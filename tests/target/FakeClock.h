#pragma once
// Time moves only by Sleep, by the test (or the fake port), or by m_nTicksPerQuery on every
// reading of the counter (the cost of reading it).
#include "target/ProtocolClock.h"

#include <cstdint>
#include <utility>
#include <vector>

class CFakeClock : public IProtocolClock
{
public:
    explicit CFakeClock(int64_t nFrequency = 1'000'000) : m_nFrequency(nFrequency) {}
    int64_t QueryCounter() override { return std::exchange(m_nNow, m_nNow + m_nTicksPerQuery); }
    int64_t QueryFrequency() override { return m_nFrequency; }
    void Sleep(uint32_t dwMs) override { m_sleeps.push_back(dwMs), AdvanceMs(dwMs); }
    void AdvanceMs(uint32_t dwMs) { m_nNow += int64_t{dwMs} * m_nFrequency / 1000; }
    void AdvanceTicks(int64_t nTicks) { m_nNow += nTicks; }

    std::vector<uint32_t> m_sleeps;
    int64_t m_nTicksPerQuery = 0;

private:
    int64_t m_nNow = 0;
    int64_t m_nFrequency;
};
