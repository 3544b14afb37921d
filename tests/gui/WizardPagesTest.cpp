// The wizard window driven through its pages: texts, buttons, keys, closing, the firmware
// choice, the order of worker messages and the pause of automatic mode. Worker procedures are
// scripted so every page can be held as long as a test looks at it.
#include "app/core/Texts.h"
#include "app/gui/AboutDlg.h"
#include "tests/gui/GuiTestUtil.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <wx/gauge.h>
#include <wx/statbmp.h>
#include <wx/statusbr.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <thread>

namespace
{
const std::string SAMPLE = OrlixSamplePath("analyzer-mb90f345.mhx");

std::string T(unsigned nId)
{
    return LoadText(nId);
}

int GaugeValue(CWizardDialog& dlg)
{
    auto* pGauge = dynamic_cast<wxGauge*>(dlg.GetControl(IDC_PROGRESS));
    return pGauge != nullptr ? pGauge->GetValue() : -1;
}

bool HasIcon(CWizardDialog& dlg, int nId)
{
    auto* pBitmap = dynamic_cast<wxStaticBitmap*>(dlg.GetControl(nId));
    return pBitmap != nullptr && pBitmap->GetBitmap().IsOk();
}

// What the bottom row shows: "progress", the action button's caption, or "yes/no".
std::string BottomRow(CWizardDialog& dlg)
{
    std::string strRow;
    if (IsShownCtl(dlg, IDC_PROGRESS))
    {
        strRow += "progress;";
    }
    if (IsShownCtl(dlg, IDC_ACTION))
    {
        strRow += LabelOf(dlg, IDC_ACTION) + ";";
    }
    if (IsShownCtl(dlg, IDC_YES) || IsShownCtl(dlg, IDC_NO))
    {
        strRow += LabelOf(dlg, IDC_YES) + "/" + LabelOf(dlg, IDC_NO) + ";";
    }
    return strRow;
}

// A wizard with scripted workers on a pty, started and shown.
class WizardPages : public testing::Test
{
protected:
    void Start(const std::string& strCmdLine)
    {
        m_unit.strPortPath = m_pty.SlavePath();
        ASSERT_FALSE(m_unit.strPortPath.empty());
        m_pDlg = std::make_unique<CTestWizardDialog>(strCmdLine, ScriptedProcs(m_unit));
        m_pDlg->InitWizard();
        m_pDlg->Show();
        PumpFor(100ms);
    }
    void TearDown() override
    {
        // Workers blocked at a gate see the stop request when the dialog goes.
        m_pDlg.reset();
    }
    bool WaitForText(int nId, const std::string& strText, std::chrono::milliseconds timeout = 10s)
    {
        return PumpUntil([&] { return LabelOf(*m_pDlg, nId) == strText; }, timeout);
    }
    bool WaitIdle(int nState, std::chrono::milliseconds timeout = 10s)
    {
        return PumpUntil(
            [&] {
                return m_pDlg->Core().GetState() == nState && !m_pDlg->Core().IsBusy() &&
                       m_pDlg->PendingMessages() == 0;
            },
            timeout);
    }
    // A click on the bottom row's button, as the button's own event.
    void Press(int nId)
    {
        wxWindow* pButton = m_pDlg->GetControl(nId);
        ASSERT_TRUE(pButton != nullptr && pButton->IsShown()) << "button " << nId << " not shown";
        wxCommandEvent event(wxEVT_BUTTON, nId);
        event.SetEventObject(pButton);
        pButton->ProcessWindowEvent(event);
        PumpFor(50ms);
    }

    CPtyPort m_pty;
    SScriptedUnit m_unit;
    std::unique_ptr<CTestWizardDialog> m_pDlg;
};
} // namespace

TEST_F(WizardPages, WelcomePageGreetsAndOffersStartOnly)
{
    Start("");
    CTestWizardDialog& dlg = *m_pDlg;
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(108));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE3), T(109));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE1), "Name:\t ---\nVersion:\t ---");
    EXPECT_EQ(LabelOf(dlg, IDC_FWSTATUS), T(118));
    EXPECT_EQ(LabelOf(dlg, IDC_FWGROUP), T(117));
    EXPECT_TRUE(HasIcon(dlg, IDC_FWICON));
    EXPECT_FALSE(HasIcon(dlg, IDC_MSGICON));
    EXPECT_EQ(BottomRow(dlg), "Start;");
    EXPECT_EQ(dlg.Core().GetState(), STATE_WELCOME);
}

