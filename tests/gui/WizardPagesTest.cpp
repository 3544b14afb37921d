// The wizard window driven through its pages under Xvfb, with worker procedures scripted so each
// page can be held while a test looks at it: texts, keys, closing, the pause, page screenshots.
#include "app/core/Texts.h"
#include "app/gui/WizardDialog.h"
#include "tests/serial/posix/PtyPair.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/image.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

using namespace std::chrono_literals;

namespace
{
const std::string SAMPLE = OrlixSamplePath("analyzer-mb90f345.mhx");

bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;; wxMilliSleep(5))
    {
        if (wxEventLoopBase* pLoop = wxEventLoopBase::GetActive())
            pLoop->YieldFor(wxEVT_CATEGORY_ALL);
        if (pred() || std::chrono::steady_clock::now() >= deadline)
            return pred();
    }
}

void PumpFor(std::chrono::milliseconds duration)
{
    PumpUntil([] { return false; }, duration);
}

// Saves the client area, once repainted (dozens of colours), as build/screenshots/<name>.png; an
// error text when it stays blank. From the window itself: GTK 3 caches a screen DC's first snapshot.
std::string SaveShot(wxWindow* pWnd, const std::string& strName)
{
    pWnd->Refresh();
    pWnd->Update();
    const wxSize size = pWnd->GetClientSize();
    wxImage image;
    const bool bDrawn = PumpUntil(
        [&]
        {
            wxBitmap bitmap(size);
            {
                wxClientDC window(pWnd);
                wxMemoryDC memory(bitmap);
                memory.Blit(0, 0, size.x, size.y, &window, 0, 0);
            }
            image = bitmap.ConvertToImage();
            std::set<uint32_t> colours;
            const unsigned char* p = image.GetData();
            for (int i = 0; i < size.x * size.y && colours.size() < 32; ++i, p += 3)
                colours.insert(static_cast<uint32_t>(p[0] << 16 | p[1] << 8 | p[2]));
            return colours.size() >= 32;
        },
        5s);
    std::filesystem::create_directories(ORLIX_SCREENSHOT_DIR);
    if (!bDrawn || image.GetSize() != size)
        return strName + ": blank or not the client area's size";
    return image.SaveFile(ORLIX_SCREENSHOT_DIR "/" + strName + ".png", wxBITMAP_TYPE_PNG)
               ? ""
               : strName + ": not saved";
}

// The unit: the search "finds" the port, the download succeeds, programming ends with
// nProgramResult; search and programming post a detail and a progress, then wait at their gate.
struct SScriptedUnit
{
    std::string strPortPath;
    std::atomic<int> nProgramResult{0}, nDownloadRuns{0}, nProgramRuns{0};
    std::atomic<bool> bSearchGate{false}, bProgramGate{false}; // opened by the test or a stop request

    static WorkerProc Script(std::vector<SWizardMessage> messages, std::atomic<bool>* pGate,
                             std::function<void(CUnitSession&)> end, intptr_t lEnd = 0)
    {
        return [=](CUnitSession& session, const CFirmwareImage&, IWorkerHost& host) -> unsigned
        {
            for (const SWizardMessage& message : messages)
                host.PostWorkerMessage(message);
            while (pGate != nullptr && !*pGate && !host.StopRequested())
                std::this_thread::sleep_for(10ms);
            end(session);
            host.PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, lEnd, {}});
            return 0;
        };
    }
    SWorkerProcs Procs()
    {
        auto found = [this](CUnitSession& session)
        {
            SSerInfo info;
            info.devicePath = strPortPath;
            info.friendlyName = "Test port";
            session.Ports() = {info};
            session.SetCurrentPort(&session.Ports().front());
        };
        auto downloaded = [this](CUnitSession& session) { ++nDownloadRuns, session.m_bDownloadOk = true; };
        auto programmed = [this](CUnitSession& session)
        { ++nProgramRuns, session.m_nProgramResult = nProgramResult; };
        return {Script({{WM_WORKER_STATUS, STATUS_INFOLINE3, 0, "Test port"},
                        {WM_WORKER_STATUS, STATUS_PROGRESS, 40, {}}},
                       &bSearchGate, found, 1),
                Script({}, nullptr, downloaded),
                Script({{WM_WORKER_STATUS, STATUS_PHASE, PHASE_PROGRAM, {}},
                        {WM_WORKER_STATUS, STATUS_PROGRESS, 60, {}}},
                       &bProgramGate, programmed)};
    }
};

