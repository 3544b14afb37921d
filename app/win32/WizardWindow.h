#pragma once
// The wizard as a native Win32 dialog from the IDD_WIZARD template: controls, status bar,
// system menu with the About box, keyboard and close handling, and the queue through which
// worker threads reach the dialog's thread. The wizard's logic is the core's (WizardCore.h).
#include "app/core/WizardView.h"
#include "app/win32/WizardCore.h"

#include <windows.h>
// The core's names, not the Win32 macros: IWizardView::MessageBox and the Yes/No button ids
// (winuser.h has cursors of those names).
#undef MessageBox
#undef IDC_YES
#undef IDC_NO

#include "app/core/WizardMessageQueue.h"
#include <array>
#include <atomic>
#include <cstdint>

#include <deque>
#include <memory>
#include <mutex>
#include <string>

// Status bar panes: 60 % and 25 % of the client width, the third takes the rest.
inline constexpr int WIZARD_STATUS_PANES = 3;

class CWizardWindow : public IWizardView
{
public:
    CWizardWindow(HINSTANCE hInstance, const std::string& strCmdLine, const std::string& strAppName);
    ~CWizardWindow() override;
    CWizardWindow(const CWizardWindow&) = delete;
    CWizardWindow& operator=(const CWizardWindow&) = delete;

    // Runs the dialog modally until the wizard ends; the process's exit status.
    int Run();

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

private:
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT nMsg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK MessageFilter(int nCode, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam);

    void OnInitDialog(HWND hDlg);
    void CreateStatusBar();
    void FitBanner();
    void LoadWindowIcons();
    void OnDpiChanged();
    void LayoutStatusBar();
    void ShowStatusPane(int nPane);
    void AddAboutItem();
    void ShowAboutBox();
    void OnButton(int nId);
    void OnCloseRequest();

    void WakeQueue(); // any thread
    void UpdateFocus();

    HICON LoadOwnIcon(int nResId, int nSize);
    UINT Dpi() const;
    int ScaleForDpi(int nPixels) const;
    HWND Control(int nId) const { return GetDlgItem(m_hDlg, nId); }

    HINSTANCE m_hInstance;
    HWND m_hDlg = nullptr;
    HWND m_hStatusBar = nullptr;
    std::atomic<HWND> m_hQueueTarget{nullptr}; // the dialog while it accepts queued messages
    std::unique_ptr<CWizardCore> m_pCore;

    // Icons this window loaded and must destroy.
    HICON m_hIconBig = nullptr;
    HICON m_hIconSmall = nullptr;
    HICON m_hStockInfo = nullptr;
    HICON m_hStockWarning = nullptr;
    HICON m_hFwInfo = nullptr;
    HICON m_hFwWarning = nullptr;
    HBITMAP m_hBanner = nullptr; // the banner at the size of its control
    // What the two icon controls show, to show it again at a new DPI.
    EViewIcon m_msgIcon = EViewIcon::None;
    EViewIcon m_fwIcon = EViewIcon::None;
    std::array<std::wstring, 3> m_paneTexts; // the status panes' full texts

    CWizardStepGate m_gate;

    int m_nProgressLower = 0;
    int m_nWaitCursor = 0;
    HCURSOR m_hCursorBeforeWait = nullptr;
};