TEST_F(WizardPages, ReturnAndEscapeLeaveThePageButSpacePressesTheButton)
{
    Start("");
    CTestWizardDialog& dlg = *m_pDlg;
    dlg.Raise();
    wxWindow* pAction = dlg.GetControl(IDC_ACTION);
    pAction->SetFocus();
    wxUIActionSimulator sim;
    // Keys go to the window under the pointer when there is no window manager.
    sim.MouseMove(dlg.ClientToScreen(dlg.GetControl(IDC_INFOLINE2)->GetRect().GetTopLeft()));
    PumpFor(150ms);
    for (const int nKey : {WXK_RETURN, WXK_ESCAPE, WXK_NUMPAD_ENTER, WXK_RETURN})
    {
        sim.Char(nKey);
        PumpFor(150ms);
        EXPECT_EQ(dlg.Core().GetState(), STATE_WELCOME) << "key " << nKey;
        EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(108)) << "key " << nKey;
        EXPECT_TRUE(dlg.IsShown());
        EXPECT_FALSE(dlg.HasEnded());
    }
    // The same way a key does reach the focused button: Space presses it.
    sim.Char(' ');
    EXPECT_TRUE(WaitForText(IDC_INFOLINE2, T(122), 3s)) << "keys never reached the window";
    EXPECT_EQ(dlg.Core().GetState(), STATE_SELECT_FIRMWARE);
}

TEST_F(WizardPages, F1OpensTheAboutBox)
{
    Start("");
    CTestWizardDialog& dlg = *m_pDlg;
    dlg.Raise();
    dlg.GetControl(IDC_ACTION)->SetFocus();
    wxUIActionSimulator sim;
    sim.MouseMove(dlg.ClientToScreen(dlg.GetControl(IDC_INFOLINE2)->GetRect().GetTopLeft()));
    PumpFor(150ms);
    std::string strAboutTitle;
    wxTimer timer;
    timer.Bind(wxEVT_TIMER,
               [&](wxTimerEvent&)
               {
                   for (wxWindow* pWnd : wxTopLevelWindows)
                   {
                       if (auto* pAbout = dynamic_cast<CAboutDlg*>(pWnd);
                           pAbout != nullptr && pAbout->IsModal())
                       {
                           strAboutTitle = pAbout->GetTitle().utf8_string();
                           pAbout->EndModal(wxID_OK);
                       }
                   }
               });
    timer.Start(50);
    sim.Char(WXK_F1);
    EXPECT_TRUE(PumpUntil([&] { return !strAboutTitle.empty(); }, 5s));
    timer.Stop();
    EXPECT_EQ(strAboutTitle, "About Orlix");
    EXPECT_EQ(dlg.Core().GetState(), STATE_WELCOME);
}

TEST_F(WizardPages, FileDialogGetsTheFilterAndCancellingChangesNothing)
{
    Start("");
    CTestWizardDialog& dlg = *m_pDlg;
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SELECT_FIRMWARE));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(122));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE3), T(112));
    EXPECT_TRUE(HasIcon(dlg, IDC_MSGICON));
    EXPECT_EQ(BottomRow(dlg), T(111) + ";");
    EXPECT_EQ(dlg.m_nFileDialogs, 0) << "the firmware page itself opens no dialog";

    Press(IDC_ACTION); // cancelled
    EXPECT_EQ(dlg.m_nFileDialogs, 1);
    EXPECT_EQ(dlg.m_strFileDialogWildcard.utf8_string(),
              "S format files (*.mhx, *.cnv, *.ahx)|*.mhx;*.cnv;*.ahx|All Files (*.*)|*.*");
    EXPECT_EQ(dlg.m_strFileDialogInitial, wxString());
    EXPECT_EQ(dlg.Core().GetState(), STATE_SELECT_FIRMWARE);
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(122));
    EXPECT_EQ(dlg.GetStatusBarCtrl()->GetStatusText(0), wxString());
}

