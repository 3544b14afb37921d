#pragma once
// The wizard window and the About box as fixed templates in dialog units (a quarter of the
// dialog font's average character width, an eighth of its height). The window places every
// control at these rectangles converted with its own font; nothing here depends on wx.
#include <span>

// Id of the controls the program never addresses (banner, etched line, About texts).
inline constexpr int IDC_STATIC = -1;

enum class EControlKind
{
    ProgressBar,
    Banner,     // static bitmap shown at its real size
    EtchedLine, // horizontal separator
    StaticText,
    PushButton,
    StaticIcon,
    GroupBox,
};

enum class ETextAlign
{
    Left,
    Centre,
};

struct SDialogRect
{
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
};

struct SControlTemplate
{
    int nId = IDC_STATIC;
    EControlKind kind = EControlKind::StaticText;
    SDialogRect rc;
    const char* pszText = ""; // text of the template, before the wizard sets its own
    ETextAlign align = ETextAlign::Left;
};

struct SDialogTemplate
{
    int cx = 0; // client area in dialog units
    int cy = 0;
    std::span<const SControlTemplate> controls; // in tab order
};

// IDD_WIZARD: 268 x 225.
const SDialogTemplate& WizardTemplate();
// IDD_ABOUTBOX: 235 x 55; the icon, the two text lines and OK (id IDOK_ABOUT).
const SDialogTemplate& AboutTemplate();
inline constexpr int IDC_ABOUT_ICON = 1101;
inline constexpr int IDC_ABOUT_LINE1 = 1102;
inline constexpr int IDC_ABOUT_LINE2 = 1103;
inline constexpr int IDOK_ABOUT = 1;

// The row of the template with that id, or nullptr.
const SControlTemplate* FindControl(const SDialogTemplate& tmpl, int nId);