// The window with message boxes recorded (m_onMessageBox runs while one is "open"), the open-file
// dialog answering m_strNextFile (empty: cancelled) and the automatic pause watched (m_onPause).
class CTestWizardDialog : public CWizardDialog
{
public:
    using CWizardDialog::CWizardDialog;
    std::vector<std::string> m_messageBoxes;
    std::function<void()> m_onMessageBox;
    wxString m_strNextFile;
    std::function<void(uint32_t)> m_onPause;

    void Pause(uint32_t dwMs) override { m_onPause ? m_onPause(dwMs) : CWizardDialog::Pause(dwMs); }
    void PauseBase(uint32_t dwMs) { CWizardDialog::Pause(dwMs); }

protected:
    void DoMessageBox(const wxString& strText, const wxString&, long) override
    {
        m_messageBoxes.push_back(strText.utf8_string());
        if (m_onMessageBox)
            m_onMessageBox();
    }
    bool DoOpenFileDialog(const wxString&, const wxString&, wxString& strPath) override
    {
        strPath = m_strNextFile;
        return !strPath.empty();
    }
};

class WizardPages : public testing::Test
{
protected:
    // The window on the command line, its port a pseudo-terminal that the core can open.
    CTestWizardDialog& Start(const std::string& strCmdLine)
    {
        m_unit.strPortPath = m_pty.SlaveName();
        m_pDlg = std::make_unique<CTestWizardDialog>(strCmdLine, "orlix", m_unit.Procs());
        m_pDlg->InitWizard(), m_pDlg->Show(), PumpFor(100ms);
        return *m_pDlg;
    }
    void TearDown() override { m_pDlg.reset(); } // workers held at a gate see the stop request
    std::string Label(int nId)
    {
        wxWindow* pWnd = m_pDlg->GetControl(nId);
        auto* pText = dynamic_cast<wxStaticText*>(pWnd);
        return (pText != nullptr ? pText->GetLabelText() : pWnd->GetLabel()).utf8_string();
    }
    bool Shown(int nId) { return m_pDlg->GetControl(nId)->IsShown(); }
    int Gauge() { return static_cast<wxGauge*>(m_pDlg->GetControl(IDC_PROGRESS))->GetValue(); }
    bool WaitIdle(int nState)
    {
        COrlixDlg& core = m_pDlg->Core();
        return PumpUntil(
            [&] { return core.GetState() == nState && !core.IsBusy() && m_pDlg->PendingMessages() == 0; });
    }
    bool WaitGauge(int nValue)
    {
        return PumpUntil([&] { return Gauge() == nValue && m_pDlg->PendingMessages() == 0; });
    }
    void PressAction()
    {
        ASSERT_TRUE(Shown(IDC_ACTION));
        wxCommandEvent event(wxEVT_BUTTON, IDC_ACTION);
        event.SetEventObject(m_pDlg->GetControl(IDC_ACTION));
        m_pDlg->GetControl(IDC_ACTION)->ProcessWindowEvent(event);
        PumpFor(50ms);
    }

    CPtyPair m_pty;
    SScriptedUnit m_unit;
    std::unique_ptr<CTestWizardDialog> m_pDlg;
};
} // namespace

