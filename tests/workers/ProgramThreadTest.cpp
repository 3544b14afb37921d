#include "target/FlashKernel.h"
#include "target/workers/Workers.h"
#include "tests/workers/TestHost.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using EOp = CFakePort::EOp;

namespace
{
using Chunks = std::vector<std::pair<uint32_t, Bytes>>;

Bytes Pattern(std::size_t nSize, uint8_t bySeed)
{
    Bytes bytes(nSize);
    for (std::size_t i = 0; i < nSize; ++i)
    {
        bytes[i] = static_cast<uint8_t>(bySeed + i * 7);
    }
    return bytes;
}

// Replies of a kernel that answers the ping, and the erase and the blank check each at their
// first poll.
void ScriptPhases(CFakePort& port)
{
    for (int i = 0; i < 5; ++i)
    {
        port.QueueRead({'0'});
    }
}

// Replies to one block write: command taken, ready for data, and the block's reply.
void ScriptBlock(CFakePort& port, Bytes reply = {'0', '1'})
{
    port.QueueRead({'0'});
    port.QueueRead({'1'});
    port.QueueRead(std::move(reply));
}

// A host whose port carries a unit with the kernel running, and an image loaded from chunks.
struct SProgramSetup
{
    explicit SProgramSetup(const Chunks& chunks) : port(host.AddPort("A")), file(chunks)
    {
        host.OpenAsDialog(0);
        port.m_dwBaud = 115200;
        EXPECT_EQ(host.m_image.Load(file.Path()), LOAD_OK);
    }
    CTestHost host;
    CFakePort& port;
    CTempSRecordFile file;
};

const Chunks THREE_BLOCKS = {
    {0xFF0000, Pattern(512, 1)}, {0xFF0200, Pattern(512, 2)}, {0xFF0400, Pattern(512, 3)}};
} // namespace

TEST(ProgramThread, RunProgramsEveryNonBlankBlockAndSkipsBlankOnes)
{
    // The whole top 64 KiB, data only in its first and its last block (the last one partly).
    SProgramSetup s({{0xFF0000, Pattern(512, 9)}, {0xFFFFF0, Pattern(16, 5)}});
    ScriptPhases(s.port);
    ScriptBlock(s.port);
    ScriptBlock(s.port);

    EXPECT_EQ(ProgramFlashThread(&s.host), 0u);

    EXPECT_EQ(s.host.m_nProgramResult, KR_OK);
    EXPECT_THAT(s.host.Texts(), ElementsAre("text 138", "text 139", "text 140"));
    EXPECT_EQ(s.port.m_ops.front().dwValue, 115200u);
    Bytes last(512, 0xFF);
    const Bytes tail = Pattern(16, 5);
    std::copy(tail.begin(), tail.end(), last.end() - 16);
    const std::map<uint32_t, Bytes> blocks = WrittenBlocks(s.port);
    EXPECT_EQ(blocks, (std::map<uint32_t, Bytes>{{0xFF0000, Pattern(512, 9)}, {0xFFFE00, last}}));
    EXPECT_EQ(CommandCount(s.port, 0x08), 2u);

    // One value per block of 0xFF0000..0xFFFFFF: 0 first, 65024 * 100 / 65536 = 99 last.
    const std::vector<intptr_t> progress = s.host.Progress("text 140");
    ASSERT_EQ(progress.size(), 128u);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress[64], 50);
    EXPECT_EQ(progress.back(), 99);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_THAT(s.host.Progress("text 138"), ElementsAre(0, 100));
    EXPECT_THAT(s.host.Progress("text 139"), ElementsAre(0, 100));
    EXPECT_EQ(s.host.EndingFault(true), "");
}

TEST(ProgramThread, AllBlankImageIsErasedAndCheckedButNoBlockIsSent)
{
    SProgramSetup s({{0xFF0000, Bytes(1024, 0xFF)}});
    ScriptPhases(s.port);

    ProgramFlashThread(&s.host);

    EXPECT_EQ(s.host.m_nProgramResult, KR_OK);
    EXPECT_EQ(CommandCount(s.port, 0x38), 1u);
    EXPECT_EQ(CommandCount(s.port, 0x48), 1u);
    EXPECT_EQ(CommandCount(s.port, 0x08), 0u);
    EXPECT_THAT(s.host.Progress("text 140"), ElementsAre(0, 50));
}

