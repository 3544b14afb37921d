// The platform-free rules: read and write time-outs, and the final pass every port source ends with.
#include "serial/CommTimeouts.h"
#include "serial/EnumPorts.h"

#include <gtest/gtest.h>

TEST(CommTimeoutsPlan, ReadAndWriteLimits)
{
    constexpr uint32_t MAX = MAXDWORD_TIMEOUT;
    const struct
    {
        SCommTimeouts t;
        uint32_t nCount;
        bool bAtOnce, bFirstByte;
        std::optional<uint64_t> readMs, writeMs;
    } rows[] = {
        {{500, 50, 750, 20, 100}, 1, false, false, 800, 120},
        {{500, 50, 750, 20, 100}, 515, false, false, 26500, 10400},
        {{}, 10, false, false, {}, {}},                           // zero fields: no limit
        {{0, 0, 300, 0, 0}, 10, false, false, 300, {}},           // a constant alone still limits
        {{0, 7, 0, 3, 0}, 10, false, false, 70, 30},              // a multiplier alone scales
        {{MAX, 0, 0, 0, 0}, 100, true, false, {}, {}},            // no wait
        {{MAX, MAX, 250, 0, 0}, 100, false, true, 250, {}},       // wait for the first byte
        {{MAX, 0, 400, 0, 0}, 100, false, false, 400, {}},        // merely a long interval
        {{MAX, MAX, MAX, 0, 0}, 1, false, false, 2ull * MAX, {}}, // all-bits constant: no mode
        {{0, MAX, MAX, MAX, 1}, MAX, false, false, {}, {}},       // beyond any clock: no limit, no wrap
        {{0, 0, 0, 200, 0}, MAX, false, false, {}, 200ull * MAX}, // just below the cap
    };
    for (const auto& row : rows)
    {
        const SReadPlan plan = PlanRead(row.t, row.nCount);
        SCOPED_TRACE(::testing::Message() << "row " << (&row - rows));
        EXPECT_EQ(plan.bReturnAtOnce, row.bAtOnce);
        if (!row.bAtOnce)
        {
            EXPECT_EQ(plan.bReturnOnFirstByte, row.bFirstByte);
            EXPECT_EQ(plan.totalMs, row.readMs);
        }
        EXPECT_EQ(PlanWrite(row.t, row.nCount), row.writeMs);
    }
    EXPECT_EQ(PlanRead({500, 50, 750, 20, 100}, 1).intervalMs, 500u);
    EXPECT_FALSE(PlanRead({MAX, 0, 400, 0, 0}, 1).intervalMs);
}

TEST(PortListDescription, CutOnlyATrailingPortName)
{
    const std::pair<const char*, const char*> rows[] = {
        {"USB Serial Port (COM5)", "USB Serial Port"},
        {"Communications Port (COM1)", "Communications Port"},
        {"X ()", "X"},
        {"Port (COM5) B", "Port (COM5) B"},     // ")" not last
        {" (COM5)", " (COM5)"},                 // " (" at the start
        {"Port (A) (COM5)", "Port (A) (COM5)"}, // first ")" not last
        {"COM5", "COM5"},
        {"A)", "A)"},
        {"", ""},
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(DescriptionFromFriendlyName(in), out) << '"' << in << '"';
}
