#pragma once
// The wizard window's controls: built on the dialog from the template's rectangles in dialog
// units, with the status bar along the bottom, and then addressed by their template ids.
#include "app/core/WizardView.h"

#include <wx/font.h>

#include <map>
#include <string>

class wxDialog;
class wxStatusBar;
class wxWindow;

// The font of the wizard window and the About box; the dialog units follow it.
wxFont DialogFont();

class CWizardControls
{
public:
    // Every control of the template and the status bar on dlg, whose font and client size
    // are set. The client area grows should the status bar not fit under the bottom row.
    void Create(wxDialog& dlg);

    // The control with a template id (IDC_...), or nullptr.
    wxWindow* Get(int nId) const;
    wxStatusBar* StatusBar() const { return m_pStatusBar; }

    void SetText(int nId, const std::string& strText);
    void SetIcon(int nId, EViewIcon icon);
    void SetProgressRange(int nLower, int nUpper);
    void SetProgressPos(int nPos);
    // Panes 0, 1, 2; other numbers are ignored.
    void SetStatusPane(int nPane, const std::string& strText);

private:
    void CreateStatusBar(wxDialog& dlg);

    std::map<int, wxWindow*> m_controls; // owned by the dialog, as its children
    wxStatusBar* m_pStatusBar = nullptr;
    int m_nProgressLower = 0;
};
