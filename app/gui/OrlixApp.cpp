#include "app/gui/OrlixApp.h"

#include "app/core/KernelInfo.h"
#include "app/gui/WizardDialog.h"
#include "app/gui/WxText.h"

#include <wx/image.h>
#include <wx/msgdlg.h>

#include <iostream>

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
    // Kernel files the user asked for, or put in a kernel folder, that cannot be used end the
    // program before any unit is touched; the built-in kernels are no silent substitute.
    std::string strKernelError;
    if (!LoadKernelsForCommandLine(m_strCmdLine, strKernelError))
    {
        std::cerr << m_strAppName << ": " << strKernelError << "\n";
        wxMessageBox(FromNarrow(strKernelError), FromNarrow(m_strAppName), wxOK | wxICON_ERROR);
        return 1;
    }
    // A top-level window: destroyed here, before the toolkit shuts down.
    CWizardDialog dlg(m_strCmdLine, m_strAppName);
    return dlg.RunWizard();
}