// Every page of an update with a failed run and its retry, by keys alone, saved as screenshots. On
// each page waiting for a button Return and Escape change nothing and Space presses it at once.
TEST_F(WizardPages, EveryPageByKeysWithScreenshots)
{
    m_unit.nProgramResult = 3;
    CTestWizardDialog& dlg = Start("");
    dlg.m_strNextFile = wxString::FromUTF8(SAMPLE);
    dlg.Raise();
    wxUIActionSimulator sim;
    // Keys go to the window under the pointer when there is no window manager.
    sim.MouseMove(dlg.ClientToScreen(dlg.GetControl(IDC_INFOLINE2)->GetRect().GetTopLeft()));
    PumpFor(150ms);
    std::string strShotErrors;
    auto shot = [&](const std::string& strName) { strShotErrors += SaveShot(&dlg, strName); };
    // The page waiting in nState: its message and button, a screenshot; then the keys.
    auto keys =
        [&](int nState, unsigned nMessage, const std::string& strButton, const std::string& strShot = "")
    {
        SCOPED_TRACE("page " + LoadText(nMessage));
        ASSERT_TRUE(WaitIdle(nState)) << "Space did not press the button of the page before";
        EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(nMessage));
        EXPECT_EQ(Label(Shown(IDC_YES) ? IDC_YES : IDC_ACTION), strButton);
        if (!strShot.empty())
            shot(strShot);
        for (const int nKey : {WXK_RETURN, WXK_ESCAPE, WXK_NUMPAD_ENTER})
        {
            sim.Char(nKey);
            PumpFor(100ms);
            EXPECT_EQ(dlg.Core().GetState(), nState) << "key " << nKey;
            EXPECT_FALSE(dlg.HasEnded()) << "key " << nKey;
        }
        sim.Char(' ');
    };
    keys(STATE_WELCOME, 108, "Start", "1-welcome");
    keys(STATE_SELECT_FIRMWARE, 122, LoadText(111), "2-firmware");
    keys(STATE_SEARCH, 123, LoadText(104), "3-connect");
    EXPECT_EQ(dlg.GetStatusBarCtrl()->GetStatusText(0).utf8_string(), SAMPLE);
    ASSERT_TRUE(WaitGauge(40));
    EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(125));
    EXPECT_EQ(Label(IDC_INFOLINE3), "Test port");
    EXPECT_TRUE(Shown(IDC_PROGRESS) && !Shown(IDC_ACTION));
    shot("4-searching");
    m_unit.bSearchGate = true;
    keys(STATE_DOWNLOAD, 126, LoadText(104));
    ASSERT_TRUE(WaitGauge(60));
    EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(131));
    EXPECT_EQ(Label(IDC_INFOLINE3), LoadText(140));
    shot("5-programming");
    m_unit.bProgramGate = true;
    keys(STATE_QUESTION, 145, LoadText(105), "6-retry");
    EXPECT_EQ(Label(IDC_INFOLINE3), LoadText(135));
    m_unit.nProgramResult = 0; // Space answered Yes: the retry succeeds
    keys(STATE_SEARCH, 123, LoadText(104));
    keys(STATE_DOWNLOAD, 126, LoadText(104));
    keys(STATE_CLOSE, 136, LoadText(107), "7-success");
    EXPECT_EQ(Label(IDC_INFOLINE3), LoadText(137));
    EXPECT_TRUE(PumpUntil([&] { return dlg.HasEnded(); }, 5s)) << "Space on the success page did not close";
    EXPECT_EQ(dlg.Core().GetExitStatus(), 0);
    EXPECT_EQ(m_unit.nProgramRuns.load(), 2);
    EXPECT_EQ(strShotErrors, "");
}

TEST_F(WizardPages, CloseWhileBusyIsRefusedAndTheWorkerGoesOn)
{
    CTestWizardDialog& dlg = Start("-f:" + SAMPLE);
    PressAction();
    ASSERT_TRUE(WaitIdle(STATE_SEARCH));
    PressAction(); // search, held at its gate
    ASSERT_TRUE(WaitGauge(40));
    // The worker ends while the refusal is on the screen: its status still shows, but its end
    // waits until the box is gone, so no step runs inside the close handler.
    int nStateInBox = -1;
    bool bBusyInBox = false;
    dlg.m_onMessageBox = [&]
    {
        dlg.PostWizardMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, 77, {}});
        m_unit.bSearchGate = true;
        PumpUntil([&] { return Gauge() == 77 && dlg.PendingMessages() == 1; }, 5s);
        nStateInBox = dlg.Core().GetState();
        bBusyInBox = dlg.Core().IsBusy();
    };
    EXPECT_FALSE(dlg.Close());
    EXPECT_EQ(dlg.m_messageBoxes, std::vector<std::string>{LoadText(102)});
    EXPECT_EQ(nStateInBox, STATE_SEARCH_RESULT);
    EXPECT_TRUE(bBusyInBox);
    EXPECT_FALSE(dlg.HasEnded());
    EXPECT_TRUE(WaitIdle(STATE_DOWNLOAD)) << "the search's end was lost";
}

// Automatic mode pauses on the found page before it starts the download; a close request made
// in the pause is handled after it, before the queued step, so no transfer starts.
TEST_F(WizardPages, CloseDuringTheAutomaticPauseStartsNoTransfer)
{
    m_unit.bSearchGate = true;
    CTestWizardDialog& dlg = Start("-a -f:" + SAMPLE);
    uint32_t dwPause = 0;
    bool bClosedInPause = true;
    dlg.m_onPause = [&](uint32_t dwMs)
    {
        dwPause = dwMs;
        dlg.PauseBase(100);
        bClosedInPause = dlg.Close();
        dlg.PauseBase(100);
    };
    ASSERT_TRUE(WaitIdle(STATE_SEARCH));
    PressAction();
    EXPECT_TRUE(PumpUntil([&] { return dlg.HasEnded(); }));
    EXPECT_EQ(dwPause, AUTO_START_PAUSE_MS);
    EXPECT_FALSE(bClosedInPause) << "the close request must wait for the pause";
    PumpFor(200ms);
    EXPECT_EQ(dlg.Core().GetState(), STATE_DOWNLOAD);
    EXPECT_FALSE(dlg.Core().IsBusy());
    EXPECT_EQ(m_unit.nDownloadRuns.load(), 0);
    EXPECT_TRUE(dlg.m_messageBoxes.empty());
}
