#pragma once
// The program's own pictures: banner, application icon and the firmware status icons.
#include "app/core/WizardView.h"

#include <wx/bitmap.h>
#include <wx/bmpbndl.h>
#include <wx/iconbndl.h>

// The banner scaled to exactly this size in pixels, from its sharpest rendering.
wxBitmap BannerBitmap(const wxSize& size);

// The application icon at every embedded size (title bar, task bar, window switcher).
wxIconBundle AppIcons();

// The application icon with nDipSize as its default size (the About box uses 32).
wxBitmapBundle AppIconBundle(int nDipSize);

// IDI_FWINFO or IDI_FWWARNING at the small-icon size; an empty bundle for other icons.
wxBitmapBundle FirmwareIconBundle(EViewIcon icon);

// The picture "<name>-<w>x<h>" from the embedded artwork; an invalid bitmap when the build
// has none of that name.
wxBitmap LoadArt(const char* pszName, int nWidth, int nHeight);
