// The wizard's paths through its states, with fake workers: which page waits for the user,
// what each event leads to, and how the wizard ends.
#include "tests/app/WizardFixture.h"

#include "target/FlashKernel.h"

#include <algorithm>
#include <atomic>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace
{

using StateMachine = WizardFixture;

TEST_F(StateMachine, WithoutOptionsStartLeadsToTheFirmwarePageAndOnlyFileOpenOpensTheDialog)
{
    Make();
    Start();
    EXPECT_EQ(State(), STATE_WELCOME);
    EXPECT_EQ(Caption(), T(103));

    Action();
    EXPECT_EQ(State(), STATE_SELECT_FIRMWARE);
    EXPECT_EQ(Message(), T(122));
    EXPECT_TRUE(m_view.m_fileDialogFilters.empty()) << "the file dialog opens only on File open";

    m_view.m_fileAnswers.push_back(m_strFirmware);
    Action();
    ASSERT_EQ(m_view.m_fileDialogFilters.size(), 1U);
    EXPECT_EQ(m_view.m_fileDialogFilters[0], FIRMWARE_FILE_FILTER);
    EXPECT_EQ(m_view.m_fileDialogInitialNames[0], "");
    EXPECT_EQ(State(), STATE_SEARCH) << "an accepted file goes on to the connect page by itself";
    EXPECT_EQ(Message(), T(123));
    EXPECT_EQ(m_pDlg->GetFirmwareFile(), m_strFirmware);
}

TEST_F(StateMachine, CancelledFileDialogLeavesThePageAsItWasAndAsksAgainWithTheLastName)
{
    Make();
    Start();
    Action();
    const std::size_t nLogSize = m_view.m_log.size();

    m_view.m_fileAnswers.push_back(std::nullopt);
    Action();
    EXPECT_EQ(State(), STATE_SELECT_FIRMWARE);
    EXPECT_EQ(m_view.m_log.size(), nLogSize + 1) << "only the dialog itself";

    // A file that fails keeps the wizard on the page; the next dialog starts at that file.
    const std::string strBad = m_dir.File("bad.mhx");
    WriteFileText(strBad, "S1 this is not a record\n");
    m_view.m_fileAnswers.push_back(strBad);
    Action();
    EXPECT_EQ(State(), STATE_SELECT_FIRMWARE);
    m_view.m_fileAnswers.push_back(m_strFirmware);
    Action();
    EXPECT_EQ(m_view.m_fileDialogInitialNames.back(), strBad);
    EXPECT_EQ(State(), STATE_SEARCH);
}

TEST_F(StateMachine, NormalRunWalksEveryStepAndCloseEndsWithSuccess)
{
    ToConnectPage();
    EXPECT_EQ(Detail(), T(124));
    EXPECT_EQ(Caption(), T(104));
    EXPECT_EQ(m_view.Row(), "action");

    Action(); // Continue: search, found
    EXPECT_EQ(m_pUnit->nSearches, 1);
    EXPECT_EQ(State(), STATE_DOWNLOAD);
    EXPECT_EQ(Message(), T(126));
    EXPECT_EQ(Detail(), T(127));
    EXPECT_EQ(Caption(), T(104));
    EXPECT_TRUE(m_view.m_pauses.empty());

    Action(); // Continue: download, then programming without a click
    EXPECT_EQ(m_pDlg->OpenCount(), 1);
    EXPECT_EQ(m_pUnit->nDownloads, 1);
    EXPECT_EQ(m_pUnit->nPrograms, 1);
    EXPECT_EQ(State(), STATE_CLOSE);
    EXPECT_EQ(Message(), T(136));
    EXPECT_EQ(Detail(), T(137));
    EXPECT_EQ(Caption(), T(107));
    EXPECT_EQ(m_view.Icon(IDC_MSGICON), EViewIcon::StockInformation);
    EXPECT_FALSE(m_pDlg->IsPortOpen());
    EXPECT_EQ(m_view.m_nEndDialog, 0);

    Action(); // Close
    EXPECT_EQ(m_view.m_nEndDialog, 1);
    EXPECT_TRUE(m_pDlg->IsClosed());
    EXPECT_EQ(m_pDlg->GetExitStatus(), 0);
    EXPECT_TRUE(m_view.m_boxes.empty());
}

TEST_F(StateMachine, AutomaticModeWithAcceptedFirmwareFirstWaitsOnTheConnectPage)
{
    Make("-a -f:" + m_strFirmware);
    Start();
    EXPECT_EQ(State(), STATE_SEARCH);
    EXPECT_EQ(Message(), T(123));
    EXPECT_EQ(m_pUnit->nSearches, 0) << "the search needs its click even in automatic mode";
}

TEST_F(StateMachine, AutomaticModeWithoutFirmwareShowsTheFirmwarePageWithoutAClick)
{
    Make("-a");
    Start();
    EXPECT_EQ(State(), STATE_SELECT_FIRMWARE);
    EXPECT_EQ(Message(), T(122));
    EXPECT_TRUE(m_view.m_fileDialogFilters.empty());
}

TEST_F(StateMachine, AutomaticModePausesOnTheFoundPageThenTransfersWithoutAClick)
{
    ToConnectPage("-a");
    Action();
    ASSERT_EQ(m_view.m_pauses.size(), 1U);
    EXPECT_EQ(m_view.m_pauses[0], 2000U);
    EXPECT_EQ(m_view.m_pausePages[0].first, T(126));
    EXPECT_EQ(m_view.m_pausePages[0].second, T(128));
    EXPECT_EQ(m_pUnit->nDownloads, 1);
    EXPECT_EQ(m_pUnit->nPrograms, 1);
    EXPECT_EQ(State(), STATE_CLOSE);

    // The found page of automatic mode shows an empty bar, not the button.
    const auto itPause = std::find(m_view.m_log.begin(), m_view.m_log.end(), "pause");
    ASSERT_NE(itPause, m_view.m_log.end());
    const auto itLastShowProgress = std::find(std::make_reverse_iterator(itPause), m_view.m_log.rend(),
                                              "show " + std::to_string(IDC_PROGRESS) + " 1");
    const auto itLastPos = std::find(std::make_reverse_iterator(itPause), m_view.m_log.rend(), "pos 0");
    EXPECT_NE(itLastShowProgress, m_view.m_log.rend());
    EXPECT_NE(itLastPos, m_view.m_log.rend());
}

TEST_F(StateMachine, NotFoundInvitesANewSearchWhichStartsAtOnce)
{
    m_pUnit->found = {false, false, true};
    ToConnectPage();
    Action();
    EXPECT_EQ(State(), STATE_SEARCH);
    EXPECT_EQ(Message(), T(129));
    EXPECT_EQ(m_view.Icon(IDC_MSGICON), EViewIcon::StockExclamation);
    EXPECT_EQ(Detail(), T(130));
    EXPECT_EQ(Caption(), T(104));
    EXPECT_TRUE(m_pDlg->IsUnitNotFoundPage());

    Action();
    EXPECT_EQ(m_pUnit->nSearches, 2);
    EXPECT_EQ(Message(), T(129)) << "again not found; no connect page in between";
    Action();
    EXPECT_EQ(m_pUnit->nSearches, 3);
    EXPECT_EQ(State(), STATE_DOWNLOAD);
    EXPECT_FALSE(m_pDlg->IsUnitNotFoundPage());
}

TEST_F(StateMachine, DownloadFailureAsksToRetryAndNoCloses)
{
    m_pUnit->downloadOk = {false};
    ToConnectPage();
    Action();
    Action();
    EXPECT_EQ(State(), STATE_QUESTION);
    EXPECT_EQ(Message(), T(134));
    EXPECT_EQ(Detail(), T(135));
    EXPECT_EQ(m_view.Row(), "yesno");
    EXPECT_EQ(m_view.Text(IDC_YES), T(105));
    EXPECT_EQ(m_view.Text(IDC_NO), T(106));
    EXPECT_FALSE(m_pDlg->IsPortOpen()) << "closed before the question";
    EXPECT_EQ(m_pUnit->nPrograms, 0);

    No();
    EXPECT_EQ(m_view.m_nEndDialog, 1);
    EXPECT_EQ(m_pDlg->GetExitStatus(), 1);
}

TEST_F(StateMachine, DownloadFailureAnsweredYesShowsTheConnectPageAndSearchesAgain)
{
    m_pUnit->downloadOk = {false};
    ToConnectPage();
    Action();
    Action();
    Yes();
    EXPECT_EQ(State(), STATE_SEARCH);
    EXPECT_EQ(Message(), T(123));
    EXPECT_EQ(m_pUnit->nSearches, 1);
    Action();
    EXPECT_EQ(m_pUnit->nSearches, 2);
    Action();
    EXPECT_EQ(State(), STATE_CLOSE);
    EXPECT_TRUE(m_view.m_fileDialogFilters.empty()) << "the firmware is not chosen again";
}

TEST_F(StateMachine, ProgrammingFailureAsksToRetryWithThePortClosedAndNoEndsWithFailure)
{
    m_pUnit->programResult = {KR_TIMEOUT};
    ToConnectPage();
    Action();
    Action();
    EXPECT_EQ(State(), STATE_QUESTION);
    EXPECT_EQ(Message(), T(145));
    EXPECT_EQ(Detail(), T(135));
    EXPECT_EQ(m_view.Row(), "yesno");
    EXPECT_FALSE(m_pDlg->IsPortOpen());
    EXPECT_EQ(m_view.m_nProgressPos, 0);
    No();
    EXPECT_EQ(m_pDlg->GetExitStatus(), 1);
}

TEST_F(StateMachine, RepeatModeAsksForFurtherUnitsAndRunsTheNextOneWithTheSameFirmware)
{
    ToConnectPage("-r");
    Action();
    Action();
    EXPECT_EQ(State(), STATE_QUESTION);
    EXPECT_EQ(Message(), T(136));
    EXPECT_EQ(Detail(), T(121));
    EXPECT_EQ(m_view.Row(), "yesno");

    Yes();
    EXPECT_EQ(State(), STATE_SEARCH);
    EXPECT_EQ(Message(), T(123));
    Action();
    Action();
    EXPECT_EQ(m_pUnit->nPrograms, 2);
    EXPECT_EQ(Detail(), T(121));

    No();
    EXPECT_TRUE(m_pDlg->IsClosed());
    EXPECT_EQ(m_pDlg->GetExitStatus(), 0);
    EXPECT_TRUE(m_view.m_fileDialogFilters.empty());
}

TEST_F(StateMachine, ExitStatusDescribesTheLastUnitTried)
{
    // Success, then "Yes" and closing on the connect page: no further unit was tried.
    ToConnectPage("-r");
    Action();
    Action();
    Yes();
    EXPECT_TRUE(m_pDlg->OnClose());
    EXPECT_EQ(m_pDlg->GetExitStatus(), 0);

    // Success, then a search for the next unit that finds nothing: that unit was not updated.
    m_pUnit->found = {true, false};
    ToConnectPage("-r");
    Action();
    Action();
    Yes();
    Action();
    EXPECT_TRUE(m_pDlg->IsUnitNotFoundPage());
    EXPECT_TRUE(m_pDlg->OnClose());
    EXPECT_EQ(m_pDlg->GetExitStatus(), 1);
}

TEST_F(StateMachine, PortThatCannotBeOpenedEndsWithTheFixedGermanBoxAndStatus2)
{
    m_pUnit->openOk = {false};
    ToConnectPage();
    Action();
    const std::string strMessageBefore = Message();
    Action();
    EXPECT_EQ(m_pUnit->nDownloads, 0);
    ASSERT_EQ(m_view.m_boxes.size(), 1U);
    EXPECT_EQ(m_view.m_boxes[0].strText, "COM Port Fehler.\n Bitte Programm neu ausführen");
    EXPECT_EQ(m_view.m_boxes[0].strCaption, "orlix-test");
    EXPECT_EQ(m_view.m_boxes[0].icon, EMsgBoxIcon::Exclamation);
    EXPECT_EQ(Message(), strMessageBefore) << "a port that cannot be opened changes nothing on the page";
    EXPECT_EQ(m_view.m_nEndDialog, 1);
    EXPECT_EQ(m_pDlg->GetExitStatus(), 2);
}

TEST_F(StateMachine, ClosingIsRefusedWhileAWorkerRunsAndAllowedOnEveryOtherPage)
{
    std::atomic<bool> bRelease{false};
    m_pUnit->onProgram = [&bRelease](IWorkerHost*)
    {
        while (!bRelease)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    ToConnectPage();
    Action();
    m_pDlg->OnActionButton(); // download; its end starts programming, which waits
    while (m_pUnit->nPrograms == 0)
    {
        if (auto msg = m_view.PopMessage())
        {
            m_pDlg->HandleMessage(*msg);
        }
    }
    ASSERT_TRUE(m_pDlg->IsBusy());
    EXPECT_EQ(m_view.Row(), "progress");
    EXPECT_FALSE(m_pDlg->OnClose());
    ASSERT_EQ(m_view.m_boxes.size(), 1U);
    EXPECT_EQ(m_view.m_boxes[0].strText, T(102));
    EXPECT_EQ(m_view.m_boxes[0].icon, EMsgBoxIcon::Information);
    EXPECT_EQ(m_view.m_nEndDialog, 0);

    bRelease = true;
    Pump();
    EXPECT_EQ(State(), STATE_CLOSE) << "the update went on undisturbed";
    EXPECT_TRUE(m_pDlg->OnClose());
    EXPECT_EQ(m_view.m_nEndDialog, 1);
}

TEST_F(StateMachine, ClosingOnTheConnectFoundOrQuestionPageEndsAtOnce)
{
    for (int nPage = 0; nPage < 3; ++nPage)
    {
        m_pUnit->downloadOk = {false};
        m_view.m_nEndDialog = 0;
        ToConnectPage();
        if (nPage >= 1)
        {
            Action(); // found page
        }
        if (nPage >= 2)
        {
            Action(); // download fails: question page
            ASSERT_EQ(State(), STATE_QUESTION);
        }
        EXPECT_TRUE(m_pDlg->OnClose()) << "page " << nPage;
        EXPECT_EQ(m_view.m_nEndDialog, 1);
        EXPECT_TRUE(m_view.m_boxes.empty());
        EXPECT_EQ(m_pDlg->GetExitStatus(), 1);
    }
}

TEST_F(StateMachine, ClicksWhileTheWizardMovesOnByItselfAreIgnored)
{
    // "Start" posts the next step; a second click before it runs must not skip a page.
    Make();
    m_pDlg->OnInitDialog();
    m_pDlg->OnActionButton();
    m_pDlg->OnActionButton();
    Pump();
    EXPECT_EQ(State(), STATE_SELECT_FIRMWARE);
    EXPECT_TRUE(m_view.m_fileDialogFilters.empty());

    // Buttons that the page does not show do nothing.
    m_pDlg->OnYesButton();
    m_pDlg->OnNoButton();
    EXPECT_EQ(State(), STATE_SELECT_FIRMWARE);
    EXPECT_EQ(m_view.m_nEndDialog, 0);
}

TEST_F(StateMachine, StaleStepsAndForeignEndMessagesDoNotMoveTheWizard)
{
    std::atomic<bool> bRelease{false};
    m_pUnit->onSearch = [&bRelease](IWorkerHost*)
    {
        while (!bRelease)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    ToConnectPage();
    m_pDlg->OnActionButton();
    ASSERT_TRUE(m_pDlg->IsBusy());
    m_pDlg->HandleMessage(SWizardMessage{WM_WIZARD_NEXT, 0, 0, {}});
    EXPECT_EQ(State(), STATE_SEARCH_RESULT) << "no step runs beside a worker";
    m_pDlg->HandleMessage(SWizardMessage{1234, 0, 0, {}});
    EXPECT_EQ(State(), STATE_SEARCH_RESULT);
    bRelease = true;
    Pump();
    EXPECT_EQ(State(), STATE_DOWNLOAD);

    // An end message with no worker running is not a result.
    m_pDlg->HandleMessage(SWizardMessage{WM_WORKER_DONE, 0, 1, {}});
    EXPECT_EQ(State(), STATE_DOWNLOAD);
    EXPECT_EQ(m_pUnit->nDownloads, 0);
}

TEST_F(StateMachine, AWorkerThatThrowsOrForgetsItsEndMessageStillEndsAsAFailure)
{
    m_pUnit->onSearch = [](IWorkerHost*) { throw std::runtime_error("unplugged"); };
    ToConnectPage();
    Action();
    EXPECT_FALSE(m_pDlg->IsBusy());
    EXPECT_EQ(Message(), T(129));

    m_pUnit->onSearch = nullptr;
    m_pUnit->onProgram = [](IWorkerHost* pHost)
    {
        pHost->SetProgramResult(0);
        throw 42;
    };
    Action();
    Action();
    EXPECT_EQ(Message(), T(145)) << "a run that threw is no success";

    // Workers that end without their end message: the dialog posts it, with a failed result.
    m_pUnit->onProgram = nullptr;
    m_pUnit->bDownloadPostsDone = false;
    Yes();
    Action();
    EXPECT_EQ(State(), STATE_DOWNLOAD);
    Action();
    EXPECT_FALSE(m_pDlg->IsBusy());
    EXPECT_EQ(Message(), T(134)) << "a download that did not report its end is no success";

    m_pUnit->bSearchPostsDone = false;
    Yes();
    Action();
    EXPECT_FALSE(m_pDlg->IsBusy());
    EXPECT_EQ(Message(), T(129));
}

TEST_F(StateMachine, ADuplicateEndMessageFromAWorkerIsDropped)
{
    m_pUnit->downloadOk = {false};
    m_pUnit->onDownload = [](IWorkerHost* pHost) {
        pHost->PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, 0, {}});
    };
    ToConnectPage();
    Action();
    Action();
    EXPECT_EQ(State(), STATE_QUESTION);
    EXPECT_EQ(Message(), T(134));
    EXPECT_EQ(m_view.QueuedCount(), 0U);
}

TEST_F(StateMachine, DestroyingTheDialogStopsAndJoinsARunningWorker)
{
    std::atomic<bool> bSawStop{false};
    std::atomic<bool> bInWorker{false};
    m_pUnit->onSearch = [&](IWorkerHost* pHost)
    {
        bInWorker = true;
        // A long protocol wait: only the dialog's cancellation ends it early.
        pHost->Clock().Sleep(600000);
        bSawStop = pHost->StopRequested();
    };
    ToConnectPage();
    m_pDlg->OnActionButton();
    while (!bInWorker)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto start = std::chrono::steady_clock::now();
    m_pDlg.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_TRUE(bSawStop);
}

} // namespace
