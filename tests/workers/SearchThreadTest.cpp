#include "target/workers/Workers.h"
#include "tests/workers/TestHost.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using EOp = CFakePort::EOp;

namespace
{
constexpr uint8_t SYNC_REPLY = 0x11;
}

TEST(SearchThread, TwoSilentPortsAreTriedFivePassesAndNothingIsFound)
{
    CTestHost host;
    CFakePort& a = host.AddPort("A");
    host.AddPort("B");
    SSerInfo stale;
    host.SetCurrentPort(&stale);

    EXPECT_EQ(SearchDeviceThread(&host), 0u);

    EXPECT_THAT(host.Progress(), ElementsAre(10, 20, 30, 40, 50, 60, 70, 80, 90, 100));
    EXPECT_EQ(host.m_opened.size(), 10u);
    EXPECT_THAT(a.Writes(), ElementsAre(Bytes{0x18}, Bytes{0x18}, Bytes{0x18}, Bytes{0x18}, Bytes{0x18}));
    EXPECT_EQ(a.m_dwBaud, 4800u);
    EXPECT_EQ(host.DoneParam(), 0);
    EXPECT_EQ(host.GetCurrentPort(), nullptr);
    EXPECT_FALSE(host.Port().IsOpen());
    EXPECT_EQ(host.EndingFault(false), "");
}

TEST(SearchThread, UnitOnSecondOfThreePortsIsFoundInTheFirstPass)
{
    CTestHost host;
    host.AddPort("A");
    CFakePort& unit = host.AddPort("B");
    CFakePort& c = host.AddPort("C");
    unit.QueueRead({SYNC_REPLY});

    SearchDeviceThread(&host);

    EXPECT_THAT(host.Progress(), ElementsAre(6, 13));
    EXPECT_THAT(host.Texts(), ElementsAre("Port A", "Port B"));
    EXPECT_EQ(host.DoneParam(), 1);
    ASSERT_EQ(host.GetCurrentPort(), &host.Ports()[1]);
    // The search closes the port again; the download opens it anew.
    EXPECT_FALSE(unit.IsOpen());
    EXPECT_TRUE(c.m_ops.empty());
    EXPECT_EQ(host.EndingFault(false), "");
}

TEST(SearchThread, UnitThatAnswersOnlyInALaterPassIsFound)
{
    CTestHost host;
    host.AddPort("A");
    CFakePort& unit = host.AddPort("B");
    unit.QueueSilence(2); // RESET pressed late
    unit.QueueRead({SYNC_REPLY});

    SearchDeviceThread(&host);

    EXPECT_THAT(host.Progress(), ElementsAre(10, 20, 30, 40, 50, 60));
    EXPECT_EQ(host.DoneParam(), 1);
    EXPECT_EQ(host.GetCurrentPort(), &host.Ports()[1]);
}

TEST(SearchThread, WrongSyncReplyIsNotAUnit)
{
    CTestHost host;
    CFakePort& a = host.AddPort("A");
    a.QueueRead({0x01});

    SearchDeviceThread(&host);

    EXPECT_EQ(host.DoneParam(), 0);
    EXPECT_EQ(host.GetCurrentPort(), nullptr);
}

TEST(SearchThread, PortThatCannotBeOpenedIsSkippedAndTheNextTried)
{
    CTestHost host;
    host.AddPort("A");
    CFakePort& unit = host.AddPort("B");
    host.m_unopenable[0] = true;
    unit.QueueRead({SYNC_REPLY});

    SearchDeviceThread(&host);

    // Port A still counts as tried; its name is not shown because it never opened.
    EXPECT_THAT(host.Progress(), ElementsAre(10, 20));
    EXPECT_THAT(host.Texts(), ElementsAre("Port B"));
    EXPECT_EQ(host.DoneParam(), 1);
    EXPECT_EQ(host.GetCurrentPort(), &host.Ports()[1]);
}

TEST(SearchThread, NoPortThatOpensGivesACompleteNotFound)
{
    CTestHost host;
    host.AddPort("A");
    host.m_unopenable[0] = true;

    SearchDeviceThread(&host);

    EXPECT_THAT(host.Progress(), ElementsAre(20, 40, 60, 80, 100));
    EXPECT_THAT(host.Texts(), IsEmpty());
    EXPECT_EQ(host.DoneParam(), 0);
    EXPECT_EQ(host.GetCurrentPort(), nullptr);
}

