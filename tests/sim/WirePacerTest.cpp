#include "sim/WirePacer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using us = std::chrono::microseconds;

TEST(WirePacerTest, ByteTimeIsTenBitsRoundedUp)
{
    EXPECT_EQ(CWirePacer::ByteTime(4800), us(2084)); // 2083.3 us
    EXPECT_EQ(CWirePacer::ByteTime(115200), us(87)); // 86.8 us
    EXPECT_EQ(CWirePacer::ByteTime(10'000'000), us(1));
    EXPECT_EQ(CWirePacer::ByteTime(0), us(0));
}

TEST(WirePacerTest, WithoutPacingBytesPassAtOnce)
{
    CWirePacer pacer(false);
    const SimTime t = SimTime{} + 5s;
    EXPECT_EQ(pacer.InboundDelivery(t, 4800), t);
    EXPECT_EQ(pacer.InboundDelivery(t, 4800), t);
    EXPECT_EQ(pacer.OutboundDone(t, 4800), t);
}

TEST(WirePacerTest, InboundBytesFollowEachOtherAtLineSpeed)
{
    CWirePacer pacer(true, 300ms);
    const SimTime t0 = SimTime{} + 1s;
    // Three bytes handed over together arrive one byte time apart.
    EXPECT_EQ(pacer.InboundDelivery(t0, 4800), t0 + us(2084));
    EXPECT_EQ(pacer.InboundDelivery(t0, 4800), t0 + us(2 * 2084));
    EXPECT_EQ(pacer.InboundDelivery(t0, 4800), t0 + us(3 * 2084));
    // A byte handed over after the line went idle starts afresh.
    const SimTime t1 = t0 + 1s;
    EXPECT_EQ(pacer.InboundDelivery(t1, 115200), t1 + us(87));
}

TEST(WirePacerTest, HoldBackOfAFrameIsCapped)
{
    // The kernel frame: 918 bytes at 4800 bit/s would take 1.9 s; the last byte must arrive
    // no later than the cap after it was handed over, and the order never changes.
    CWirePacer pacer(true, 300ms);
    const SimTime t0 = SimTime{} + 1s;
    SimTime last{};
    for (int i = 0; i < 918; ++i)
    {
        const SimTime t = pacer.InboundDelivery(t0, 4800);
        EXPECT_GE(t, last);
        EXPECT_LE(t, t0 + 300ms);
        last = t;
    }
    EXPECT_EQ(last, t0 + 300ms);
    // A byte handed over later is not delivered before those ahead of it.
    EXPECT_GE(pacer.InboundDelivery(t0 + 1ms, 4800), last);
}

TEST(WirePacerTest, OutboundBytesQueueBehindEachOther)
{
    CWirePacer pacer(true);
    const SimTime t0 = SimTime{} + 1s;
    EXPECT_EQ(pacer.OutboundDone(t0, 115200), t0 + us(87));
    EXPECT_EQ(pacer.OutboundDone(t0, 115200), t0 + us(174));
    // A 515-byte read reply takes its 45 ms: replies are not capped.
    SimTime t{};
    for (int i = 0; i < 515; ++i)
    {
        t = pacer.OutboundDone(t0 + 1s, 115200);
    }
    EXPECT_EQ(t, t0 + 1s + us(515 * 87));
}
