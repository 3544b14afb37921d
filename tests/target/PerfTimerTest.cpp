#include "target/PerfTimer.h"

#include "FakeClock.h"

#include <gtest/gtest.h>

TEST(PerfTimer, StopAndResumeAccumulate)
{
    CFakeClock clock(1000); // ticks are milliseconds
    CPerfTimer timer(false, &clock);
    clock.AdvanceMs(50);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 0.0); // not started
    timer.Start(false);
    clock.AdvanceMs(100);
    timer.Stop();
    clock.AdvanceMs(1000); // stopped time does not count
    timer.Stop();
    EXPECT_EQ(timer.ElapsedMilliseconds(), 100.0);
    timer.Start(false);
    clock.AdvanceMs(100);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 200.0);
    EXPECT_TRUE(timer.IsRunning());
    timer.Start(true);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 0.0);

    CPerfTimer zero(true, &clock); // started when the counter reads 0
    clock.AdvanceMs(500);
    zero.Stop();
    zero.Start(false); // the counter now equals the time accumulated: still running
    EXPECT_TRUE(zero.IsRunning());
    clock.AdvanceMs(100);
    EXPECT_EQ(zero.ElapsedMilliseconds(), 600.0);
}

TEST(PerfTimer, FrequencyZeroCountsTicksAsMilliseconds)
{
    CFakeClock clock(0);
    CPerfTimer timer(true, &clock);
    clock.AdvanceTicks(5);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 5000.0);
    EXPECT_EQ(timer.Frequency(), 1);
}

// Every reading of the counter costs 2 ticks: the cost of a start/stop pair is measured on the
// timer's own clock and taken off, never added, and never makes a time negative.
TEST(PerfTimer, StartStopCostIsTakenOffOnTheTimersOwnClock)
{
    CFakeClock clock(1000);
    clock.m_nTicksPerQuery = 2;
    CPerfTimer timer(true, &clock);
    EXPECT_EQ(timer.Overhead(), -2);
    clock.AdvanceTicks(100);
    timer.Stop();
    EXPECT_EQ(timer.ElapsedMilliseconds(), 100.0);
    CPerfTimer instant(true, &clock);
    instant.Stop();
    EXPECT_EQ(instant.ElapsedMilliseconds(), 0.0);
}
