#pragma once
// The wizard window on wxWidgets: the view the core draws its pages on (WizardDialog.cpp)
// and the event policy around the core (WizardEvents.cpp: keys, buttons, close, the message
// queue, the pause); the controls themselves are CWizardControls. The wizard's logic lives in
// COrlixDlg, which this window owns and drives and which reaches the window only through
// IWizardView.
#include "app/core/OrlixDlg.h"
#include "app/core/WizardView.h"
#include "app/gui/WizardControls.h"

#include <wx/dialog.h>

#include "app/core/WizardMessageQueue.h"
#include <cstdint>

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class wxStatusBar;
class wxThreadEvent;

// Command of the About item (window menu where the platform has one, context menu, F1).
inline constexpr int IDM_ABOUTBOX = 0x0010;

class CWizardDialog : public wxDialog, public IWizardView
{
public:
    // strCmdLine: the options as one line (JoinCommandLine); strAppName: the caption of the
    // message boxes. procs replaces the real worker procedures (tests).
    CWizardDialog(const std::string& strCmdLine, const std::string& strAppName,
                  std::optional<SWorkerProcs> procs = std::nullopt);
    // Stops and joins a running worker before any control goes away.
    ~CWizardDialog() override;
    CWizardDialog(const CWizardDialog&) = delete;
    CWizardDialog& operator=(const CWizardDialog&) = delete;

    // The first wizard step, once: the welcome page, which may load the command line's
    // firmware. Called by RunWizard before the window becomes visible.
    void InitWizard();
    // InitWizard, then the window modally until the wizard ends. The process's exit status.
    int RunWizard();

    COrlixDlg& Core() { return *m_pCore; }
    const COrlixDlg& Core() const { return *m_pCore; }
    // The control with a template id (IDC_...), or nullptr.
    wxWindow* GetControl(int nId) const { return m_controls.Get(nId); }
    wxStatusBar* GetStatusBarCtrl() const { return m_controls.StatusBar(); }
    // True once the wizard asked to end; nothing reaches the core after that.
    bool HasEnded() const { return m_gate.HasEnded(); }
    // Wizard messages queued and not yet handled.
    size_t PendingMessages() const { return m_gate.Pending(); }

    void ShowAboutBox();

    // IWizardView
    void SetControlText(int nId, const std::string& strText) override;
    void SetControlIcon(int nId, EViewIcon icon) override;
    void ShowControl(int nId, bool bShow) override;
    void SetProgressRange(int nLower, int nUpper) override;
    void SetProgressPos(int nPos) override;
    void PlaySound(EViewSound sound) override;
    void MessageBox(const std::string& strText, const std::string& strCaption, EMsgBoxIcon icon) override;
    bool OpenFileDialog(const std::string& strInitialName, const std::string& strFilter,
                        std::string& strPath) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void SetStatusPane(int nPane, const std::string& strText) override;
    void PostWizardMessage(SWizardMessage msg) override;
    void Pause(uint32_t dwMilliseconds) override;
    void EndDialog() override;

protected:
    // The modal boxes themselves, apart so that a window test can answer them. Both run on
    // the dialog's thread with the bookkeeping of MessageBox and OpenFileDialog around them.
    virtual void DoMessageBox(const wxString& strText, const wxString& strCaption, long nStyle);
    virtual bool DoOpenFileDialog(const wxString& strInitialPath, const wxString& strWildcard,
                                  wxString& strPath);

private:
    void BindEvents();
    void CreateAboutCommands();

    void OnButton(wxCommandEvent& event);
    void OnCloseWindow(wxCloseEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);
    void OnWizardQueue(wxThreadEvent& event);

    void WakeQueue(); // any thread
    void ShowAccessHint();

    std::unique_ptr<COrlixDlg> m_pCore;
    CWizardControls m_controls;

    CWizardStepGate m_gate;

    int m_nBusyCursor = 0;
    bool m_bInitDone = false;
    bool m_bAccessHintShown = false;
};