TEST(SearchThread, EmptyPortListOrEnumerationErrorEndsAsNotFound)
{
    for (const bool bError : {false, true})
    {
        SCOPED_TRACE(bError ? "enumeration error" : "empty list");
        CTestHost host;
        if (bError)
        {
            host.AddPort("A");
            host.m_enumError = "Error 5: access denied";
        }
        SSerInfo stale;
        host.SetCurrentPort(&stale);

        SearchDeviceThread(&host);

        EXPECT_THAT(host.Progress(), IsEmpty());
        EXPECT_THAT(host.m_opened, IsEmpty());
        EXPECT_EQ(host.DoneParam(), 0);
        EXPECT_EQ(host.GetCurrentPort(), nullptr);
        EXPECT_EQ(host.EndingFault(false), "");
    }
}

TEST(SearchThread, StopRequestEndsTheSearchBeforeTheNextPort)
{
    CTestHost host;
    CFakePort& silent = host.AddPort("A");
    CFakePort& unit = host.AddPort("B");
    unit.QueueRead({SYNC_REPLY});
    // The dialog closes while the first port is tried: it interrupts the read.
    silent.m_onOp = [&host](EOp op)
    {
        if (op == EOp::Read)
        {
            host.m_bStop = true;
            ThrowFault(EFault::Serial);
        }
    };

    SearchDeviceThread(&host);

    EXPECT_THAT(host.Progress(), ElementsAre(10));
    EXPECT_TRUE(unit.m_ops.empty());
    EXPECT_FALSE(silent.IsOpen());
    EXPECT_EQ(host.DoneParam(), 0);
    EXPECT_EQ(host.GetCurrentPort(), nullptr);
    EXPECT_EQ(host.EndingFault(false), "");
}

TEST(SearchThread, StopRequestedBeforeTheStartTriesNothing)
{
    CTestHost host;
    host.AddPort("A");
    host.m_bStop = true;

    SearchDeviceThread(&host);

    EXPECT_THAT(host.m_opened, IsEmpty());
    EXPECT_EQ(host.DoneParam(), 0);
    EXPECT_EQ(host.EndingFault(false), "");
}

// A port failing underneath the exchange counts as a port where nothing answered: it is
// closed and the search goes on with the next record.
class SearchPortFault : public ::testing::TestWithParam<EFault>
{
};

TEST_P(SearchPortFault, FailingPortIsClosedAndTheNextTried)
{
    for (const EOp op : {EOp::SetBaud, EOp::Write, EOp::Read})
    {
        CTestHost host;
        CFakePort& broken = host.AddPort("A");
        CFakePort& unit = host.AddPort("B");
        unit.QueueRead({SYNC_REPLY});
        FailAt(broken, op, 1, GetParam());

        SearchDeviceThread(&host);

        EXPECT_FALSE(broken.IsOpen());
        EXPECT_THAT(host.Texts(), ElementsAre("Port A", "Port B"));
        EXPECT_EQ(host.DoneParam(), 1);
        EXPECT_EQ(host.GetCurrentPort(), &host.Ports()[1]);
        EXPECT_EQ(host.EndingFault(false), "");
    }
}

TEST_P(SearchPortFault, PortFailingInEveryPassStillEndsCleanly)
{
    CTestHost host;
    CFakePort& broken = host.AddPort("A");
    int nReads = 0;
    broken.m_onOp = [&nReads](EOp op)
    {
        if (op == EOp::Read)
        {
            ++nReads;
            ThrowFault(GetParam());
        }
    };

    SearchDeviceThread(&host);

    EXPECT_EQ(nReads, 5);
    EXPECT_EQ(host.DoneParam(), 0);
    EXPECT_EQ(host.GetCurrentPort(), nullptr);
    EXPECT_EQ(host.EndingFault(false), "");
}

INSTANTIATE_TEST_SUITE_P(Kinds, SearchPortFault,
                         ::testing::Values(EFault::Serial, EFault::Std, EFault::Other),
                         [](const ::testing::TestParamInfo<EFault>& param)
                         { return FaultName(param.param); });
