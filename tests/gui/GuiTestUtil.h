#pragma once
// Helpers for tests of the wizard window: pumping the event loop, screenshots, a wizard window
// whose modal boxes are scripted, and worker procedures a test can hold and release.
#include "app/gui/WizardDialog.h"

#include <wx/image.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

using namespace std::chrono_literals;

// Runs the event loop until pred() holds or the time-out passes; pred()'s last value.
bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s);
// Runs the event loop for this long.
void PumpFor(std::chrono::milliseconds duration);

// The window's client area as it is on the screen; with bRepaint, after a repaint.
wxImage CaptureClientArea(wxWindow* pWnd, bool bRepaint = true);
// Checks a screenshot of the wizard (its client size, not blank) and saves it as <name>.png
// in the screenshot folder; returns a failure message, empty when it is fine.
std::string CheckAndSaveShot(wxWindow* pWnd, const wxImage& image, const std::string& strName);

// A pseudo-terminal whose slave the wizard can open as its port.
class CPtyPort
{
public:
    CPtyPort();
    ~CPtyPort();
    CPtyPort(const CPtyPort&) = delete;
    CPtyPort& operator=(const CPtyPort&) = delete;
    const std::string& SlavePath() const { return m_strSlave; }

private:
    int m_nMaster = -1;
    std::string m_strSlave;
};
// Distinct colours in the image (up to nLimit); a blank capture has one or two.
int CountColours(const wxImage& image, int nLimit = 64);
// Folder for screenshots under the build tree (created on first use).
std::string ScreenshotDir();

// A released-or-stopped gate for worker procedures.
class CGate
{
public:
    void Open();
    // Blocks until Open or until the dialog asks its workers to stop.
    void Wait(IWorkerHost* pHost);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bOpen = false;
};

// Worker procedures that stand in for the unit: the search "finds" strPortPath (or nothing),
// the download succeeds, the programming ends with nProgramResult. The search and the
// programming post a detail text and a progress value and then wait at their gates.
struct SScriptedUnit
{
    std::string strPortPath;
    std::string strPortName = "Test port";
    bool bFound = true;
    int nProgramResult = 0;
    int nSearchProgress = 40;
    int nProgramProgress = 60;
    CGate searchGate;
    CGate programGate;
    std::atomic<int> nSearches{0};
    std::atomic<int> nProgramRuns{0};
};
SWorkerProcs ScriptedProcs(SScriptedUnit& unit);

// The wizard window with its modal boxes replaced: message boxes are recorded, the open-file
// dialog answers with m_strNextFile (empty: cancelled) and records what it was given.
class CTestWizardDialog : public CWizardDialog
{
public:
    CTestWizardDialog(const std::string& strCmdLine, std::optional<SWorkerProcs> procs = std::nullopt);

    using CWizardDialog::ClickButton;

    std::vector<wxString> m_messageBoxes;
    std::vector<long> m_messageBoxStyles;
    wxString m_strNextFile;
    wxString m_strFileDialogWildcard;
    wxString m_strFileDialogInitial;
    int m_nFileDialogs = 0;
    // Called from inside a message box, while it is "open".
    std::function<void()> m_onMessageBox;
    // Every text the core set, in order.
    std::vector<std::pair<int, std::string>> m_textLog;
    // Replaces the pause; PauseBase is the window's own.
    std::function<void(uint32_t)> m_onPause;

    void SetControlText(int nId, const std::string& strText) override;
    void Pause(uint32_t dwMilliseconds) override;
    void PauseBase(uint32_t dwMilliseconds) { CWizardDialog::Pause(dwMilliseconds); }

protected:
    void DoMessageBox(const wxString& strText, const wxString& strCaption, long nStyle) override;
    bool DoOpenFileDialog(const wxString& strInitialPath, const wxString& strWildcard,
                          wxString& strPath) override;
};

// A small firmware file: one code record at 0xF80000 and the identification block (processor,
// version, name; 16 bytes each, NUL-padded) at 0xFF8000, as S2 records.
std::string FirmwareText(const std::string& strProcessor, const std::string& strName,
                         const std::string& strVersion);

// Text of a static text or button of the window.
std::string LabelOf(CWizardDialog& dlg, int nId);
bool IsShownCtl(CWizardDialog& dlg, int nId);
