#include "app/core/CancellableClock.h"

#include <chrono>

int64_t CCancellableClock::QueryCounter()
{
    return SystemClock().QueryCounter();
}

int64_t CCancellableClock::QueryFrequency()
{
    return SystemClock().QueryFrequency();
}

void CCancellableClock::Sleep(uint32_t dwMilliseconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), [this] { return m_bCancelled; });
}

void CCancellableClock::Cancel()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bCancelled = true;
    }
    m_cv.notify_all();
}

bool CCancellableClock::IsCancelled() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bCancelled;
}
