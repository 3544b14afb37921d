// The wizard window as built from its template: controls, sizes, status bar, title, About box.
#include "app/core/Texts.h"
#include "app/core/Version.h"
#include "app/gui/AboutDlg.h"
#include "app/gui/DialogTemplate.h"
#include "target/KernelResources.h"
#include "tests/gui/GuiTestUtil.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>

namespace
{
class WindowLayout : public testing::Test
{
protected:
    void SetUp() override
    {
        m_pDlg = std::make_unique<CTestWizardDialog>("");
        m_pDlg->InitWizard();
        m_pDlg->Show();
        PumpFor(200ms);
    }
    void TearDown() override { m_pDlg.reset(); }

    wxRect DialogRect(const SDialogRect& rc) const
    {
        return wxRect(m_pDlg->ConvertDialogToPixels(wxPoint(rc.x, rc.y)),
                      m_pDlg->ConvertDialogToPixels(wxSize(rc.cx, rc.cy)));
    }

    std::unique_ptr<CTestWizardDialog> m_pDlg;
};

bool HasKind(wxWindow* pWnd, EControlKind kind)
{
    switch (kind)
    {
    case EControlKind::ProgressBar:
        return dynamic_cast<wxGauge*>(pWnd) != nullptr;
    case EControlKind::StaticText:
        return dynamic_cast<wxStaticText*>(pWnd) != nullptr;
    case EControlKind::PushButton:
        return dynamic_cast<wxButton*>(pWnd) != nullptr;
    case EControlKind::StaticIcon:
    case EControlKind::Banner:
        return dynamic_cast<wxStaticBitmap*>(pWnd) != nullptr;
    case EControlKind::GroupBox:
        return dynamic_cast<wxStaticBox*>(pWnd) != nullptr;
    case EControlKind::EtchedLine:
        return dynamic_cast<wxStaticLine*>(pWnd) != nullptr;
    }
    return false;
}
} // namespace

TEST_F(WindowLayout, ControlsSitAtTheirTemplateRectangles)
{
    for (const SControlTemplate& ctl : WizardTemplate().controls)
    {
        if (ctl.nId == IDC_STATIC)
        {
            continue;
        }
        SCOPED_TRACE("control " + std::to_string(ctl.nId));
        wxWindow* pWnd = m_pDlg->GetControl(ctl.nId);
        ASSERT_NE(pWnd, nullptr);
        EXPECT_EQ(pWnd->GetId(), ctl.nId);
        EXPECT_TRUE(HasKind(pWnd, ctl.kind));
        const wxRect expected = DialogRect(ctl.rc);
        EXPECT_EQ(pWnd->GetPosition(), expected.GetPosition());
        if (ctl.kind == EControlKind::StaticIcon)
        {
            // Static icons take their icon's size: 32 for the message line, 16 for the firmware.
            const int nIcon = ctl.nId == IDC_MSGICON ? 32 : 16;
            EXPECT_EQ(pWnd->GetSize(), m_pDlg->FromDIP(wxSize(nIcon, nIcon)));
        }
        else
        {
            EXPECT_EQ(pWnd->GetSize(), expected.GetSize());
        }
    }
    // Alignment of the texts, and what the static texts show before the wizard fills them.
    EXPECT_TRUE(m_pDlg->GetControl(IDC_INFOLINE2)->HasFlag(wxALIGN_CENTRE_HORIZONTAL));
    EXPECT_TRUE(m_pDlg->GetControl(IDC_INFOLINE3)->HasFlag(wxALIGN_CENTRE_HORIZONTAL));
    EXPECT_FALSE(m_pDlg->GetControl(IDC_INFOLINE1)->HasFlag(wxALIGN_CENTRE_HORIZONTAL));
    EXPECT_FALSE(m_pDlg->GetControl(IDC_FWSTATUS)->HasFlag(wxALIGN_CENTRE_HORIZONTAL));
}

TEST_F(WindowLayout, BannerAndEtchedLineSpanTheTop)
{
    wxWindow* pBanner = m_pDlg->GetBanner();
    ASSERT_NE(pBanner, nullptr);
    const int nBannerHeight = m_pDlg->ConvertDialogToPixels(wxSize(0, 49)).y;
    EXPECT_EQ(pBanner->GetRect(), wxRect(0, 0, m_pDlg->GetClientSize().x, nBannerHeight));
    auto* pBannerBitmap = dynamic_cast<wxStaticBitmap*>(pBanner);
    ASSERT_NE(pBannerBitmap, nullptr);
    const wxBitmap bitmap = pBannerBitmap->GetBitmap();
    ASSERT_TRUE(bitmap.IsOk());
    EXPECT_EQ(bitmap.GetSize(), pBanner->GetSize());
    bool bLineFound = false;
    for (wxWindow* pChild : m_pDlg->GetChildren())
    {
        if (dynamic_cast<wxStaticLine*>(pChild) != nullptr)
        {
            bLineFound = true;
            EXPECT_EQ(pChild->GetPosition().y, nBannerHeight);
            EXPECT_EQ(pChild->GetSize().x, m_pDlg->GetClientSize().x);
        }
    }
    EXPECT_TRUE(bLineFound);
}

