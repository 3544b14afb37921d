#pragma once
// Time moves only when Sleep is called or a test (or the fake port) advances it.
#include "target/ProtocolClock.h"

#include <cstdint>
#include <vector>

class CFakeClock : public IProtocolClock
{
public:
    explicit CFakeClock(int64_t nFrequency = 1'000'000) : m_nFrequency(nFrequency) {}

    int64_t QueryCounter() override { return m_nNow; }
    int64_t QueryFrequency() override { return m_nFrequency; }
    void Sleep(uint32_t dwMilliseconds) override
    {
        m_sleeps.push_back(dwMilliseconds);
        AdvanceMs(dwMilliseconds);
    }
    void AdvanceMs(uint32_t dwMilliseconds) { m_nNow += int64_t{dwMilliseconds} * m_nFrequency / 1000; }

    std::vector<uint32_t> m_sleeps;

private:
    int64_t m_nNow = 0;
    int64_t m_nFrequency;
};
