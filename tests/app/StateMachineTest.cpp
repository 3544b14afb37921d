// The wizard's paths through its states with scripted workers: which page waits for the user,
// what each answer leads to, and how the wizard ends.
#include "tests/app/Fakes.h"

#include "app/core/WizardMessageQueue.h"
#include "target/FlashKernel.h"

#include <thread>
#include <tuple>

namespace
{

using StateMachine = WizardFixture;

// From the connect page, clicks (see Click) lead to a waiting page with its row ("A" button, "YN"
// yes/no), or to the end with its exit status (nExit -1: still open). Zero fields are not checked.
struct SPath
{
    const char *pszName, *pszOptions;
    std::deque<bool> found, downloadOk, openOk;
    std::deque<int> programResult;
    const char *pszClicks, *pszRow;
    int nState;
    unsigned nMessage, nDetail;
    int nExit, nSearches, nDownloads, nPrograms;
};

// clang-format off
const SPath kPaths[] = {
    {"connect", "", {}, {}, {}, {}, "", "A", STATE_SEARCH, 123, 124, -1, 0, 0, 0},
    {"hidden buttons do nothing", "", {}, {}, {}, {}, "YN", "A", STATE_SEARCH, 123, 124, -1, 0, 0, 0},
    {"found", "", {}, {}, {}, {}, "A", "A", STATE_DOWNLOAD, 126, 127, -1, 1, 0, 0},
    {"updated", "", {}, {}, {}, {}, "AA", "A", STATE_CLOSE, 136, 137, -1, 1, 1, 1},
    {"closed after success", "", {}, {}, {}, {}, "AAA", "A", 0, 0, 0, 0, 1, 1, 1},
    {"not found", "", {false}, {}, {}, {}, "A", "A", STATE_SEARCH, 129, 130, -1, 1, 0, 0},
    {"searches again at once", "", {false, false}, {}, {}, {}, "AA", "A", STATE_SEARCH, 129, 130, -1, 2, 0, 0},
    {"found at the third search", "", {false, false}, {}, {}, {}, "AAA", "A", STATE_DOWNLOAD, 126, 127, -1, 3, 0, 0},
    {"download failed", "", {}, {false}, {}, {}, "AA", "YN", STATE_QUESTION, 134, 135, -1, 1, 1, 0},
    {"download failed, no", "", {}, {false}, {}, {}, "AAN", "YN", 0, 0, 0, 1, 1, 1, 0},
    {"download failed, yes", "", {}, {false}, {}, {}, "AAY", "A", STATE_SEARCH, 123, 124, -1, 1, 1, 0},
    {"download failed, yes, updated", "", {}, {false}, {}, {}, "AAYAA", "A", STATE_CLOSE, 136, 137, -1, 2, 2, 1},
    {"programming failed", "", {}, {}, {}, {KR_TIMEOUT}, "AA", "YN", STATE_QUESTION, 145, 135, -1, 1, 1, 1},
    {"programming failed, no", "", {}, {}, {}, {KR_TIMEOUT}, "AAN", "YN", 0, 0, 0, 1, 1, 1, 1},
    {"port error leaves the page", "", {}, {}, {false}, {}, "AA", "A", 0, 126, 127, 2, 1, 0, 0},
    {"repeat asks for the next unit", "-r", {}, {}, {}, {}, "AA", "YN", STATE_QUESTION, 136, 121, -1, 1, 1, 1},
    {"repeat, yes", "-r", {}, {}, {}, {}, "AAY", "A", STATE_SEARCH, 123, 124, -1, 1, 1, 1},
    {"repeat, second unit", "-r", {}, {}, {}, {}, "AAYAA", "YN", STATE_QUESTION, 136, 121, -1, 2, 2, 2},
    {"repeat, no", "-r", {}, {}, {}, {}, "AAYAAN", "YN", 0, 0, 0, 0, 2, 2, 2},
    // Closing a waiting page ends at once; the status describes the last unit tried.
    {"close on the connect page", "", {}, {}, {}, {}, "C", "A", 0, 0, 0, 1, 0, 0, 0},
    {"close on the found page", "", {}, {}, {}, {}, "AC", "A", 0, 0, 0, 1, 1, 0, 0},
    {"close on the question", "", {}, {false}, {}, {}, "AAC", "YN", 0, 0, 0, 1, 1, 1, 0},
    {"repeat, close before the next unit", "-r", {}, {}, {}, {}, "AAYC", "A", 0, 0, 0, 0, 1, 1, 1},
    {"repeat, next unit not found", "-r", {true, false}, {}, {}, {}, "AAYAC", "A", 0, 129, 0, 1, 2, 1, 1},
    {"automatic transfers without a click", "-a", {}, {}, {}, {}, "A", "A", STATE_CLOSE, 136, 137, -1, 1, 1, 1},
    // Asked to end (a signal) while the search or the download runs: no further transfer.
    {"end request during the search", "", {}, {}, {}, {}, "AE", "P", 0, 0, 0, 1, 1, 0, 0},
    {"automatic, end request during the search", "-a", {}, {}, {}, {}, "AE", "P", 0, 0, 0, 1, 1, 0, 0},
    {"end request during the download", "", {}, {}, {}, {}, "AAE", "P", 0, 0, 0, 1, 1, 1, 0},
};
// clang-format on

void PrintTo(const SPath& path, std::ostream* pOut)
{
    *pOut << path.pszName;
}

class StatePaths : public WizardFixture, public ::testing::WithParamInterface<SPath>
{
};

TEST_P(StatePaths, ReachTheirPageOrEnd)
{
    const SPath& path = GetParam();
    std::tie(m_pUnit->found, m_pUnit->downloadOk, m_pUnit->openOk) =
        std::tie(path.found, path.downloadOk, path.openOk);
    m_pUnit->programResult = path.programResult;
    ToConnectPage(path.pszOptions);
    m_strRowBefore = m_view.Row();
    Click(path.pszClicks);
    const bool bOpen = path.nExit == -1;
    const std::string strRow = bOpen ? m_view.Row() : m_strRowBefore;
    EXPECT_EQ(strRow, path.pszRow);
    // Checks only what the row asks for.
    auto If = [](bool bCheck, const std::string& s) { return bCheck ? s : std::string(); };
    EXPECT_EQ(path.nState != 0 ? State() : 0, path.nState);
    EXPECT_EQ(If(path.nMessage != 0, Message()), If(path.nMessage != 0, T(path.nMessage)));
    EXPECT_EQ(If(path.nDetail != 0, Detail()), If(path.nDetail != 0, T(path.nDetail)));
    EXPECT_EQ(If(bOpen && strRow == "A", Caption()),
              If(bOpen && strRow == "A", T(State() == STATE_CLOSE ? 107 : 104)));
    EXPECT_EQ(If(bOpen && strRow == "YN", m_view.Text(IDC_YES) + "|" + m_view.Text(IDC_NO)),
              If(bOpen && strRow == "YN", T(105) + "|" + T(106)));
    const bool bIcon = bOpen && (path.nMessage == 129 || path.nState == STATE_CLOSE);
    const EViewIcon icon = path.nMessage == 129 ? EViewIcon::StockExclamation : EViewIcon::StockInformation;
    EXPECT_EQ(bIcon ? m_view.Icon(IDC_MSGICON) : icon, icon);
    EXPECT_EQ(m_view.Calls("enddialog").size(), bOpen ? 0U : 1U);
    EXPECT_EQ(bOpen ? -1 : m_pDlg->GetExitStatus(), path.nExit);
    EXPECT_EQ(std::make_tuple(int(m_pUnit->nSearches), int(m_pUnit->nDownloads), int(m_pUnit->nPrograms)),
              std::make_tuple(path.nSearches, path.nDownloads, path.nPrograms));
    EXPECT_FALSE(m_pUnit->pLine->IsOpen()) << "the port is closed on every waiting page and at the end";
    EXPECT_TRUE(m_view.Calls("filedialog").empty()) << "the firmware is never chosen again";
    EXPECT_EQ(bOpen && m_pDlg->IsUnitNotFoundPage(), bOpen && path.nMessage == 129);
    std::vector<std::string> boxes;
    if (path.nExit == 2)
        boxes.push_back("(!) orlix-test: COM Port Fehler.\n Bitte Programm neu ausführen");
    if (std::string(path.pszClicks).find('E') != std::string::npos)
        boxes.push_back("(i) orlix-test: " + T(102));
    EXPECT_EQ(m_view.Calls("box"), boxes);
}

INSTANTIATE_TEST_SUITE_P(Table, StatePaths, ::testing::ValuesIn(kPaths));

TEST_F(StateMachine, ClosingIsRefusedWhileAWorkerRunsAndStrayEventsDoNotMoveTheWizard)
{
    std::atomic<bool> bRelease{false};
    m_pUnit->onProgram = [&bRelease](CUnitSession&, IWorkerHost&)
    {
        while (!bRelease)
            std::this_thread::yield();
    };
    ToConnectPage();
    Click("A");
    m_pDlg->OnActionButton(); // download; its end starts programming, which waits
    ASSERT_TRUE(m_view.Pump(*m_pDlg, [this] { return m_pUnit->nPrograms != 0; }));
    EXPECT_EQ(m_view.Row(), "P");
    EXPECT_FALSE(m_pDlg->OnClose());
    EXPECT_FALSE(m_pDlg->OnEndRequest());
    EXPECT_EQ(m_view.Calls("box"), std::vector<std::string>(2, "(i) orlix-test: " + T(102)));
    const int nBusyState = State();
    m_pDlg->HandleMessage(SWizardMessage{WM_WIZARD_NEXT, 0, 0, {}});
    m_pDlg->HandleMessage(SWizardMessage{1234, 0, 0, {}});
    EXPECT_EQ(State(), nBusyState) << "no step runs beside a worker";
    m_pDlg->HandleMessage(SWizardMessage{WM_WORKER_DONE, 0, 1, {}, 7});
    EXPECT_TRUE(m_pDlg->IsBusy()) << "the end of another session's worker is not this one's";
    bRelease = true;
    Pump();
    EXPECT_EQ(Message(), T(136)) << "the update went on undisturbed and showed its result";
    EXPECT_TRUE(m_pDlg->IsClosed()) << "then the end request was carried out";
    EXPECT_EQ(m_pDlg->GetExitStatus(), 0);
    m_pDlg->HandleMessage(SWizardMessage{WM_WORKER_DONE, 0, 1, {}});
    EXPECT_EQ(Message(), T(136)) << "an end message without a worker is no result";

    Make();
    m_pDlg->OnInitDialog();
    m_pDlg->OnActionButton();
    m_pDlg->OnActionButton(); // before the posted step ran: must not skip a page
    Pump();
    EXPECT_EQ(State(), STATE_SELECT_FIRMWARE);
    EXPECT_TRUE(m_view.Calls("filedialog").empty());
}

// How a window hands events to the core: steps never nest, a close request during a step comes
// after it, only status messages pass while the core is busy, one message per wake-up.
TEST(StepGate, StepsNeverNestAndWaitingEventsFollowInOrder)
{
    std::vector<std::string> log;
    int nWakes = 0;
    CWizardStepGate* pGate = nullptr;
    CWizardStepGate gate({[&] { ++nWakes; },
                          [&](const SWizardMessage& msg)
                          {
                              log.push_back("msg " + std::to_string(msg.nMsg));
                              EXPECT_FALSE(pGate->IsIdle());
                          },
                          [&] { log.push_back("close"); }, [&] { log.push_back("after"); }});
    pGate = &gate;
    gate.Post({WM_WORKER_DONE, 0, 0, {}});
    gate.Post({WM_WORKER_STATUS, 0, 0, {}});
    EXPECT_EQ(nWakes, 1) << "one wake-up until it is received";
    gate.Run(
        [&]
        {
            EXPECT_TRUE(gate.DeferClose());
            gate.OnWake(); // from a modal loop inside the step: the done message must wait
            log.push_back("step");
        });
    EXPECT_EQ(log, std::vector<std::string>({"step", "close", "after"}));
    EXPECT_EQ(nWakes, 2) << "the waiting messages wake the window again";
    log.clear();
    gate.OnWake();
    gate.OnWake();
    EXPECT_EQ(log, std::vector<std::string>({"msg " + std::to_string(WM_WORKER_DONE), "after",
                                             "msg " + std::to_string(WM_WORKER_STATUS), "after"}));
    EXPECT_FALSE(gate.DeferClose()) << "idle: a close request goes through at once";
    gate.End();
    EXPECT_FALSE(gate.IsIdle());
}

} // namespace
