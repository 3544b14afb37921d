#include "app/gui/TextDecode.h"

#include <array>
#include <cstdint>

namespace
{
// Unicode code points of the bytes 0x80..0x9F in Windows-1252; 0 where the code page has none.
constexpr std::array<char16_t, 32> CP1252_HIGH = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,      // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178, // 98-9F
};

void AppendUtf8(std::string& strOut, char32_t cp)
{
    auto put = [&strOut](uint32_t dw) { strOut.push_back(static_cast<char>(static_cast<uint8_t>(dw))); };
    if (cp < 0x80)
    {
        put(cp);
    }
    else if (cp < 0x800)
    {
        put(0xC0 | (cp >> 6));
        put(0x80 | (cp & 0x3F));
    }
    else
    {
        // Only the Basic Multilingual Plane occurs here.
        put(0xE0 | (cp >> 12));
        put(0x80 | ((cp >> 6) & 0x3F));
        put(0x80 | (cp & 0x3F));
    }
}
} // namespace

bool IsValidUtf8(std::string_view str)
{
    size_t i = 0;
    const size_t n = str.size();
    while (i < n)
    {
        const auto b0 = static_cast<uint8_t>(str[i]);
        if (b0 < 0x80)
        {
            ++i;
            continue;
        }
        size_t nTrail = 0;
        char32_t cp = 0;
        char32_t cpMin = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF)
        {
            nTrail = 1;
            cp = b0 & 0x1Fu;
            cpMin = 0x80;
        }
        else if (b0 >= 0xE0 && b0 <= 0xEF)
        {
            nTrail = 2;
            cp = b0 & 0x0Fu;
            cpMin = 0x800;
        }
        else if (b0 >= 0xF0 && b0 <= 0xF4)
        {
            nTrail = 3;
            cp = b0 & 0x07u;
            cpMin = 0x10000;
        }
        else
        {
            return false; // stray continuation byte, C0/C1 lead, or F5..FF
        }
        if (n - i - 1 < nTrail)
        {
            return false;
        }
        for (size_t k = 1; k <= nTrail; ++k)
        {
            const auto b = static_cast<uint8_t>(str[i + k]);
            if ((b & 0xC0) != 0x80)
            {
                return false;
            }
            cp = (cp << 6) | (b & 0x3Fu);
        }
        if (cp < cpMin || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        {
            return false;
        }
        i += nTrail + 1;
    }
    return true;
}

std::string Windows1252ToUtf8(std::string_view str)
{
    std::string strOut;
    strOut.reserve(str.size() + str.size() / 2);
    for (const char ch : str)
    {
        const auto b = static_cast<uint8_t>(ch);
        char32_t cp = b;
        if (b >= 0x80 && b <= 0x9F && CP1252_HIGH[b - 0x80u] != 0)
        {
            cp = CP1252_HIGH[b - 0x80u];
        }
        AppendUtf8(strOut, cp);
    }
    return strOut;
}

std::string NarrowToUtf8(std::string_view str)
{
    if (IsValidUtf8(str))
    {
        return std::string(str);
    }
    return Windows1252ToUtf8(str);
}
