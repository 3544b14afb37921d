// The dialog's side of the worker messages: status sub-codes, the progress bar, and what the
// dialog keeps from a search.
#include "tests/app/WizardFixture.h"

#include <cerrno>

namespace
{

using WorkerMessages = WizardFixture;

TEST_F(WorkerMessages, UnknownSubCodeChangesNothing)
{
    Make();
    Start();
    const std::size_t nCalls = m_view.m_log.size();
    for (uintptr_t nCode : {uintptr_t{0}, uintptr_t{5}, uintptr_t{99}})
    {
        m_pDlg->HandleMessage(SWizardMessage{WM_WORKER_STATUS, nCode, 1234, "text"});
    }
    EXPECT_EQ(m_view.m_log.size(), nCalls);
}

TEST_F(WorkerMessages, ProgressResetsTheRangeEveryTimeAndStaysWithinIt)
{
    Make();
    Start();
    const std::pair<intptr_t, int> cases[] = {{0, 0}, {37, 37}, {100, 100}, {250, 100}, {-3, 0}};
    for (const auto& [nSent, nShown] : cases)
    {
        m_view.m_ranges.clear();
        m_pDlg->HandleMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, nSent, {}});
        EXPECT_EQ(m_view.m_ranges, (std::vector<std::pair<int, int>>{{0, 100}})) << nSent;
        EXPECT_EQ(m_view.m_nProgressPos, nShown) << nSent;
    }
}

TEST_F(WorkerMessages, TextSubCodesFillTheirLines)
{
    Make();
    Start();
    m_view.m_sounds.clear();
    m_pDlg->HandleMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_INFOLINE1, 0, "line one"});
    m_pDlg->HandleMessage(
        SWizardMessage{WM_WORKER_STATUS, STATUS_INFOLINE3, 0, "Erasing the flash memory ..."});
    EXPECT_EQ(m_view.Text(IDC_INFOLINE1), "line one");
    EXPECT_EQ(Detail(), "Erasing the flash memory ...");

    // The message line: plain, so the icon is removed and no sound plays.
    Action(); // firmware page: warning icon
    ASSERT_EQ(m_view.Icon(IDC_MSGICON), EViewIcon::StockExclamation);
    m_view.m_sounds.clear();
    m_pDlg->HandleMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_INFOLINE2, 0, "plain"});
    EXPECT_EQ(Message(), "plain");
    EXPECT_EQ(m_view.Icon(IDC_MSGICON), EViewIcon::None);
    EXPECT_TRUE(m_view.m_sounds.empty());
}

TEST_F(WorkerMessages, PagesAndWorkerTextsFollowEachOtherInOrder)
{
    ToConnectPage();
    Action();
    Action();
    std::vector<std::string> messages;
    std::vector<std::string> details;
    const std::string strMessage = "text " + std::to_string(IDC_INFOLINE2) + " ";
    const std::string strDetail = "text " + std::to_string(IDC_INFOLINE3) + " ";
    for (const std::string& strCall : m_view.m_log)
    {
        if (strCall.rfind(strMessage, 0) == 0)
        {
            messages.push_back(strCall.substr(strMessage.size()));
        }
        if (strCall.rfind(strDetail, 0) == 0)
        {
            details.push_back(strCall.substr(strDetail.size()));
        }
    }
    EXPECT_EQ(messages,
              (std::vector<std::string>{T(108), T(123), T(125), T(126), T(131), T(133), T(131), T(136)}));
    const std::vector<std::string> expected = {
        T(109), T(124), "", "Fake port 0", T(127), T(132), "", "", T(138), T(139), T(140), T(137),
    };
    EXPECT_EQ(details, expected);
}

TEST_F(WorkerMessages, AccessDeniedPortsOfTheLastSearchAreKept)
{
    m_pUnit->found = {false, false};
    m_pUnit->probeFailures = {{"/dev/ttyS0", EACCES}, {"/dev/ttyUSB3", EBUSY}, {"/dev/ttyACM0", EACCES}};
    ToConnectPage();
    EXPECT_TRUE(m_pDlg->GetAccessDeniedPorts().empty()) << "nothing before a search";
    Action();
    EXPECT_EQ(m_pDlg->GetProbeFailures().size(), 3U);
    EXPECT_EQ(m_pDlg->GetAccessDeniedPorts(), (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyACM0"}));

    m_pUnit->probeFailures.clear();
    Action();
    EXPECT_TRUE(m_pDlg->GetAccessDeniedPorts().empty()) << "a new search replaces them";
}

} // namespace
