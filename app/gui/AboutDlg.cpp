#include "app/gui/AboutDlg.h"

#include "app/core/Version.h"
#include "app/gui/Artwork.h"
#include "app/gui/DialogTemplate.h"
#include "app/gui/WizardControls.h"
#include "app/gui/WxText.h"
#include "target/KernelResources.h"

#include <wx/button.h>
#include <wx/settings.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace
{
// Space kept between the texts and the OK button, and at the bottom, in dialog units.
constexpr int TEXT_RIGHT_MARGIN = 6;
constexpr int BOTTOM_MARGIN = 7;
} // namespace

std::string AboutSecondLine(bool bStandInKernels)
{
    std::string strLine = ORLIX_ABOUT_TEXT2;
    if (bStandInKernels)
    {
        std::string strNotice = STAND_IN_KERNEL_NOTICE;
        if (!strNotice.empty())
        {
            strNotice[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(strNotice[0])));
        }
        strLine += ".\n" + strNotice + ".";
    }
    return strLine;
}

CAboutDlg::CAboutDlg(wxWindow* pParent) : wxDialog(pParent, wxID_ANY, FromNarrow(ORLIX_ABOUT_TITLE))
{
    SetFont(DialogFont());
    const SDialogTemplate& tmpl = AboutTemplate();
    const SControlTemplate* pIcon = FindControl(tmpl, IDC_ABOUT_ICON);
    const SControlTemplate* pLine1 = FindControl(tmpl, IDC_ABOUT_LINE1);
    const SControlTemplate* pLine2 = FindControl(tmpl, IDC_ABOUT_LINE2);
    const SControlTemplate* pOk = FindControl(tmpl, IDOK_ABOUT);
    auto toPixels = [this](int x, int y) { return ConvertDialogToPixels(wxPoint(x, y)); };
    auto sizeToPixels = [this](int cx, int cy) { return ConvertDialogToPixels(wxSize(cx, cy)); };

    new wxStaticBitmap(this, IDC_ABOUT_ICON, AppIconBundle(32), toPixels(pIcon->rc.x, pIcon->rc.y),
                       FromDIP(wxSize(32, 32)));

    // The texts may run up to the OK button; a line that does not fit there wraps and the
    // box grows downwards, so no word is ever cut off.
    const int nTextWidth = ConvertDialogToPixels(wxSize(pOk->rc.x - TEXT_RIGHT_MARGIN - pLine1->rc.x, 0)).x;
    auto* pText1 = new wxStaticText(this, IDC_ABOUT_LINE1, wxString(), toPixels(pLine1->rc.x, pLine1->rc.y));
    pText1->SetLabelText(FromNarrow(ORLIX_ABOUT_TEXT1));
    pText1->Wrap(nTextWidth);
    const int nLine2Top = std::max(toPixels(0, pLine2->rc.y).y, pText1->GetRect().GetBottom() + 1);
    auto* pText2 =
        new wxStaticText(this, IDC_ABOUT_LINE2, wxString(), wxPoint(toPixels(pLine2->rc.x, 0).x, nLine2Top));
    pText2->SetLabelText(FromNarrow(AboutSecondLine(KernelsAreStandIns())));
    pText2->Wrap(nTextWidth);
    pText2->SetSize(pText2->GetBestSize());

    auto* pButton = new wxButton(this, wxID_OK, wxString::FromUTF8(pOk->pszText),
                                 toPixels(pOk->rc.x, pOk->rc.y), sizeToPixels(pOk->rc.cx, pOk->rc.cy));
    pButton->SetDefault();
    pButton->SetFocus();

    wxSize client = sizeToPixels(tmpl.cx, tmpl.cy);
    client.y = std::max(client.y, pText2->GetRect().GetBottom() + 1 + sizeToPixels(0, BOTTOM_MARGIN).y);
    SetClientSize(client);
    CentreOnParent();
}
