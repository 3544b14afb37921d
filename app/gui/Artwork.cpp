#include "app/gui/Artwork.h"

#include "app/gui/ArtData.h"

#include <wx/image.h>
#include <wx/mstream.h>

#include <algorithm>
#include <string>

namespace
{
constexpr int APP_ICON_SIZES[] = {16, 32, 48, 64, 128, 256};

void EnsurePngHandler()
{
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr)
    {
        wxImage::AddHandler(new wxPNGHandler);
    }
}

wxImage LoadArtImage(const char* pszName, int nWidth, int nHeight)
{
    const std::string strKey =
        std::string(pszName) + "-" + std::to_string(nWidth) + "x" + std::to_string(nHeight);
    SArtBytes bytes;
    if (!FindArt(strKey, bytes))
    {
        return wxImage();
    }
    EnsurePngHandler();
    wxMemoryInputStream stream(bytes.pData, bytes.nSize);
    wxImage image;
    if (!image.LoadFile(stream, wxBITMAP_TYPE_PNG))
    {
        return wxImage();
    }
    return image;
}
} // namespace

wxBitmap LoadArt(const char* pszName, int nWidth, int nHeight)
{
    const wxImage image = LoadArtImage(pszName, nWidth, nHeight);
    return image.IsOk() ? wxBitmap(image) : wxBitmap();
}

wxBitmap BannerBitmap(const wxSize& size)
{
    if (size.x <= 0 || size.y <= 0)
    {
        return wxBitmap();
    }
    if (size == wxSize(400, 80))
    {
        return LoadArt("banner", 400, 80);
    }
    // Other sizes come from the double-size rendering, scaled to the height without
    // distortion. A wider window gets the banner's right edge drawn out (its gradient and
    // traces run off that edge); a narrower one cuts the right end off.
    wxImage image = LoadArtImage("banner", 800, 160);
    if (!image.IsOk())
    {
        image = LoadArtImage("banner", 400, 80);
    }
    if (!image.IsOk())
    {
        return wxBitmap();
    }
    const int nScaledWidth =
        std::max(1, (image.GetWidth() * size.y + image.GetHeight() / 2) / image.GetHeight());
    image.Rescale(nScaledWidth, size.y, wxIMAGE_QUALITY_HIGH);
    if (nScaledWidth >= size.x)
    {
        return wxBitmap(image.GetSubImage(wxRect(0, 0, size.x, size.y)));
    }
    wxImage edge = image.GetSubImage(wxRect(nScaledWidth - 1, 0, 1, size.y));
    edge.Rescale(size.x - nScaledWidth, size.y, wxIMAGE_QUALITY_NORMAL);
    image.Resize(size, wxPoint(0, 0));
    image.Paste(edge, nScaledWidth, 0);
    return wxBitmap(image);
}

wxIconBundle AppIcons()
{
    wxIconBundle icons;
    for (const int nSize : APP_ICON_SIZES)
    {
        const wxBitmap bitmap = LoadArt("orlix", nSize, nSize);
        if (bitmap.IsOk())
        {
            wxIcon icon;
            icon.CopyFromBitmap(bitmap);
            icons.AddIcon(icon);
        }
    }
    return icons;
}

wxBitmapBundle AppIconBundle(int nDipSize)
{
    wxVector<wxBitmap> bitmaps;
    for (const int nSize : APP_ICON_SIZES)
    {
        if (nSize < nDipSize)
        {
            continue;
        }
        const wxBitmap bitmap = LoadArt("orlix", nSize, nSize);
        if (bitmap.IsOk())
        {
            bitmaps.push_back(bitmap);
        }
    }
    return wxBitmapBundle::FromBitmaps(bitmaps);
}

wxBitmapBundle FirmwareIconBundle(EViewIcon icon)
{
    const char* pszName = nullptr;
    if (icon == EViewIcon::FwInfo)
    {
        pszName = "fwinfo";
    }
    else if (icon == EViewIcon::FwWarning)
    {
        pszName = "fwwarning";
    }
    else
    {
        return wxBitmapBundle();
    }
    wxVector<wxBitmap> bitmaps;
    for (const int nSize : {16, 32})
    {
        const wxBitmap bitmap = LoadArt(pszName, nSize, nSize);
        if (bitmap.IsOk())
        {
            bitmaps.push_back(bitmap);
        }
    }
    return wxBitmapBundle::FromBitmaps(bitmaps);
}
