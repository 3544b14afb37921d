#include "target/PerfTimer.h"

#include "FakeClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

TEST(PerfTimer, FakeClockMeasuresExactly)
{
    CFakeClock clock(1000); // ticks are milliseconds; the counter starts at 0
    CPerfTimer idle(false, &clock);
    clock.AdvanceMs(50);
    EXPECT_EQ(idle.ElapsedMilliseconds(), 0.0);
    EXPECT_EQ(idle.Overhead(), 0);

    CPerfTimer timer(true, &clock); // started at counter 50
    clock.AdvanceMs(100);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 100.0);
    const double dFirst = timer.ElapsedMilliseconds();
    clock.AdvanceMs(1);
    EXPECT_GE(timer.ElapsedMilliseconds(), dFirst);
    EXPECT_TRUE(timer.IsRunning());
}

TEST(PerfTimer, StopAndResumeAccumulate)
{
    CFakeClock clock(1000);
    CPerfTimer timer(true, &clock); // started at counter 0
    clock.AdvanceMs(100);
    timer.Stop();
    clock.AdvanceMs(1000); // stopped time does not count
    timer.Stop();          // stopping twice changes nothing
    EXPECT_EQ(timer.ElapsedMilliseconds(), 100.0);

    // Resumed when the counter just equals the time accumulated: it still runs.
    CFakeClock early(1000);
    CPerfTimer resumed(true, &early);
    early.AdvanceMs(500);
    resumed.Stop();
    resumed.Start(false);
    EXPECT_TRUE(resumed.IsRunning());
    early.AdvanceMs(100);
    EXPECT_EQ(resumed.ElapsedMilliseconds(), 600.0);

    timer.Start(false);
    clock.AdvanceMs(100);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 200.0);
    timer.Start(true);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 0.0);
    clock.AdvanceMs(30);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 30.0);
}

TEST(PerfTimer, CopiesAreIndependentSnapshots)
{
    CFakeClock clock(1000);
    CPerfTimer timer(true, &clock);
    clock.AdvanceMs(10);
    CPerfTimer copy(timer);
    copy.Stop();
    clock.AdvanceMs(10);
    EXPECT_EQ(copy.ElapsedMilliseconds(), 10.0);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 20.0);
    copy = timer;
    EXPECT_TRUE(copy.IsRunning());
    EXPECT_EQ(copy.ElapsedMilliseconds(), 20.0);
}

TEST(PerfTimer, ZeroFrequencyCountsOneTickPerSecond)
{
    CFakeClock clock(0);
    CPerfTimer timer(true, &clock);
    EXPECT_EQ(timer.Frequency(), 1);
    clock.AdvanceTicks(3);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 3000.0);
}

namespace
{
// Counts hook calls; a Begin without its End would leave a derived lock held.
class CCountingTimer : public CPerfTimer
{
public:
    explicit CCountingTimer(IProtocolClock* pClock) : CPerfTimer(false, pClock) {}
    mutable int m_nBegin = 0;
    mutable int m_nEnd = 0;

protected:
    void BeginAccess() const override { ++m_nBegin; }
    void EndAccess() const override { ++m_nEnd; }
};
} // namespace

TEST(PerfTimer, AccessHooksAreBalanced)
{
    CFakeClock clock(1000);
    CCountingTimer timer(&clock);
    timer.Stop(); // the early return of a stopped timer
    timer.Start(false);
    timer.ElapsedMilliseconds();
    timer.Stop();
    EXPECT_GE(timer.m_nBegin, 4);
    EXPECT_EQ(timer.m_nBegin, timer.m_nEnd);
}

TEST(PerfTimer, SystemClockIsSaneAndCalibratedOnce)
{
    std::vector<CPerfTimer> timers(8);
    std::vector<std::thread> threads;
    for (CPerfTimer& timer : timers)
    {
        threads.emplace_back([&timer] { timer = CPerfTimer(true); });
    }
    for (std::thread& thread : threads)
    {
        thread.join();
    }
    for (const CPerfTimer& timer : timers)
    {
        EXPECT_EQ(timer.Frequency(), 1'000'000'000);
        EXPECT_EQ(timer.Overhead(), timers[0].Overhead());
        EXPECT_LE(timer.Overhead(), 0);
    }

    CPerfTimer timer(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const double dMs = timer.ElapsedMilliseconds();
    EXPECT_GE(dMs, 15.0);
    EXPECT_LT(dMs, 5000.0);
    CPerfTimer empty(true);
    empty.Stop();
    EXPECT_GE(empty.ElapsedMilliseconds(), 0.0);
}
