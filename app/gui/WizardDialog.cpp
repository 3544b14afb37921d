#include "app/gui/WizardDialog.h"

#include "app/gui/Artwork.h"
#include "app/gui/DialogTemplate.h"
#include "app/gui/FileFilter.h"
#include "app/gui/WxText.h"

#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

CWizardDialog::CWizardDialog(const std::string& strCmdLine, const std::string& strAppName,
                             std::optional<SWorkerProcs> procs)
    : m_gate({[this] { WakeQueue(); }, [this](const SWizardMessage& msg) { m_pCore->HandleMessage(msg); },
              [this] { Close(); }, [this] { ShowAccessHint(); }})
{
    // Fixed size, close box, no minimize or maximize box; a task-bar entry of its own.
    Create(nullptr, wxID_ANY, FromNarrow(COrlixDlg::GetDialogTitle()), wxDefaultPosition, wxDefaultSize,
           wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxDIALOG_NO_PARENT);
    SetFont(DialogFont());
    const SDialogTemplate& tmpl = WizardTemplate();
    SetClientSize(ConvertDialogToPixels(wxSize(tmpl.cx, tmpl.cy)));
    m_controls.Create(*this);
    SetIcons(AppIcons());
    CreateAboutCommands();
    BindEvents();

    m_pCore =
        procs ? std::make_unique<COrlixDlg>(*this, std::move(*procs)) : std::make_unique<COrlixDlg>(*this);
    m_pCore->SetAppName(strAppName);
    m_pCore->ParseCommandLine(strCmdLine);
}

CWizardDialog::~CWizardDialog()
{
    m_gate.End();
    // The worker stops and is joined while every control and the queue still exist; what it
    // posts meanwhile is dropped with the queue.
    m_pCore.reset();
    while (m_nBusyCursor > 0)
    {
        --m_nBusyCursor;
        wxEndBusyCursor();
    }
}

void CWizardDialog::SetControlText(int nId, const std::string& strText)
{
    m_controls.SetText(nId, strText);
}

void CWizardDialog::SetControlIcon(int nId, EViewIcon icon)
{
    m_controls.SetIcon(nId, icon);
}

void CWizardDialog::ShowControl(int nId, bool bShow)
{
    wxWindow* pWnd = m_controls.Get(nId);
    if (pWnd == nullptr)
    {
        return;
    }
    pWnd->Show(bShow);
    // A button loses the keyboard focus while its row is hidden; the row's first button takes
    // it back when the row shows again, so Space presses it without a Tab first.
    if (bShow && (nId == IDC_ACTION || nId == IDC_YES))
    {
        pWnd->SetFocus();
    }
}

void CWizardDialog::SetProgressRange(int nLower, int nUpper)
{
    m_controls.SetProgressRange(nLower, nUpper);
}

void CWizardDialog::SetProgressPos(int nPos)
{
    m_controls.SetProgressPos(nPos);
}

void CWizardDialog::PlaySound(EViewSound)
{
    // The portable minimum; silent where the system has no bell or sound device.
    wxBell();
}

void CWizardDialog::MessageBox(const std::string& strText, const std::string& strCaption, EMsgBoxIcon icon)
{
    const long nStyle = wxOK | (icon == EMsgBoxIcon::Information ? wxICON_INFORMATION : wxICON_EXCLAMATION);
    DoMessageBox(FromNarrow(strText), FromNarrow(strCaption), nStyle);
}

void CWizardDialog::DoMessageBox(const wxString& strText, const wxString& strCaption, long nStyle)
{
    // Before the window is shown (a command-line file that cannot be opened) the box stands
    // on its own.
    wxMessageBox(strText, strCaption, nStyle, IsShown() ? this : nullptr);
}

bool CWizardDialog::OpenFileDialog(const std::string& strInitialName, const std::string& strFilter,
                                   std::string& strPath)
{
    const std::string strWildcard = ConvertFileFilter(strFilter);
    const wxString wildcard =
        strWildcard.empty() ? wxString(wxFileSelectorDefaultWildcardStr) : FromNarrow(strWildcard);
    wxString strChosen;
    if (!DoOpenFileDialog(PathFromNarrow(strInitialName), wildcard, strChosen) || strChosen.empty())
    {
        return false;
    }
    strPath = PathToNarrow(strChosen);
    return true;
}

bool CWizardDialog::DoOpenFileDialog(const wxString& strInitialPath, const wxString& strWildcard,
                                     wxString& strPath)
{
    const wxFileName initial(strInitialPath);
    wxFileDialog dlg(this, wxFileSelectorPromptStr, strInitialPath.empty() ? wxString() : initial.GetPath(),
                     initial.GetFullName(), strWildcard, wxFD_OPEN);
    dlg.SetFilterIndex(0);
    if (dlg.ShowModal() != wxID_OK)
    {
        return false;
    }
    strPath = dlg.GetPath();
    return true;
}

void CWizardDialog::BeginWaitCursor()
{
    ++m_nBusyCursor;
    wxBeginBusyCursor();
}

void CWizardDialog::EndWaitCursor()
{
    if (m_nBusyCursor > 0)
    {
        --m_nBusyCursor;
        wxEndBusyCursor();
    }
}

void CWizardDialog::SetStatusPane(int nPane, const std::string& strText)
{
    m_controls.SetStatusPane(nPane, strText);
}

void CWizardDialog::EndDialog()
{
    m_gate.End();
    if (IsModal())
    {
        EndModal(wxID_CLOSE);
    }
    else if (IsShown())
    {
        Hide();
    }
}
