// The wizard window driven through its pages under Xvfb, with worker procedures scripted so each
// page can be held while a test looks at it: texts, keys, closing, retry, and page screenshots.
#include "app/core/Texts.h"
#include "app/gui/WizardDialog.h"
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

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
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
    for (;;)
    {
        if (wxEventLoopBase* pLoop = wxEventLoopBase::GetActive())
        {
            pLoop->YieldFor(wxEVT_CATEGORY_ALL);
        }
        if (pred() || std::chrono::steady_clock::now() >= deadline)
        {
            return pred();
        }
        wxMilliSleep(5);
    }
}

void PumpFor(std::chrono::milliseconds duration)
{
    PumpUntil([] { return false; }, duration);
}

int CountColours(const wxImage& image)
{
    std::set<uint32_t> colours;
    const unsigned char* p = image.GetData();
    const size_t nPixels = static_cast<size_t>(image.GetWidth()) * static_cast<size_t>(image.GetHeight());
    for (size_t i = 0; i < nPixels && colours.size() < 64; ++i, p += 3)
    {
        colours.insert((static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2]);
    }
    return static_cast<int>(colours.size());
}

// The client area from the window itself (GTK 3 caches a screen DC's first snapshot), after a
// repaint; a busy machine may take a while to paint. Banner, texts, buttons: dozens of colours.
std::string CheckAndSaveShot(wxWindow* pWnd, const std::string& strName)
{
    pWnd->Refresh();
    pWnd->Update();
    PumpFor(150ms);
    wxImage image;
    const wxSize size = pWnd->GetClientSize();
    PumpUntil(
        [&]
        {
            wxBitmap bitmap(size);
            {
                wxClientDC window(pWnd);
                wxMemoryDC memory(bitmap);
                memory.Blit(0, 0, size.x, size.y, &window, 0, 0);
            }
            image = bitmap.ConvertToImage();
            return CountColours(image) >= 32;
        },
        5s);
    if (!image.IsOk() || image.GetSize() != size || CountColours(image) < 32)
    {
        return strName + ": blank or not the client area's size";
    }
    const std::string strDir = ORLIX_SCREENSHOT_DIR;
    std::filesystem::create_directories(strDir);
    return image.SaveFile(strDir + "/" + strName + ".png", wxBITMAP_TYPE_PNG) ? "" : strName + ": not saved";
}

// Released by the test, or by the dialog asking its workers to stop.
struct SGate
{
    std::atomic<bool> bOpen{false};
    void Wait(IWorkerHost& host) const
    {
        while (!bOpen && !host.StopRequested())
        {
            std::this_thread::sleep_for(10ms);
        }
    }
};

// Stands in for the unit: the search "finds" the port, the download succeeds, programming ends
// with nProgramResult; search and programming post a detail and a progress and wait at a gate.
struct SScriptedUnit
{
    std::string strPortPath;
    std::string strPortName = "Test port";
    int nProgramResult = 0;
    SGate searchGate;
    SGate programGate;
    std::atomic<int> nProgramRuns{0};

    SWorkerProcs Procs()
    {
        SWorkerProcs procs;
        procs.search = [this](CUnitSession& session, const CFirmwareImage&, IWorkerHost& host) -> unsigned
        {
            SSerInfo info;
            info.devicePath = strPortPath;
            info.shortName = "test0";
            info.friendlyName = strPortName;
            session.Ports() = {info};
            host.PostWorkerMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_INFOLINE3, 0, strPortName});
            host.PostWorkerMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, 40, {}});
            searchGate.Wait(host);
            session.SetCurrentPort(&session.Ports().front());
            host.PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, 1, {}});
            return 0;
        };
        procs.download = [](CUnitSession& session, const CFirmwareImage&, IWorkerHost& host) -> unsigned
        {
            session.m_bDownloadOk = true;
            host.PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, 0, {}});
            return 0;
        };
        procs.program = [this](CUnitSession& session, const CFirmwareImage&, IWorkerHost& host) -> unsigned
        {
            ++nProgramRuns;
            host.PostWorkerMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PHASE, PHASE_PROGRAM, {}});
            host.PostWorkerMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, 60, {}});
            programGate.Wait(host);
            session.m_nProgramResult = nProgramResult;
            host.PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, 0, {}});
            return 0;
        };
        return procs;
    }
};

