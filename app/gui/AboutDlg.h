#pragma once
// The About box: the application icon, product and version, and OK.
#include <wx/dialog.h>

#include <string>

class CAboutDlg : public wxDialog
{
public:
    explicit CAboutDlg(wxWindow* pParent);
};

// The About box's second line: the product's description and which flash kernels are in use.
std::string AboutSecondLine();