TEST(ProgramThread, UnitNotAnsweringThePingEndsBeforeAnyPhase)
{
    SProgramSetup s(THREE_BLOCKS);

    ProgramFlashThread(&s.host);

    EXPECT_EQ(s.host.m_nProgramResult, KR_NO_ANSWER);
    EXPECT_THAT(s.host.Texts(), IsEmpty());
    EXPECT_THAT(s.host.Progress(), IsEmpty());
    EXPECT_THAT(s.port.Writes(), ElementsAre(Bytes{0xE8}));
    EXPECT_EQ(s.host.EndingFault(true), "");
}

TEST(ProgramThread, FailingPhaseEndsTheRunWithItsResult)
{
    {
        SCOPED_TRACE("erase never ends");
        SProgramSetup s(THREE_BLOCKS);
        s.port.QueueRead({'0'});
        s.port.QueueRead({'0'});

        ProgramFlashThread(&s.host);

        EXPECT_EQ(s.host.m_nProgramResult, KR_TIMEOUT);
        EXPECT_THAT(s.host.Texts(), ElementsAre("text 138"));
        EXPECT_EQ(CommandCount(s.port, 0x48), 0u);
        EXPECT_EQ(s.host.EndingFault(true), "");
    }
    {
        SCOPED_TRACE("blank check finds a fault");
        SProgramSetup s(THREE_BLOCKS);
        for (const char cReply : {'0', '0', '0', '0', '2'})
        {
            s.port.QueueRead({static_cast<uint8_t>(cReply)});
        }

        ProgramFlashThread(&s.host);

        EXPECT_EQ(s.host.m_nProgramResult, KR_UNKNOWN_ERROR);
        EXPECT_EQ(CommandCount(s.port, 0x08), 0u);
        EXPECT_EQ(s.host.EndingFault(true), "");
    }
}

TEST(ProgramThread, MissingImageIsFoundOnlyAtTheProgrammingStep)
{
    SProgramSetup s(THREE_BLOCKS);
    s.host.m_image = CFirmwareImage();
    ScriptPhases(s.port);

    ProgramFlashThread(&s.host);

    EXPECT_EQ(s.host.m_nProgramResult, KR_NO_IMAGE);
    EXPECT_EQ(CommandCount(s.port, 0x48), 1u);
    EXPECT_THAT(s.host.Progress("text 140"), IsEmpty());
}

TEST(ProgramThread, FirstFailingBlockEndsTheRunWithItsResult)
{
    SProgramSetup s(THREE_BLOCKS);
    ScriptPhases(s.port);
    ScriptBlock(s.port);
    ScriptBlock(s.port, {'0', '4'}); // the kernel could not write it

    ProgramFlashThread(&s.host);

    EXPECT_EQ(s.host.m_nProgramResult, KR_TRANSFER_ERROR);
    EXPECT_EQ(CommandCount(s.port, 0x08), 2u);
    EXPECT_THAT(s.host.Progress("text 140"), ElementsAre(0, 33));
    EXPECT_EQ(s.host.EndingFault(true), "");
}

