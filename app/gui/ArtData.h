#pragma once
// The program's artwork as PNG bytes, rendered from app/res/*.svg when the program is built.
// Names are "<picture>-<width>x<height>": "banner-400x80", "orlix-32x32", "fwinfo-16x16".
#include <cstddef>
#include <string_view>

struct SArtBytes
{
    const unsigned char* pData = nullptr;
    std::size_t nSize = 0;
};

// True and the bytes when the build embedded a picture of that name.
bool FindArt(std::string_view strName, SArtBytes& bytes);