// The window with its modal boxes replaced: message boxes are recorded (m_onMessageBox runs while
// one is "open"), the open-file dialog answers m_strNextFile (empty: cancelled).
class CTestWizardDialog : public CWizardDialog
{
public:
    CTestWizardDialog(const std::string& strCmdLine, SWorkerProcs procs)
        : CWizardDialog(strCmdLine, "orlix", std::move(procs))
    {
    }

    std::vector<std::string> m_messageBoxes;
    std::function<void()> m_onMessageBox;
    wxString m_strNextFile;
    wxString m_strFileDialogInitial;
    std::vector<std::string> m_textLog;
    std::function<void(uint32_t)> m_onPause;

    void SetControlText(int nId, const std::string& strText) override
    {
        m_textLog.push_back(strText);
        CWizardDialog::SetControlText(nId, strText);
    }
    void Pause(uint32_t dwMs) override { m_onPause ? m_onPause(dwMs) : CWizardDialog::Pause(dwMs); }
    void PauseBase(uint32_t dwMs) { CWizardDialog::Pause(dwMs); }

protected:
    void DoMessageBox(const wxString& strText, const wxString&, long) override
    {
        m_messageBoxes.push_back(strText.utf8_string());
        if (m_onMessageBox)
        {
            m_onMessageBox();
        }
    }
    bool DoOpenFileDialog(const wxString& strInitialPath, const wxString&, wxString& strPath) override
    {
        m_strFileDialogInitial = strInitialPath;
        strPath = m_strNextFile;
        return !strPath.empty();
    }
};

class WizardPages : public testing::Test
{
protected:
    void Start(const std::string& strCmdLine)
    {
        m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char buf[128];
        ASSERT_TRUE(m_nMaster >= 0 && grantpt(m_nMaster) == 0 && unlockpt(m_nMaster) == 0 &&
                    ptsname_r(m_nMaster, buf, sizeof buf) == 0);
        m_unit.strPortPath = buf;
        m_pDlg = std::make_unique<CTestWizardDialog>(strCmdLine, m_unit.Procs());
        m_pDlg->InitWizard();
        m_pDlg->Show();
        PumpFor(100ms);
    }
    void TearDown() override
    {
        m_pDlg.reset(); // workers held at a gate see the stop request
        if (m_nMaster >= 0)
        {
            close(m_nMaster);
        }
    }
    std::string Label(int nId)
    {
        wxWindow* pWnd = m_pDlg->GetControl(nId);
        auto* pText = dynamic_cast<wxStaticText*>(pWnd);
        return pText != nullptr ? pText->GetLabelText().utf8_string() : pWnd->GetLabel().utf8_string();
    }
    bool Shown(int nId) { return m_pDlg->GetControl(nId)->IsShown(); }
    int Gauge() { return static_cast<wxGauge*>(m_pDlg->GetControl(IDC_PROGRESS))->GetValue(); }
    // What the bottom row shows: "progress", the action button's caption, or "yes/no".
    std::string BottomRow()
    {
        return std::string(Shown(IDC_PROGRESS) ? "progress;" : "") +
               (Shown(IDC_ACTION) ? Label(IDC_ACTION) + ";" : "") +
               (Shown(IDC_YES) || Shown(IDC_NO) ? Label(IDC_YES) + "/" + Label(IDC_NO) + ";" : "");
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
    bool WaitGauge(int nValue)
    {
        return PumpUntil([&] { return Gauge() == nValue && m_pDlg->PendingMessages() == 0; });
    }
    void Press(int nId)
    {
        ASSERT_TRUE(Shown(nId)) << "button " << nId << " not shown";
        wxCommandEvent event(wxEVT_BUTTON, nId);
        event.SetEventObject(m_pDlg->GetControl(nId));
        m_pDlg->GetControl(nId)->ProcessWindowEvent(event);
        PumpFor(50ms);
    }

    int m_nMaster = -1;
    SScriptedUnit m_unit;
    std::unique_ptr<CTestWizardDialog> m_pDlg;
};
} // namespace

