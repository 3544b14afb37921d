#include "target/PerfTimer.h"

#include "FakeClock.h"

#include <gtest/gtest.h>

// The program only reads a timer started when it is made (the blank check's limit).
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
