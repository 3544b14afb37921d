#include "app/gui/OrlixApp.h"

#include "app/gui/Autopilot.h"
#include "app/gui/WizardDialog.h"

#include <wx/image.h>

#include <cstdlib>
#include <memory>

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
    std::unique_ptr<CWizardDialog> pDlg;
    SAutopilotOptions autopilot;
    const char* pszAutopilot = std::getenv("ORLIX_GUI_AUTOPILOT");
    if (pszAutopilot != nullptr && ParseAutopilot(pszAutopilot, autopilot))
    {
        pDlg = std::make_unique<CAutopilotDialog>(m_strCmdLine, m_strAppName, autopilot);
    }
    else
    {
        pDlg = std::make_unique<CWizardDialog>(m_strCmdLine, m_strAppName);
    }
    const int nStatus = pDlg->RunWizard();
    pDlg.reset();
    return nStatus;
}