TEST_F(WizardPages, UnreadableFileWarnsAndTheNextDialogStartsAtIt)
{
    Start("");
    CTestWizardDialog& dlg = *m_pDlg;
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SELECT_FIRMWARE));
    CTempDir dir;
    const std::string strMissing = dir.File("missing fw.mhx");
    dlg.m_strNextFile = wxString::FromUTF8(strMissing);
    Press(IDC_ACTION);
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(143));
    EXPECT_EQ(dlg.GetStatusBarCtrl()->GetStatusText(0).utf8_string(), strMissing);
    EXPECT_EQ(dlg.Core().GetState(), STATE_SELECT_FIRMWARE);

    const std::string strCorrupt = dir.File("corrupt.mhx");
    WriteFileText(strCorrupt, "S2 this is not a record\n");
    dlg.m_strNextFile = wxString::FromUTF8(strCorrupt);
    Press(IDC_ACTION);
    EXPECT_EQ(dlg.m_strFileDialogInitial.utf8_string(), strMissing);
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(142));
    EXPECT_EQ(LabelOf(dlg, IDC_FWSTATUS), T(118)) << "the group keeps what it showed";
}

TEST_F(WizardPages, ChosenFirmwareFillsTheGroupAndStatusBarEvenWithANonAsciiName)
{
    CTempDir dir;
    // A name written on an older system: Windows-1252 bytes, not UTF-8.
    const std::string strPath = dir.File("ger\xC3\xA4t.mhx");
    WriteFileText(strPath, FirmwareText("MB90F345", "Ger\xE4t \x80 1", "V2.1"));
    Start("");
    CTestWizardDialog& dlg = *m_pDlg;
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SELECT_FIRMWARE));
    dlg.m_strNextFile = wxString::FromUTF8(strPath);
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SEARCH));
    const std::string strName = "Ger\xC3\xA4t \xE2\x82\xAC 1";
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE1), "Name:\t " + strName + "\nVersion:\t V2.1");
    EXPECT_EQ(LabelOf(dlg, IDC_FWSTATUS), FormatText(T(119), {strName}));
    EXPECT_EQ(dlg.GetStatusBarCtrl()->GetStatusText(0).utf8_string(), strPath);
    EXPECT_EQ(dlg.GetStatusBarCtrl()->GetStatusText(1).utf8_string(), strName);
    // The connect page.
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(123));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE3), T(124));
    EXPECT_EQ(BottomRow(dlg), T(104) + ";");
}

TEST_F(WizardPages, MissingCommandLineFileIsReportedBeforeTheWindowShows)
{
    m_unit.strPortPath = m_pty.SlavePath();
    m_pDlg = std::make_unique<CTestWizardDialog>("-f:/nonexistent/fw.mhx", ScriptedProcs(m_unit));
    bool bShownDuringBox = true;
    m_pDlg->m_onMessageBox = [&] { bShownDuringBox = m_pDlg->IsShown(); };
    m_pDlg->InitWizard();
    ASSERT_EQ(m_pDlg->m_messageBoxes.size(), 1u);
    EXPECT_EQ(m_pDlg->m_messageBoxes[0].utf8_string(), PATH_MISSING_TEXT);
    EXPECT_TRUE(m_pDlg->m_messageBoxStyles[0] & wxICON_EXCLAMATION);
    EXPECT_FALSE(bShownDuringBox);
    m_pDlg->Show();
    PumpFor(100ms);
    EXPECT_EQ(LabelOf(*m_pDlg, IDC_FWSTATUS), T(118));
}

TEST_F(WizardPages, CloseOnAPageWithoutWorkerEndsAtOnce)
{
    Start("-f:" + SAMPLE);
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SEARCH)); // connect page
    EXPECT_TRUE(m_pDlg->Close());
    PumpFor(50ms);
    EXPECT_TRUE(m_pDlg->HasEnded());
    EXPECT_TRUE(m_pDlg->m_messageBoxes.empty());
    EXPECT_EQ(m_pDlg->Core().GetExitStatus(), 1);
}

