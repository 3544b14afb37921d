#pragma once
// The About box: the application icon, product and version, and OK.
#include <wx/dialog.h>

#include <string>

class CAboutDlg : public wxDialog
{
public:
    explicit CAboutDlg(wxWindow* pParent);
};

// The About box's second line: the product's description, and, in a build with stand-in
// flash kernels, a sentence saying so.
std::string AboutSecondLine(bool bStandInKernels);
