#pragma once
// Texts reach the window as 8-bit strings. Today they are UTF-8, but a firmware file written
// on an older system carries its name in Windows-1252, and one fixed message of the wizard
// holds a Windows-1252 byte on purpose. These turn either into UTF-8 for display.
#include <string>
#include <string_view>

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or code points
// above U+10FFFF). Plain ASCII is valid.
bool IsValidUtf8(std::string_view str);

// Every byte as a Windows-1252 character; the five positions that code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) keep their Latin-1 meaning.
std::string Windows1252ToUtf8(std::string_view str);

// UTF-8 as it is when valid, else decoded as Windows-1252.
std::string NarrowToUtf8(std::string_view str);
