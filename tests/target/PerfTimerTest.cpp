#include "target/PerfTimer.h"

#include "FakeClock.h"

#include <gtest/gtest.h>

TEST(PerfTimer, StopAndResumeAccumulateAndNeverGoNegative)
{
    CFakeClock clock(1000); // ticks are milliseconds
    CPerfTimer timer(true, &clock);
    clock.AdvanceMs(100);
    timer.Stop();
    clock.AdvanceMs(1000); // stopped time does not count
    timer.Stop();
    EXPECT_EQ(timer.ElapsedMilliseconds(), 100.0);
    timer.Start(false);
    clock.AdvanceMs(100);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 200.0);
    timer.Start(true);
    EXPECT_EQ(timer.ElapsedMilliseconds(), 0.0);

    // Resumed when the counter just equals the time accumulated: it still runs.
    CFakeClock early(1000);
    CPerfTimer resumed(true, &early);
    early.AdvanceMs(500);
    resumed.Stop();
    resumed.Start(false);
    EXPECT_TRUE(resumed.IsRunning());
    early.AdvanceMs(100);
    EXPECT_EQ(resumed.ElapsedMilliseconds(), 600.0);
    CPerfTimer empty(true, &early);
    empty.Stop();
    EXPECT_GE(empty.ElapsedMilliseconds(), 0.0);
}