// Every page a technician sees on the way through an update, checked and saved as screenshots.
TEST_F(WizardPages, PagesOfAnUpdateWithScreenshots)
{
    Start("");
    CTestWizardDialog& dlg = *m_pDlg;
    std::vector<std::string> problems;
    auto shot = [&](const std::string& strName)
    {
        if (std::string strProblem = CheckAndSaveShot(&dlg, strName); !strProblem.empty())
        {
            problems.push_back(strProblem);
        }
    };
    EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(108));
    EXPECT_EQ(BottomRow(), "Start;");
    shot("1-welcome");
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SELECT_FIRMWARE));
    EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(122));
    EXPECT_EQ(BottomRow(), LoadText(111) + ";");
    shot("2-firmware");
    dlg.m_strNextFile = wxString::FromUTF8(SAMPLE);
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SEARCH));
    EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(123));
    EXPECT_EQ(BottomRow(), LoadText(104) + ";");
    EXPECT_EQ(dlg.GetStatusBarCtrl()->GetStatusText(0).utf8_string(), SAMPLE);
    shot("3-connect");
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitGauge(40));
    EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(125));
    EXPECT_EQ(Label(IDC_INFOLINE3), m_unit.strPortName);
    EXPECT_EQ(BottomRow(), "progress;");
    shot("4-searching");
    m_unit.searchGate.bOpen = true;
    ASSERT_TRUE(WaitIdle(STATE_DOWNLOAD));
    EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(126));
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitGauge(60));
    EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(131));
    EXPECT_EQ(Label(IDC_INFOLINE3), LoadText(140));
    shot("5-programming");
    m_unit.programGate.bOpen = true;
    ASSERT_TRUE(WaitIdle(STATE_CLOSE));
    EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(136));
    EXPECT_EQ(Label(IDC_INFOLINE3), LoadText(137));
    EXPECT_EQ(BottomRow(), LoadText(107) + ";");
    shot("6-success");
    Press(IDC_ACTION);
    EXPECT_TRUE(dlg.HasEnded());
    EXPECT_EQ(dlg.Core().GetExitStatus(), 0);
    EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST_F(WizardPages, ReturnAndEscapeLeaveThePageButSpacePressesTheButton)
{
    Start("");
    m_pDlg->Raise();
    m_pDlg->GetControl(IDC_ACTION)->SetFocus();
    wxUIActionSimulator sim;
    // Keys go to the window under the pointer when there is no window manager.
    sim.MouseMove(m_pDlg->ClientToScreen(m_pDlg->GetControl(IDC_INFOLINE2)->GetRect().GetTopLeft()));
    PumpFor(150ms);
    for (const int nKey : {WXK_RETURN, WXK_ESCAPE, WXK_NUMPAD_ENTER})
    {
        sim.Char(nKey);
        PumpFor(150ms);
        EXPECT_EQ(m_pDlg->Core().GetState(), STATE_WELCOME) << "key " << nKey;
        EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(108)) << "key " << nKey;
        EXPECT_TRUE(m_pDlg->IsShown() && !m_pDlg->HasEnded()) << "key " << nKey;
    }
    // Keys do reach the focused button: Space presses it.
    sim.Char(' ');
    EXPECT_TRUE(PumpUntil([&] { return Label(IDC_INFOLINE2) == LoadText(122); }, 3s)) << "keys never arrived";
}

TEST_F(WizardPages, UnusableFirmwareFilesWarnAndLeaveThePage)
{
    Start("");
    CTestWizardDialog& dlg = *m_pDlg;
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SELECT_FIRMWARE));
    Press(IDC_ACTION); // cancelled
    EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(122));
    CTempDir dir;
    const std::string strMissing = dir.File("missing fw.mhx");
    dlg.m_strNextFile = wxString::FromUTF8(strMissing);
    Press(IDC_ACTION);
    EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(143));
    EXPECT_EQ(dlg.GetStatusBarCtrl()->GetStatusText(0).utf8_string(), strMissing);
    const std::string strCorrupt = dir.File("corrupt.mhx");
    WriteFileText(strCorrupt, "S2 this is not a record\n");
    dlg.m_strNextFile = wxString::FromUTF8(strCorrupt);
    Press(IDC_ACTION);
    EXPECT_EQ(dlg.m_strFileDialogInitial.utf8_string(), strMissing) << "the next dialog starts at it";
    EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(142));
    EXPECT_EQ(Label(IDC_FWSTATUS), LoadText(118));
    EXPECT_EQ(dlg.Core().GetState(), STATE_SELECT_FIRMWARE);
    // Without a worker running, closing ends at once.
    EXPECT_TRUE(dlg.Close());
    EXPECT_TRUE(dlg.HasEnded());
    EXPECT_TRUE(dlg.m_messageBoxes.empty());
    EXPECT_EQ(dlg.Core().GetExitStatus(), 1);
}