TEST_F(WizardPages, CloseWhileBusyIsRefusedAndTheWorkerGoesOn)
{
    Start("-f:" + SAMPLE);
    CTestWizardDialog& dlg = *m_pDlg;
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SEARCH));
    Press(IDC_ACTION); // search, held at its gate
    ASSERT_TRUE(WaitForText(IDC_INFOLINE3, m_unit.strPortName));
    ASSERT_TRUE(dlg.Core().IsBusy());

    // While the refusal is on the screen the worker ends: its status still shows, but its end
    // waits until the box is gone, so no step runs inside the close handler.
    int nStateInBox = -1;
    bool bBusyInBox = false;
    dlg.m_onMessageBox = [&]
    {
        dlg.PostWizardMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, 77, {}});
        m_unit.searchGate.Open();
        PumpUntil([&] { return GaugeValue(dlg) == 77 && dlg.PendingMessages() == 1; }, 5s);
        nStateInBox = dlg.Core().GetState();
        bBusyInBox = dlg.Core().IsBusy();
    };
    EXPECT_FALSE(dlg.Close());
    ASSERT_EQ(dlg.m_messageBoxes.size(), 1u);
    EXPECT_EQ(dlg.m_messageBoxes[0].utf8_string(), T(102));
    EXPECT_TRUE(dlg.m_messageBoxStyles[0] & wxICON_INFORMATION);
    EXPECT_EQ(nStateInBox, STATE_SEARCH_RESULT);
    EXPECT_TRUE(bBusyInBox);
    EXPECT_FALSE(dlg.HasEnded());

    // After the box, the search's end is handled: the found page.
    ASSERT_TRUE(WaitIdle(STATE_DOWNLOAD));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(126));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE3), T(127));
    EXPECT_EQ(BottomRow(dlg), T(104) + ";");
    dlg.m_onMessageBox = nullptr;
    EXPECT_TRUE(dlg.Close());
    EXPECT_TRUE(dlg.HasEnded());
}

TEST_F(WizardPages, WorkerMessagesAreHandledInTheOrderPosted)
{
    Start("");
    CTestWizardDialog& dlg = *m_pDlg;
    dlg.m_textLog.clear();
    constexpr int COUNT = 400;
    std::thread poster(
        [&dlg]
        {
            for (int i = 0; i < COUNT; ++i)
            {
                dlg.PostWizardMessage(
                    SWizardMessage{WM_WORKER_STATUS, STATUS_INFOLINE3, 0, std::to_string(i)});
                dlg.PostWizardMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, i % 101, {}});
            }
            // Unknown sub-codes and messages are ignored, in their turn.
            dlg.PostWizardMessage(SWizardMessage{WM_WORKER_STATUS, 5, 12345, "not shown"});
            dlg.PostWizardMessage(SWizardMessage{4711, 0, 0, "not shown"});
            dlg.PostWizardMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_INFOLINE3, 0, "last"});
        });
    ASSERT_TRUE(PumpUntil([&] { return LabelOf(dlg, IDC_INFOLINE3) == "last"; }, 20s));
    poster.join();
    std::vector<std::string> seen;
    for (const auto& [nId, strText] : dlg.m_textLog)
    {
        if (nId == IDC_INFOLINE3)
        {
            seen.push_back(strText);
        }
    }
    ASSERT_EQ(seen.size(), static_cast<size_t>(COUNT + 1));
    for (int i = 0; i < COUNT; ++i)
    {
        ASSERT_EQ(seen[static_cast<size_t>(i)], std::to_string(i));
    }
    EXPECT_EQ(GaugeValue(dlg), (COUNT - 1) % 101);
    EXPECT_EQ(dlg.Core().GetState(), STATE_WELCOME);
}