TEST(ProgramThread, StopRequestEndsTheRunAsAFailure)
{
    {
        SCOPED_TRACE("before the next block");
        SProgramSetup s(THREE_BLOCKS);
        ScriptPhases(s.port);
        ScriptBlock(s.port);
        ScriptBlock(s.port);
        s.host.m_onPost = [&s](const SWizardMessage& msg)
        {
            if (msg.wParam == STATUS_PROGRESS && s.host.Texts().size() == 3)
                s.host.m_bStop = true;
        };

        ProgramFlashThread(&s.host);

        EXPECT_EQ(CommandCount(s.port, 0x08), 1u);
        EXPECT_EQ(s.host.m_nProgramResult, KR_NO_ANSWER);
        EXPECT_EQ(s.host.EndingFault(true), "");
    }
    {
        SCOPED_TRACE("during the erase");
        SProgramSetup s(THREE_BLOCKS);
        ScriptPhases(s.port);
        s.host.m_onPost = [&s](const SWizardMessage& msg)
        {
            if (msg.wParam == STATUS_PROGRESS)
                s.host.m_bStop = true;
        };

        ProgramFlashThread(&s.host);

        EXPECT_THAT(s.host.Texts(), ElementsAre("text 138"));
        EXPECT_EQ(CommandCount(s.port, 0x48), 0u);
        EXPECT_EQ(s.host.m_nProgramResult, KR_NO_ANSWER);
        EXPECT_EQ(s.host.EndingFault(true), "");
    }
}

// A port failing anywhere in an otherwise good run ends it with KR_NO_ANSWER, never success.
// Reads: 1 ping, 2-3 erase, 4-5 blank check, 6-8 first block ... 14 last block's reply.
// Writes: 1 ping, 2 erase, 3 blank check, 4 first block command, 5 its data.
struct SProgramFault
{
    const char* pszWhere;
    EOp op;
    int nth;
};

void PrintTo(const SProgramFault& fault, std::ostream* pOut)
{
    *pOut << fault.pszWhere;
}

class ProgramPortFault : public ::testing::TestWithParam<std::tuple<SProgramFault, EFault>>
{
};

TEST_P(ProgramPortFault, EndsWithNoAnswer)
{
    const auto& [where, kind] = GetParam();
    SProgramSetup s(THREE_BLOCKS);
    ScriptPhases(s.port);
    for (int i = 0; i < 3; ++i)
    {
        ScriptBlock(s.port);
    }
    FailAt(s.port, where.op, where.nth, kind);

    ProgramFlashThread(&s.host);

    EXPECT_EQ(s.host.m_nProgramResult, KR_NO_ANSWER);
    EXPECT_EQ(s.host.EndingFault(true), "");
}

INSTANTIATE_TEST_SUITE_P(Points, ProgramPortFault,
                         ::testing::Combine(::testing::Values(SProgramFault{"Speed", EOp::SetBaud, 1},
                                                              SProgramFault{"PingRead", EOp::Read, 1},
                                                              SProgramFault{"ErasePoll", EOp::Read, 3},
                                                              SProgramFault{"BlankCheckWrite", EOp::Write, 3},
                                                              SProgramFault{"BlockData", EOp::Write, 5},
                                                              SProgramFault{"LastBlockReply", EOp::Read, 14}),
                                            ::testing::Values(EFault::Serial, EFault::Std, EFault::Other)),
                         [](const auto& param) {
                             return std::string(std::get<0>(param.param).pszWhere) +
                                    FaultName(std::get<1>(param.param));
                         });

TEST(ProgramProgress, FollowsTheIntegerFormulaAndNeverWraps)
{
    EXPECT_EQ(ProgramProgress(0xFF0000, 0xFF0000, 0xFFFFFF), 0u);
    EXPECT_EQ(ProgramProgress(0xFFFE00, 0xFF0000, 0xFFFFFF), 99u);
    EXPECT_EQ(ProgramProgress(0xFFFE00, 0, 0xFFFFFF), 99u);
    // The size of 0..0xFFFFFFFF wraps to 0 in 32 bits; a plain division would fault.
    EXPECT_EQ(ProgramProgress(0, 0, 0xFFFFFFFF), 0u);
    EXPECT_EQ(ProgramProgress(0x80000000, 0, 0xFFFFFFFF), 50u);
    EXPECT_EQ(ProgramProgress(0xFFFFFE00, 0, 0xFFFFFFFF), 99u);
    // Beyond 42 MB the 32-bit product (address - low) * 100 would wrap.
    EXPECT_EQ(ProgramProgress(0x0FFFFE00, 0, 0x0FFFFFFF), 99u);
}