TEST_F(WizardPages, CloseWhileBusyIsRefusedAndTheWorkerGoesOn)
{
    Start("-f:" + SAMPLE);
    CTestWizardDialog& dlg = *m_pDlg;
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SEARCH));
    Press(IDC_ACTION); // search, held at its gate
    ASSERT_TRUE(WaitGauge(40));
    // The worker ends while the refusal is on the screen: its status still shows, but its end
    // waits until the box is gone, so no step runs inside the close handler.
    int nStateInBox = -1;
    bool bBusyInBox = false;
    dlg.m_onMessageBox = [&]
    {
        dlg.PostWizardMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, 77, {}});
        m_unit.searchGate.bOpen = true;
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

TEST_F(WizardPages, FailedProgrammingAsksToRetry)
{
    m_unit.searchGate.bOpen = true;
    m_unit.programGate.bOpen = true;
    m_unit.nProgramResult = 3;
    Start("-f:" + SAMPLE);
    Press(IDC_ACTION);
    ASSERT_TRUE(WaitIdle(STATE_SEARCH));
    for (int nRun = 1; nRun <= 2; ++nRun)
    {
        SCOPED_TRACE("run " + std::to_string(nRun));
        Press(IDC_ACTION);
        ASSERT_TRUE(WaitIdle(STATE_DOWNLOAD));
        Press(IDC_ACTION);
        ASSERT_TRUE(WaitIdle(STATE_QUESTION));
        EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(145));
        EXPECT_EQ(Label(IDC_INFOLINE3), LoadText(135));
        EXPECT_EQ(BottomRow(), LoadText(105) + "/" + LoadText(106) + ";");
        EXPECT_EQ(m_unit.nProgramRuns.load(), nRun);
        // Yes: back to the connect page with the same firmware; No: the wizard closes.
        Press(nRun == 1 ? IDC_YES : IDC_NO);
        if (nRun == 1)
        {
            ASSERT_TRUE(WaitIdle(STATE_SEARCH));
            EXPECT_EQ(Label(IDC_INFOLINE2), LoadText(123));
        }
    }
    EXPECT_TRUE(PumpUntil([&] { return m_pDlg->HasEnded(); }, 5s));
    EXPECT_EQ(m_pDlg->Core().GetExitStatus(), 1);
}

// Automatic mode pauses on the found page before it starts the download; a close request made
// in the pause is handled after it, before the queued step, so no transfer starts.
TEST_F(WizardPages, CloseDuringTheAutomaticPauseStartsNoTransfer)
{
    m_unit.searchGate.bOpen = true;
    Start("-a -f:" + SAMPLE);
    CTestWizardDialog& dlg = *m_pDlg;
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
    Press(IDC_ACTION);
    EXPECT_TRUE(PumpUntil([&] { return dlg.HasEnded(); }, 10s));
    EXPECT_EQ(dwPause, AUTO_START_PAUSE_MS);
    EXPECT_FALSE(bClosedInPause) << "the close request must wait for the pause";
    PumpFor(200ms);
    EXPECT_EQ(dlg.Core().GetState(), STATE_DOWNLOAD);
    EXPECT_FALSE(dlg.Core().IsBusy());
    EXPECT_EQ(std::count(dlg.m_textLog.begin(), dlg.m_textLog.end(), LoadText(132)), 0) << "download started";
    EXPECT_TRUE(dlg.m_messageBoxes.empty());
}