TEST_F(WizardPages, AutomaticModePausesOnThePaintedFoundPage)
{
    m_unit.searchGate.Open();
    m_unit.nProgramProgress = 30;
    Start("-a -f:" + SAMPLE);
    CTestWizardDialog& dlg = *m_pDlg;
    struct SSeen
    {
        uint32_t dwMs = 0;
        std::string strMessage, strDetail, strRow, strShot;
        int nGauge = -1;
        int nStateAfterClick = -1;
        std::string strDetailAfterPause;
        std::chrono::milliseconds elapsed{0};
    } seen;
    dlg.m_onPause = [&](uint32_t dwMs)
    {
        seen.dwMs = dwMs;
        seen.strMessage = LabelOf(dlg, IDC_INFOLINE2);
        seen.strDetail = LabelOf(dlg, IDC_INFOLINE3);
        seen.strRow = BottomRow(dlg);
        seen.nGauge = GaugeValue(dlg);
        // A status posted now must wait until the pause is over; a click does nothing.
        std::thread(
            [&dlg] {
                dlg.PostWizardMessage(
                    SWizardMessage{WM_WORKER_STATUS, STATUS_INFOLINE3, 0, "posted in the pause"});
            })
            .join();
        const auto t0 = std::chrono::steady_clock::now();
        dlg.PauseBase(dwMs / 2);
        // What the pause itself painted, without any further event handling.
        seen.strShot = CheckAndSaveShot(&dlg, CaptureClientArea(&dlg, false), "found-automatic");
        dlg.ClickButton(IDC_ACTION);
        seen.nStateAfterClick = dlg.Core().GetState();
        dlg.PauseBase(dwMs - dwMs / 2);
        seen.elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
        seen.strDetailAfterPause = LabelOf(dlg, IDC_INFOLINE3);
    };
    // With the firmware accepted, the connect page is the first to wait for a click.
    ASSERT_TRUE(WaitIdle(STATE_SEARCH));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(123));
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitForText(IDC_INFOLINE3, T(140), 15s)) << "never reached the programming page";
    EXPECT_EQ(seen.dwMs, AUTO_START_PAUSE_MS);
    EXPECT_EQ(seen.strMessage, T(126));
    EXPECT_EQ(seen.strDetail, T(128));
    EXPECT_EQ(seen.strRow, "progress;");
    EXPECT_EQ(seen.nGauge, 0);
    EXPECT_EQ(seen.strShot, "");
    EXPECT_EQ(seen.nStateAfterClick, STATE_DOWNLOAD);
    EXPECT_EQ(seen.strDetailAfterPause, T(128)) << "a message was handled during the pause";
    EXPECT_GE(seen.elapsed.count(), static_cast<long long>(AUTO_START_PAUSE_MS) - 5);
    // The message from the pause came after it, before the download started.
    bool bPostedSeen = false;
    for (const auto& [nId, strText] : dlg.m_textLog)
    {
        bPostedSeen = bPostedSeen || (nId == IDC_INFOLINE3 && strText == "posted in the pause");
    }
    EXPECT_TRUE(bPostedSeen);
    m_unit.programGate.Open();
    EXPECT_TRUE(WaitIdle(STATE_CLOSE));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(136));
}

TEST_F(WizardPages, FailedProgrammingAsksToRetryWithYesAndNo)
{
    m_unit.searchGate.Open();
    m_unit.programGate.Open();
    m_unit.nProgramResult = 3;
    Start("-f:" + SAMPLE);
    CTestWizardDialog& dlg = *m_pDlg;
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SEARCH));
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_DOWNLOAD));
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_QUESTION));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(145));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE3), T(135));
    EXPECT_EQ(BottomRow(dlg), T(105) + "/" + T(106) + ";");
    EXPECT_TRUE(HasIcon(dlg, IDC_MSGICON));
    // Yes: back to the connect page with the same firmware.
    Press(IDC_YES);
    ASSERT_TRUE(WaitIdle(STATE_SEARCH));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(123));
    EXPECT_EQ(BottomRow(dlg), T(104) + ";");
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_DOWNLOAD));
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_QUESTION));
    EXPECT_EQ(m_unit.nProgramRuns.load(), 2);
    // No: the wizard closes.
    Press(IDC_NO);
    EXPECT_TRUE(PumpUntil([&] { return dlg.HasEnded(); }, 5s));
    EXPECT_EQ(dlg.Core().GetExitStatus(), 1);
}

