#include "app/gui/DialogTemplate.h"

#include "app/core/WizardView.h"

#include <array>

namespace
{
using K = EControlKind;
using A = ETextAlign;

constexpr std::array<SControlTemplate, 13> WIZARD_CONTROLS = {{
    {IDC_PROGRESS, K::ProgressBar, {55, 193, 157, 15}, "", A::Left},
    {IDC_STATIC, K::Banner, {0, 0, 267, 49}, "", A::Left},
    {IDC_STATIC, K::EtchedLine, {0, 49, 267, 1}, "", A::Left},
    {IDC_INFOLINE1, K::StaticText, {19, 66, 197, 19}, "IDC_INFOLINE1", A::Left},
    {IDC_ACTION, K::PushButton, {101, 192, 66, 17}, "Start", A::Centre},
    {IDC_INFOLINE2, K::StaticText, {6, 135, 256, 42}, "IDC_INFOLINE2", A::Centre},
    {IDC_INFOLINE3, K::StaticText, {6, 179, 256, 9}, "IDC_INFOLINE3", A::Centre},
    {IDC_MSGICON, K::StaticIcon, {123, 112, 20, 20}, "", A::Left},
    {IDC_YES, K::PushButton, {62, 192, 66, 17}, "Yes", A::Centre},
    {IDC_NO, K::PushButton, {140, 192, 66, 17}, "No", A::Centre},
    {IDC_FWGROUP, K::GroupBox, {9, 56, 249, 49}, "Firmware", A::Left},
    {IDC_FWICON, K::StaticIcon, {19, 88, 20, 20}, "", A::Left},
    {IDC_FWSTATUS, K::StaticText, {33, 87, 214, 16}, "Statisch", A::Left},
}};

constexpr std::array<SControlTemplate, 4> ABOUT_CONTROLS = {{
    {IDC_ABOUT_ICON, K::StaticIcon, {11, 17, 20, 20}, "", A::Left},
    {IDC_ABOUT_LINE1, K::StaticText, {40, 10, 119, 17}, "", A::Left},
    {IDC_ABOUT_LINE2, K::StaticText, {40, 28, 119, 8}, "", A::Left},
    {IDOK_ABOUT, K::PushButton, {178, 7, 50, 16}, "OK", A::Centre},
}};

const SDialogTemplate WIZARD_TEMPLATE{268, 225, WIZARD_CONTROLS};
const SDialogTemplate ABOUT_TEMPLATE{235, 55, ABOUT_CONTROLS};
} // namespace

const SDialogTemplate& WizardTemplate()
{
    return WIZARD_TEMPLATE;
}

const SDialogTemplate& AboutTemplate()
{
    return ABOUT_TEMPLATE;
}

const SControlTemplate* FindControl(const SDialogTemplate& tmpl, int nId)
{
    if (nId == IDC_STATIC)
    {
        return nullptr;
    }
    for (const auto& ctl : tmpl.controls)
    {
        if (ctl.nId == nId)
        {
            return &ctl;
        }
    }
    return nullptr;
}
