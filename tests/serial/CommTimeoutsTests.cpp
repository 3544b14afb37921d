#include "serial/CommTimeouts.h"

#include <gtest/gtest.h>

namespace
{
constexpr SCommTimeouts PROTOCOL_TIMEOUTS{500, 50, 750, 20, 100};
}

TEST(CommTimeoutsPlan, ProtocolValuesGiveTheDocumentedLimits)
{
    const SReadPlan one = PlanRead(PROTOCOL_TIMEOUTS, 1);
    EXPECT_FALSE(one.bReturnAtOnce);
    EXPECT_FALSE(one.bReturnOnFirstByte);
    EXPECT_EQ(one.totalMs, 800u);
    EXPECT_EQ(one.intervalMs, 500u);
    EXPECT_EQ(PlanRead(PROTOCOL_TIMEOUTS, 515).totalMs, 26500u);
    EXPECT_EQ(PlanWrite(PROTOCOL_TIMEOUTS, 5), 200u);
    EXPECT_EQ(PlanWrite(PROTOCOL_TIMEOUTS, 0), 100u);
}

TEST(CommTimeoutsPlan, ZeroFieldsMeanNoLimit)
{
    const SReadPlan plan = PlanRead(SCommTimeouts{}, 10);
    EXPECT_FALSE(plan.bReturnAtOnce);
    EXPECT_FALSE(plan.totalMs);
    EXPECT_FALSE(plan.intervalMs);
    EXPECT_FALSE(PlanWrite(SCommTimeouts{}, 10));
    // A constant alone still limits; a multiplier alone scales with the count.
    EXPECT_EQ(PlanRead(SCommTimeouts{0, 0, 300, 0, 0}, 10).totalMs, 300u);
    EXPECT_EQ(PlanRead(SCommTimeouts{0, 7, 0, 0, 0}, 10).totalMs, 70u);
    EXPECT_EQ(PlanWrite(SCommTimeouts{0, 0, 0, 3, 0}, 10), 30u);
}

TEST(CommTimeoutsPlan, AllBitsIntervalSelectsTheSpecialModes)
{
    const SReadPlan noWait = PlanRead(SCommTimeouts{MAXDWORD_TIMEOUT, 0, 0, 0, 0}, 100);
    EXPECT_TRUE(noWait.bReturnAtOnce);

    const SReadPlan firstByte = PlanRead(SCommTimeouts{MAXDWORD_TIMEOUT, MAXDWORD_TIMEOUT, 250, 0, 0}, 100);
    EXPECT_FALSE(firstByte.bReturnAtOnce);
    EXPECT_TRUE(firstByte.bReturnOnFirstByte);
    EXPECT_EQ(firstByte.totalMs, 250u);

    // Outside those two, the interval is merely too long to matter.
    const SReadPlan longInterval = PlanRead(SCommTimeouts{MAXDWORD_TIMEOUT, 0, 400, 0, 0}, 100);
    EXPECT_FALSE(longInterval.bReturnAtOnce);
    EXPECT_FALSE(longInterval.bReturnOnFirstByte);
    EXPECT_FALSE(longInterval.intervalMs);
    EXPECT_EQ(longInterval.totalMs, 400u);

    // An all-bits constant is not the first-byte mode.
    const SReadPlan allMax =
        PlanRead(SCommTimeouts{MAXDWORD_TIMEOUT, MAXDWORD_TIMEOUT, MAXDWORD_TIMEOUT, 0, 0}, 1);
    EXPECT_FALSE(allMax.bReturnOnFirstByte);
}

TEST(CommTimeoutsPlan, HugeProductsDoNotOverflow)
{
    // (2^32-1) * (2^32-1) is beyond any clock: no limit rather than a wrapped, short one.
    const SReadPlan plan =
        PlanRead(SCommTimeouts{0, MAXDWORD_TIMEOUT, MAXDWORD_TIMEOUT, 0, 0}, MAXDWORD_TIMEOUT);
    EXPECT_FALSE(plan.totalMs);
    EXPECT_FALSE(PlanWrite(SCommTimeouts{0, 0, 0, MAXDWORD_TIMEOUT, 1}, MAXDWORD_TIMEOUT));
    // Just below the cap the value is taken as it is.
    const auto ms = PlanWrite(SCommTimeouts{0, 0, 0, 200, 0}, MAXDWORD_TIMEOUT);
    ASSERT_TRUE(ms);
    EXPECT_EQ(*ms, 200ull * MAXDWORD_TIMEOUT);
}
