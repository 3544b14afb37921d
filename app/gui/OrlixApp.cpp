#include "app/gui/OrlixApp.h"

#include "app/gui/WizardDialog.h"

#include <wx/image.h>

COrlixApp::COrlixApp(std::string strCmdLine, std::string strAppName)
    : m_strCmdLine(std::move(strCmdLine)), m_strAppName(std::move(strAppName))
{
}

bool COrlixApp::OnInit()
{
    SetAppName("orlix");
    SetAppDisplayName("Orlix");
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr)
    {
        wxImage::AddHandler(new wxPNGHandler);
    }
    return true;
}

int COrlixApp::OnRun()
{
    // A top-level window: destroyed here, before the toolkit shuts down.
    CWizardDialog dlg(m_strCmdLine, m_strAppName);
    return dlg.RunWizard();
}
