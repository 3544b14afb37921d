// The wizard's and the About box's templates: every control present once, inside the
// dialog, and arranged so that nothing the wizard shows together overlaps.
#include "app/gui/DialogTemplate.h"
#include "app/core/WizardView.h"

#include <gtest/gtest.h>

#include <set>

namespace
{
const SDialogRect& Rect(int nId)
{
    const SControlTemplate* pCtl = FindControl(WizardTemplate(), nId);
    EXPECT_NE(pCtl, nullptr) << "control " << nId;
    static const SDialogRect none;
    return pCtl != nullptr ? pCtl->rc : none;
}

bool Overlap(const SDialogRect& a, const SDialogRect& b)
{
    return a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy;
}

bool Inside(const SDialogRect& inner, const SDialogRect& outer)
{
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.cx <= outer.x + outer.cx &&
           inner.y + inner.cy <= outer.y + outer.cy;
}

int Index(int nId)
{
    const auto& controls = WizardTemplate().controls;
    for (size_t i = 0; i < controls.size(); ++i)
    {
        if (controls[i].nId == nId)
        {
            return static_cast<int>(i);
        }
    }
    return -1;
}
} // namespace

TEST(WizardTemplate, HoldsEveryControlOnceInsideTheDialog)
{
    const SDialogTemplate& tmpl = WizardTemplate();
    EXPECT_EQ(tmpl.cx, 268);
    EXPECT_EQ(tmpl.cy, 225);
    std::set<int> ids;
    int nStatic = 0;
    for (const SControlTemplate& ctl : tmpl.controls)
    {
        if (ctl.nId == IDC_STATIC)
        {
            ++nStatic;
        }
        else
        {
            EXPECT_TRUE(ids.insert(ctl.nId).second) << "duplicate id " << ctl.nId;
        }
        EXPECT_GT(ctl.rc.cx, 0);
        EXPECT_GT(ctl.rc.cy, 0);
        EXPECT_TRUE(Inside(ctl.rc, SDialogRect{0, 0, tmpl.cx, tmpl.cy})) << "control " << ctl.nId;
    }
    EXPECT_EQ(nStatic, 2); // banner and etched line
    const std::set<int> expected = {IDC_PROGRESS,  IDC_INFOLINE1, IDC_ACTION,  IDC_INFOLINE2,
                                    IDC_INFOLINE3, IDC_MSGICON,   IDC_YES,     IDC_NO,
                                    IDC_FWGROUP,   IDC_FWICON,    IDC_FWSTATUS};
    EXPECT_EQ(ids, expected);
}

TEST(WizardTemplate, BottomRowHoldsProgressActionAndYesNoInOnePlace)
{
    const SDialogRect& progress = Rect(IDC_PROGRESS);
    const SDialogRect& action = Rect(IDC_ACTION);
    const SDialogRect& yes = Rect(IDC_YES);
    const SDialogRect& no = Rect(IDC_NO);
    // One of them is shown at a time, in the same place.
    EXPECT_TRUE(Overlap(progress, action));
    EXPECT_TRUE(Overlap(progress, yes));
    EXPECT_TRUE(Overlap(progress, no));
    EXPECT_FALSE(Overlap(yes, no));
    // Centred in the dialog: the action button alone and the Yes/No pair together.
    const int nCentre2 = WizardTemplate().cx;
    EXPECT_EQ(2 * action.x + action.cx, nCentre2);
    EXPECT_EQ(yes.x + no.x + no.cx, nCentre2);
}

TEST(WizardTemplate, PageAreasDoNotOverlap)
{
    const SDialogRect& group = Rect(IDC_FWGROUP);
    EXPECT_TRUE(Inside(Rect(IDC_INFOLINE1), group));
    EXPECT_TRUE(Inside(Rect(IDC_FWSTATUS), group));
    EXPECT_FALSE(Overlap(Rect(IDC_INFOLINE1), Rect(IDC_FWSTATUS)));
    // Message icon, message line, detail line and bottom row follow each other downwards.
    const SDialogRect& icon = Rect(IDC_MSGICON);
    const SDialogRect& message = Rect(IDC_INFOLINE2);
    const SDialogRect& detail = Rect(IDC_INFOLINE3);
    EXPECT_GE(icon.y, group.y + group.cy);
    EXPECT_LE(icon.y + icon.cy, message.y);
    EXPECT_LE(message.y + message.cy, detail.y);
    EXPECT_LE(detail.y + detail.cy, Rect(IDC_ACTION).y);
    EXPECT_LE(detail.y + detail.cy, Rect(IDC_PROGRESS).y);
    // Banner on top, the etched line right below it, the group below the line.
    const auto& controls = WizardTemplate().controls;
    const SControlTemplate& banner = controls[static_cast<size_t>(Index(IDC_PROGRESS) + 1)];
    const SControlTemplate& line = controls[static_cast<size_t>(Index(IDC_PROGRESS) + 2)];
    ASSERT_EQ(banner.kind, EControlKind::Banner);
    ASSERT_EQ(line.kind, EControlKind::EtchedLine);
    EXPECT_EQ(line.rc.y, banner.rc.y + banner.rc.cy);
    EXPECT_GT(group.y, line.rc.y);
}

TEST(WizardTemplate, TabOrderStartsWithTheActionButton)
{
    // The first control that takes the focus is the action button, then Yes and No.
    int nFirstButton = -1;
    for (size_t i = 0; i < WizardTemplate().controls.size(); ++i)
    {
        if (WizardTemplate().controls[i].kind == EControlKind::PushButton)
        {
            nFirstButton = static_cast<int>(i);
            break;
        }
    }
    EXPECT_EQ(nFirstButton, Index(IDC_ACTION));
    EXPECT_LT(Index(IDC_ACTION), Index(IDC_YES));
    EXPECT_LT(Index(IDC_YES), Index(IDC_NO));
}

TEST(WizardTemplate, LookupIgnoresUnnamedAndUnknownIds)
{
    EXPECT_EQ(FindControl(WizardTemplate(), IDC_STATIC), nullptr);
    EXPECT_EQ(FindControl(WizardTemplate(), 4711), nullptr);
    EXPECT_EQ(FindControl(AboutTemplate(), IDC_ACTION), nullptr);
}

TEST(AboutTemplate, TextsStayLeftOfTheOkButton)
{
    const SDialogTemplate& tmpl = AboutTemplate();
    EXPECT_EQ(tmpl.cx, 235);
    EXPECT_EQ(tmpl.cy, 55);
    const SControlTemplate* pOk = FindControl(tmpl, IDOK_ABOUT);
    ASSERT_NE(pOk, nullptr);
    for (const int nId : {IDC_ABOUT_ICON, IDC_ABOUT_LINE1, IDC_ABOUT_LINE2})
    {
        const SControlTemplate* pCtl = FindControl(tmpl, nId);
        ASSERT_NE(pCtl, nullptr);
        EXPECT_LE(pCtl->rc.x + pCtl->rc.cx, pOk->rc.x);
        EXPECT_TRUE(Inside(pCtl->rc, SDialogRect{0, 0, tmpl.cx, tmpl.cy}));
    }
    EXPECT_TRUE(Inside(pOk->rc, SDialogRect{0, 0, tmpl.cx, tmpl.cy}));
}