TEST_F(WindowLayout, WindowIsFixedWithCloseBoxAndTitle)
{
    EXPECT_EQ(m_pDlg->GetTitle().utf8_string(), ORLIX_DIALOG_TITLE);
    EXPECT_TRUE(m_pDlg->HasFlag(wxCLOSE_BOX));
    EXPECT_TRUE(m_pDlg->HasFlag(wxCAPTION));
    EXPECT_FALSE(m_pDlg->HasFlag(wxRESIZE_BORDER));
    EXPECT_FALSE(m_pDlg->HasFlag(wxMINIMIZE_BOX));
    EXPECT_FALSE(m_pDlg->HasFlag(wxMAXIMIZE_BOX));
    EXPECT_EQ(m_pDlg->GetMinSize(), m_pDlg->GetSize());
    EXPECT_EQ(m_pDlg->GetMaxSize(), m_pDlg->GetSize());
    const wxSize client = m_pDlg->GetClientSize();
    EXPECT_EQ(client.x, m_pDlg->ConvertDialogToPixels(wxSize(268, 0)).x);
    EXPECT_GE(client.y, m_pDlg->ConvertDialogToPixels(wxSize(0, 225)).y);
    EXPECT_TRUE(m_pDlg->GetIcons().GetIconCount() >= 2);
}

TEST_F(WindowLayout, StatusBarHasThreePanesAlongTheBottomWithoutGrip)
{
    wxStatusBar* pBar = m_pDlg->GetStatusBarCtrl();
    ASSERT_NE(pBar, nullptr);
    EXPECT_FALSE(pBar->HasFlag(wxSTB_SIZEGRIP));
    ASSERT_EQ(pBar->GetFieldsCount(), 3);
    const wxSize client = m_pDlg->GetClientSize();
    EXPECT_EQ(pBar->GetRect(), wxRect(0, client.y - pBar->GetSize().y, client.x, pBar->GetSize().y));
    EXPECT_EQ(pBar->GetStatusWidth(0), static_cast<int>(client.x * 0.6));
    EXPECT_EQ(pBar->GetStatusWidth(1), static_cast<int>(client.x * 0.25));
    EXPECT_EQ(pBar->GetStatusWidth(2), -1); // the rest
    // It lies over the bottom of the client area, never over the bottom row.
    EXPECT_GT(pBar->GetPosition().y, m_pDlg->GetControl(IDC_ACTION)->GetRect().GetBottom());
    // The welcome page without a command-line firmware leaves all panes empty.
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(pBar->GetStatusText(i), wxString()) << "pane " << i;
    }
}

TEST(AboutBox, NamesProductAndVersionAndTheStandInKernels)
{
    EXPECT_EQ(AboutSecondLine(false), ORLIX_ABOUT_TEXT2);
    const std::string strWithNotice = AboutSecondLine(true);
    EXPECT_EQ(strWithNotice.rfind(ORLIX_ABOUT_TEXT2, 0), 0u);
    EXPECT_NE(strWithNotice.find("stand-in flash kernels"), std::string::npos);

    CAboutDlg dlg(nullptr);
    EXPECT_EQ(dlg.GetTitle().utf8_string(), ORLIX_ABOUT_TITLE);
    auto* pLine1 = dynamic_cast<wxStaticText*>(dlg.FindWindow(IDC_ABOUT_LINE1));
    auto* pLine2 = dynamic_cast<wxStaticText*>(dlg.FindWindow(IDC_ABOUT_LINE2));
    auto* pOk = dlg.FindWindow(wxID_OK);
    ASSERT_NE(pLine1, nullptr);
    ASSERT_NE(pLine2, nullptr);
    ASSERT_NE(pOk, nullptr);
    const std::string strText1 = pLine1->GetLabelText().utf8_string();
    EXPECT_NE(strText1.find(ORLIX_PRODUCT_NAME), std::string::npos);
    EXPECT_NE(strText1.find(ORLIX_VERSION), std::string::npos);
    const std::string strText2 = pLine2->GetLabelText().utf8_string();
    EXPECT_EQ(strText2.find("stand-in") != std::string::npos, KernelsAreStandIns()) << strText2;
    // Every text fits the box, left of OK, however it wrapped.
    const wxRect client(dlg.GetClientSize());
    for (wxWindow* pWnd : {static_cast<wxWindow*>(pLine1), static_cast<wxWindow*>(pLine2), pOk})
    {
        EXPECT_TRUE(client.Contains(pWnd->GetRect())) << pWnd->GetLabel();
    }
    EXPECT_LT(pLine1->GetRect().GetRight(), pOk->GetRect().GetLeft());
    EXPECT_LT(pLine2->GetRect().GetRight(), pOk->GetRect().GetLeft());
    EXPECT_FALSE(pLine1->GetRect().Intersects(pLine2->GetRect()));
    EXPECT_GE(client.height, dlg.ConvertDialogToPixels(wxSize(0, 55)).y);
    dlg.Show();
    EXPECT_EQ(CheckAndSaveShot(&dlg, CaptureClientArea(&dlg), "about"), "");
}
