#pragma once
#include "target/ProtocolClock.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

// IProtocolClock on the system clock whose waits end early, for good, once Cancel is called.
class CCancellableClock : public IProtocolClock
{
public:
    int64_t QueryCounter() override;
    int64_t QueryFrequency() override;
    void Sleep(uint32_t dwMilliseconds) override;
    // Thread-safe; ends every current and later Sleep at once.
    void Cancel();
    bool IsCancelled() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bCancelled = false;
};
