#include "app/gui/WizardControls.h"

#include "app/gui/Artwork.h"
#include "app/gui/DialogTemplate.h"
#include "app/gui/WxText.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/settings.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>

#include <algorithm>

namespace
{
// The message line's stock icons and the firmware status icons, in pixels at 100 %.
constexpr int MESSAGE_ICON_SIZE = 32;
constexpr int SMALL_ICON_SIZE = 16;

constexpr int DIALOG_FONT_POINTS = 8;

// Status bar panes: 60 % and 25 % of the client width, the third takes the rest.
constexpr int STATUS_PANES = 3;

wxWindow* CreateControl(wxDialog& dlg, const SControlTemplate& ctl)
{
    const wxPoint pos = dlg.ConvertDialogToPixels(wxPoint(ctl.rc.x, ctl.rc.y));
    const wxSize size = dlg.ConvertDialogToPixels(wxSize(ctl.rc.cx, ctl.rc.cy));
    const int nClientWidth = dlg.GetClientSize().x;
    const wxWindowID id = ctl.nId == IDC_STATIC ? wxID_ANY : ctl.nId;
    const wxString strText = wxString::FromUTF8(ctl.pszText);
    switch (ctl.kind)
    {
    case EControlKind::ProgressBar:
        return new wxGauge(&dlg, id, 100, pos, size, wxGA_HORIZONTAL | wxGA_SMOOTH);
    case EControlKind::Banner:
    {
        // The banner spans the window; its height is the template's, so the etched line
        // sits right below it whatever the font.
        const wxSize bannerSize(nClientWidth, size.y);
        return new wxStaticBitmap(&dlg, id, BannerBitmap(bannerSize), pos, bannerSize);
    }
    case EControlKind::EtchedLine:
        return new wxStaticLine(&dlg, id, pos, wxSize(nClientWidth, -1), wxLI_HORIZONTAL);
    case EControlKind::StaticText:
    {
        const long nAlign = ctl.align == ETextAlign::Centre ? wxALIGN_CENTRE_HORIZONTAL : wxALIGN_LEFT;
        auto* pText = new wxStaticText(&dlg, id, wxString(), pos, size, nAlign | wxST_NO_AUTORESIZE);
        pText->SetLabelText(strText);
        return pText;
    }
    case EControlKind::PushButton:
        return new wxButton(&dlg, id, strText, pos, size);
    case EControlKind::StaticIcon:
    {
        // Like a static icon control, the control takes the size of its icon.
        const int nIcon = ctl.nId == IDC_MSGICON ? MESSAGE_ICON_SIZE : SMALL_ICON_SIZE;
        return new wxStaticBitmap(&dlg, id, wxBitmapBundle(), pos, dlg.FromDIP(wxSize(nIcon, nIcon)));
    }
    case EControlKind::GroupBox:
        return new wxStaticBox(&dlg, id, strText, pos, size);
    }
    return nullptr;
}
} // namespace

wxFont DialogFont()
{
    // The template was drawn for an 8-point dialog font: the platform's interface face at
    // that size keeps the proportions of texts, controls and banner.
    wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    font.SetPointSize(DIALOG_FONT_POINTS);
    return font;
}

void CWizardControls::Create(wxDialog& dlg)
{
    for (const SControlTemplate& ctl : WizardTemplate().controls)
    {
        wxWindow* pWnd = CreateControl(dlg, ctl);
        if (pWnd != nullptr && ctl.nId != IDC_STATIC)
        {
            m_controls[ctl.nId] = pWnd;
        }
    }
    CreateStatusBar(dlg);
}

