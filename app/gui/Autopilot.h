#pragma once
// A wizard window that operates itself, for tests of the whole program under a virtual X
// server. Switched on by the environment variable ORLIX_GUI_AUTOPILOT, a comma-separated list:
//   click       press the action button each time a page shows it (after the page settled)
//   yes | no    answer the Yes/No question that way (default: no question is answered)
//   close-busy  once, while the programming runs, ask the window to close
// Message boxes are written to stderr and dismissed after a moment; every page is logged to
// stderr as it appears. Nothing of this is reachable without the variable.
#include "app/gui/WizardDialog.h"

#include <wx/timer.h>

#include <chrono>
#include <string>

struct SAutopilotOptions
{
    bool bClick = false;
    int nAnswer = -1; // IDC_YES, IDC_NO, or -1
    bool bCloseWhileBusy = false;
};

// The options named by the variable's value; false when it is empty (no autopilot).
bool ParseAutopilot(const std::string& strValue, SAutopilotOptions& options);

class CAutopilotDialog : public CWizardDialog
{
public:
    CAutopilotDialog(const std::string& strCmdLine, const std::string& strAppName, SAutopilotOptions options);
    ~CAutopilotDialog() override;

protected:
    void DoMessageBox(const wxString& strText, const wxString& strCaption, long nStyle) override;

private:
    void OnTick(wxTimerEvent& event);
    std::string PageSignature() const;
    void Press(int nId);

    SAutopilotOptions m_options;
    wxTimer m_timer;
    std::string m_strPage;
    std::chrono::steady_clock::time_point m_pageSince;
    bool m_bCloseRequested = false;
};
