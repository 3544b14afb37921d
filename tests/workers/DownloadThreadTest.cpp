#include "target/workers/Workers.h"
#include "tests/workers/TestHost.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using EOp = CFakePort::EOp;

namespace
{
// A host whose dialog has opened the port of a unit waiting in its boot ROM.
struct SDownloadSetup
{
    SDownloadSetup() : port(host.AddPort("A")) { host.OpenAsDialog(0); }
    CTestHost host;
    CFakePort& port;
};

const Bytes SWITCH_FRAME = {0x40, 0x00, 0x00, 0x00, 0x00};
} // namespace

TEST(DownloadThread, SuccessAtTheFirstAttemptPostsOnlyTwenty)
{
    SDownloadSetup s;
    s.port.QueueRead({0x11});
    s.port.QueueRead({0x01});

    EXPECT_EQ(DownloadKernelThread(&s.host), 0u);

    EXPECT_THAT(s.host.Progress(), ElementsAre(20));
    EXPECT_EQ(s.host.m_nDownloadOk, 1);
    const std::vector<Bytes> writes = s.port.Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0], Bytes{0x18});
    EXPECT_EQ(writes[1].size(), 912u + 6u); // the MB90F345's kernel in one frame
    EXPECT_EQ(Bytes(writes[1].begin(), writes[1].begin() + 5), (Bytes{0x00, 0x01, 0x90, 0x03, 0x90}));
    EXPECT_EQ(writes[2], SWITCH_FRAME);
    // The port stays open at the kernel's speed for the programming run.
    EXPECT_TRUE(s.port.IsOpen());
    EXPECT_EQ(s.port.m_dwBaud, 115200u);
    EXPECT_EQ(s.host.EndingFault(true), "");
}

TEST(DownloadThread, PortLeftAtAnotherSpeedIsSetToTheBootSpeedFirst)
{
    SDownloadSetup s;
    s.port.m_dwBaud = 115200;

    DownloadKernelThread(&s.host);

    ASSERT_FALSE(s.port.m_ops.empty());
    EXPECT_EQ(s.port.m_ops.front().op, EOp::SetBaud);
    EXPECT_EQ(s.port.m_ops.front().dwValue, 4800u);
}

TEST(DownloadThread, FailedSynchronizeMeansNoDownloadAttempt)
{
    SDownloadSetup s;

    DownloadKernelThread(&s.host);

    EXPECT_THAT(s.host.Progress(), IsEmpty());
    EXPECT_THAT(s.port.Writes(), ElementsAre(Bytes{0x18}));
    EXPECT_EQ(s.host.m_nDownloadOk, 0);
    EXPECT_EQ(s.host.EndingFault(true), "");
}

TEST(DownloadThread, FiveRefusalsGiveUpAfterTheFifthAttempt)
{
    SDownloadSetup s;
    s.port.QueueRead({0x11});
    for (int i = 0; i < 5; ++i)
    {
        s.port.QueueRead({0x00});
    }

    DownloadKernelThread(&s.host);

    EXPECT_THAT(s.host.Progress(), ElementsAre(20, 40, 60, 80, 100));
    EXPECT_EQ(s.host.m_nDownloadOk, 0);
    EXPECT_EQ(s.port.Writes().size(), 6u); // sync and five frames, no switch
    EXPECT_EQ(s.port.m_dwBaud, 4800u);
    EXPECT_EQ(s.host.EndingFault(true), "");
}

TEST(DownloadThread, FourRefusalsStillSucceedAtTheLastAttempt)
{
    SDownloadSetup s;
    s.port.QueueRead({0x11});
    for (int i = 0; i < 4; ++i)
    {
        s.port.QueueSilence();
    }
    s.port.QueueRead({0x01});

    DownloadKernelThread(&s.host);

    EXPECT_THAT(s.host.Progress(), ElementsAre(20, 40, 60, 80, 100));
    EXPECT_EQ(s.host.m_nDownloadOk, 1);
    EXPECT_EQ(s.port.Writes().back(), SWITCH_FRAME);
}

TEST(DownloadThread, StopRequestEndsBeforeTheNextAttempt)
{
    SDownloadSetup s;
    s.port.QueueRead({0x11});
    s.host.m_onPost = [&s](const SWizardMessage&) { s.host.m_bStop = true; };

    DownloadKernelThread(&s.host);

    EXPECT_THAT(s.host.Progress(), ElementsAre(20));
    EXPECT_EQ(s.port.Writes().size(), 2u);
    EXPECT_EQ(s.host.m_nDownloadOk, 0);
    EXPECT_EQ(s.host.EndingFault(true), "");
}

TEST(DownloadThread, StopRequestedBeforeTheStartSendsNothing)
{
    SDownloadSetup s;
    s.host.m_bStop = true;

    DownloadKernelThread(&s.host);

    EXPECT_THAT(s.port.Writes(), IsEmpty());
    EXPECT_EQ(s.host.m_nDownloadOk, 0);
    EXPECT_EQ(s.host.EndingFault(true), "");
}

// Where the port fails, in a download that would otherwise succeed at the first attempt.
struct SDownloadFault
{
    const char* pszWhere;
    EOp op;
    int nth;
};

void PrintTo(const SDownloadFault& fault, std::ostream* pOut)
{
    *pOut << fault.pszWhere;
}

class DownloadPortFault : public ::testing::TestWithParam<std::tuple<SDownloadFault, EFault>>
{
};

TEST_P(DownloadPortFault, EndsWithDownloadNotOk)
{
    const auto& [where, kind] = GetParam();
    SDownloadSetup s;
    s.port.QueueRead({0x11});
    s.port.QueueRead({0x01});
    FailAt(s.port, where.op, where.nth, kind);

    DownloadKernelThread(&s.host);

    EXPECT_EQ(s.host.m_nDownloadOk, 0);
    EXPECT_EQ(s.host.EndingFault(true), "");
}

INSTANTIATE_TEST_SUITE_P(Points, DownloadPortFault,
                         ::testing::Combine(::testing::Values(SDownloadFault{"FirstSpeed", EOp::SetBaud, 1},
                                                              SDownloadFault{"SyncRead", EOp::Read, 1},
                                                              SDownloadFault{"FrameWrite", EOp::Write, 2},
                                                              SDownloadFault{"DownloadReply", EOp::Read, 2},
                                                              SDownloadFault{"SwitchWrite", EOp::Write, 3},
                                                              SDownloadFault{"SwitchSpeed", EOp::SetBaud, 2}),
                                            ::testing::Values(EFault::Serial, EFault::Std, EFault::Other)),
                         [](const auto& param) {
                             return std::string(std::get<0>(param.param).pszWhere) +
                                    FaultName(std::get<1>(param.param));
                         });