void CWizardControls::CreateStatusBar(wxDialog& dlg)
{
    m_pStatusBar =
        new wxStatusBar(&dlg, wxID_ANY, wxSTB_SHOW_TIPS | wxSTB_ELLIPSIZE_MIDDLE | wxFULL_REPAINT_ON_RESIZE);
    wxSize client = dlg.GetClientSize();
    const int nBarHeight =
        std::max(m_pStatusBar->GetBestSize().y, m_pStatusBar->GetCharHeight() + dlg.FromDIP(10));
    // The bar lies over the bottom of the client area, as the template expects. Should this
    // platform's bar be so tall that it would cover the bottom row, the window grows instead.
    const SControlTemplate* pAction = FindControl(WizardTemplate(), IDC_ACTION);
    const int nRowBottom = dlg.ConvertDialogToPixels(wxPoint(0, pAction->rc.y + pAction->rc.cy)).y;
    const int nGap = dlg.ConvertDialogToPixels(wxPoint(0, 2)).y;
    if (client.y - nBarHeight < nRowBottom + nGap)
    {
        client.y = nRowBottom + nGap + nBarHeight;
        dlg.SetClientSize(client);
    }
    m_pStatusBar->SetSize(0, client.y - nBarHeight, client.x, nBarHeight);
    const int widths[STATUS_PANES] = {static_cast<int>(client.x * 0.6), static_cast<int>(client.x * 0.25),
                                      -1};
    m_pStatusBar->SetFieldsCount(STATUS_PANES, widths);
    const int styles[STATUS_PANES] = {wxSB_SUNKEN, wxSB_SUNKEN, wxSB_SUNKEN};
    m_pStatusBar->SetStatusStyles(STATUS_PANES, styles);
    // Fixed size: the template is laid out once.
    dlg.SetMinSize(dlg.GetSize());
    dlg.SetMaxSize(dlg.GetSize());
}

wxWindow* CWizardControls::Get(int nId) const
{
    const auto it = m_controls.find(nId);
    return it == m_controls.end() ? nullptr : it->second;
}

void CWizardControls::SetText(int nId, const std::string& strText)
{
    wxWindow* pWnd = Get(nId);
    if (pWnd == nullptr)
    {
        return;
    }
    const wxString str = FromNarrow(strText);
    if (auto* pText = dynamic_cast<wxStaticText*>(pWnd))
    {
        // Port names and firmware names may hold '&'; static texts show it as it is.
        pText->SetLabelText(str);
    }
    else
    {
        pWnd->SetLabel(str);
    }
}

void CWizardControls::SetIcon(int nId, EViewIcon icon)
{
    auto* pBitmap = dynamic_cast<wxStaticBitmap*>(Get(nId));
    if (pBitmap == nullptr)
    {
        return;
    }
    const wxSize messageSize(MESSAGE_ICON_SIZE, MESSAGE_ICON_SIZE);
    switch (icon)
    {
    case EViewIcon::StockInformation:
        pBitmap->SetBitmap(wxArtProvider::GetBitmapBundle(wxART_INFORMATION, wxART_MESSAGE_BOX, messageSize));
        break;
    case EViewIcon::StockExclamation:
        pBitmap->SetBitmap(wxArtProvider::GetBitmapBundle(wxART_WARNING, wxART_MESSAGE_BOX, messageSize));
        break;
    case EViewIcon::FwInfo:
    case EViewIcon::FwWarning:
        pBitmap->SetBitmap(FirmwareIconBundle(icon));
        break;
    case EViewIcon::None:
        pBitmap->SetBitmap(wxBitmapBundle());
        break;
    }
}

void CWizardControls::SetProgressRange(int nLower, int nUpper)
{
    if (auto* pGauge = dynamic_cast<wxGauge*>(Get(IDC_PROGRESS)))
    {
        m_nProgressLower = nLower;
        pGauge->SetRange(std::max(1, nUpper - nLower));
    }
}

void CWizardControls::SetProgressPos(int nPos)
{
    if (auto* pGauge = dynamic_cast<wxGauge*>(Get(IDC_PROGRESS)))
    {
        pGauge->SetValue(std::clamp(nPos - m_nProgressLower, 0, pGauge->GetRange()));
    }
}

void CWizardControls::SetStatusPane(int nPane, const std::string& strText)
{
    if (m_pStatusBar != nullptr && nPane >= 0 && nPane < STATUS_PANES)
    {
        m_pStatusBar->SetStatusText(FromNarrow(strText), nPane);
    }
}