// The pages a technician sees on the way through an update, as screenshots under the build
// folder; each is checked for the window's size and for not being blank.
TEST_F(WizardPages, ScreenshotsOfThePages)
{
    Start("");
    CTestWizardDialog& dlg = *m_pDlg;
    std::vector<std::string> problems;
    auto shot = [&](const std::string& strName)
    {
        const std::string strProblem = CheckAndSaveShot(&dlg, CaptureClientArea(&dlg), strName);
        if (!strProblem.empty())
        {
            problems.push_back(strProblem);
        }
    };
    shot("1-welcome");
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SELECT_FIRMWARE));
    shot("2-firmware");
    dlg.m_strNextFile = wxString::FromUTF8(SAMPLE);
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SEARCH));
    shot("3-connect");
    Press(IDC_ACTION);
    ASSERT_TRUE(
        PumpUntil([&] { return GaugeValue(dlg) == m_unit.nSearchProgress && dlg.PendingMessages() == 0; }));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(125));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE3), m_unit.strPortName);
    EXPECT_EQ(BottomRow(dlg), "progress;");
    shot("4-searching");
    m_unit.searchGate.Open();
    ASSERT_TRUE(WaitIdle(STATE_DOWNLOAD));
    shot("5-found");
    Press(IDC_ACTION);
    ASSERT_TRUE(
        PumpUntil([&] { return GaugeValue(dlg) == m_unit.nProgramProgress && dlg.PendingMessages() == 0; }));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(131));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE3), T(140));
    shot("6-programming");
    m_unit.programGate.Open();
    ASSERT_TRUE(WaitIdle(STATE_CLOSE));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE2), T(136));
    EXPECT_EQ(LabelOf(dlg, IDC_INFOLINE3), T(137));
    EXPECT_EQ(BottomRow(dlg), T(107) + ";");
    shot("7-success");
    Press(IDC_ACTION);
    EXPECT_TRUE(dlg.HasEnded());
    EXPECT_EQ(dlg.Core().GetExitStatus(), 0);
    EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST_F(WizardPages, CloseDuringThePauseComesAfterItAndStartsNoTransfer)
{
    m_unit.searchGate.Open();
    Start("-a -f:" + SAMPLE);
    CTestWizardDialog& dlg = *m_pDlg;
    bool bClosedInPause = true;
    dlg.m_onPause = [&](uint32_t)
    {
        dlg.PauseBase(100);
        bClosedInPause = dlg.Close();
        dlg.PauseBase(100);
    };
    ASSERT_TRUE(WaitIdle(STATE_SEARCH));
    Press(IDC_ACTION);
    EXPECT_TRUE(PumpUntil([&] { return dlg.HasEnded(); }, 10s));
    EXPECT_FALSE(bClosedInPause) << "the close request must wait for the pause";
    PumpFor(200ms);
    // The request was handled before the step the wizard had queued: no download started.
    EXPECT_EQ(dlg.Core().GetState(), STATE_DOWNLOAD);
    EXPECT_FALSE(dlg.Core().IsBusy());
    for (const auto& [nId, strText] : dlg.m_textLog)
    {
        EXPECT_NE(strText, T(132)) << "the download started after the close";
    }
    EXPECT_TRUE(dlg.m_messageBoxes.empty());
}

TEST_F(WizardPages, GermanTextsKeepTheirUmlauts)
{
    SelectTextLanguage(ETextLanguage::German);
    Start("");
    CTestWizardDialog& dlg = *m_pDlg;
    Press(IDC_ACTION);
    const bool bIdle = WaitIdle(STATE_SELECT_FIRMWARE);
    const std::string strButton = LabelOf(dlg, IDC_ACTION);
    const std::string strStatus = LabelOf(dlg, IDC_FWSTATUS);
    const std::string strShot = CheckAndSaveShot(&dlg, CaptureClientArea(&dlg), "firmware-german");
    SelectTextLanguage(ETextLanguage::English);
    ASSERT_TRUE(bIdle);
    EXPECT_EQ(strButton, "Datei \xC3\xB6"
                         "ffnen");
    EXPECT_EQ(strStatus, LoadText(118, ETextLanguage::German));
    EXPECT_NE(strStatus.find("\xC3\xA4"), std::string::npos);
    EXPECT_EQ(strShot, "");
}
