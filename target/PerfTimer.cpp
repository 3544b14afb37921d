#include "target/PerfTimer.h"

#include <algorithm>
#include <limits>

namespace
{
int64_t ValidFrequency(IProtocolClock& clock)
{
    const int64_t nFrequency = clock.QueryFrequency();
    return nFrequency > 0 ? nFrequency : 1;
}
} // namespace

CPerfTimer::CPerfTimer(bool bStartNow, IProtocolClock* pClock)
    : m_pClock(pClock != nullptr ? pClock : &SystemClock()), m_nFrequency(ValidFrequency(*m_pClock)),
      m_nOverhead(0)
{
    m_nOverhead = MeasureOverhead();
    if (bStartNow)
    {
        Start(false);
    }
}

int64_t CPerfTimer::MeasureOverhead()
{
    // Empty Start/Stop pairs with no correction yet; the first pays for cold caches, so the
    // cheapest of a few is kept. Zero or negative, like the count of a stopped timer.
    int64_t nOverhead = std::numeric_limits<int64_t>::min();
    for (int i = 0; i < 4; ++i)
    {
        Start(true);
        Stop();
        nOverhead = std::max(nOverhead, m_nCount);
    }
    m_nCount = 0;
    return nOverhead;
}

CPerfTimer::CPerfTimer(const CPerfTimer& other)
    : m_pClock(other.m_pClock), m_nFrequency(other.m_nFrequency), m_nOverhead(other.m_nOverhead)
{
    other.BeginAccess();
    BeginAccess();
    m_nCount = other.m_nCount;
    m_bRunning = other.m_bRunning;
    EndAccess();
    other.EndAccess();
}

CPerfTimer& CPerfTimer::operator=(const CPerfTimer& other)
{
    if (this == &other)
    {
        return *this;
    }
    other.BeginAccess();
    BeginAccess();
    m_pClock = other.m_pClock;
    m_nFrequency = other.m_nFrequency;
    m_nOverhead = other.m_nOverhead;
    m_nCount = other.m_nCount;
    m_bRunning = other.m_bRunning;
    EndAccess();
    other.EndAccess();
    return *this;
}

void CPerfTimer::Start(bool bReset)
{
    const int64_t nNow = m_pClock->QueryCounter();
    BeginAccess();
    if (!bReset && !m_bRunning && m_nCount < 0)
    {
        m_nCount += nNow;
    }
    else
    {
        m_nCount = nNow;
    }
    // A flag, not the sign of the count, says "running": a counter may start at 0 or lie
    // below the time accumulated so far.
    m_bRunning = true;
    EndAccess();
}

void CPerfTimer::Stop()
{
    BeginAccess();
    if (!m_bRunning)
    {
        EndAccess();
        return;
    }
    const int64_t nNow = m_pClock->QueryCounter();
    m_nCount -= nNow;
    m_nCount = m_nCount < m_nOverhead ? m_nCount - m_nOverhead : 0;
    m_bRunning = false;
    EndAccess();
}

bool CPerfTimer::IsRunning() const
{
    BeginAccess();
    const bool bRunning = m_bRunning;
    EndAccess();
    return bRunning;
}

double CPerfTimer::ElapsedMilliseconds() const
{
    CPerfTimer copy(*this);
    copy.Stop();
    return static_cast<double>(-copy.m_nCount) * 1000.0 / static_cast<double>(copy.m_nFrequency);
}
