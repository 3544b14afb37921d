#include "target/ProtocolClock.h"

#include <chrono>
#include <thread>

namespace
{
class CSteadyClock final : public IProtocolClock
{
public:
    int64_t QueryCounter() override
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    int64_t QueryFrequency() override { return 1'000'000'000; }
    void Sleep(uint32_t dwMilliseconds) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
    }
};
} // namespace

IProtocolClock& SystemClock()
{
    static CSteadyClock s_clock;
    return s_clock;
}
