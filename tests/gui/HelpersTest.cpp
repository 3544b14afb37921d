// The pure helpers of the window: decoding the core's 8-bit texts and the file dialog's filter.
#include "app/core/OrlixDlg.h"
#include "app/gui/FileFilter.h"
#include "app/gui/TextDecode.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(TextDecode, Utf8ValidationAtTheEdgesAndWindows1252ForTheRest)
{
    for (const std::string& str : {""s, "a\0b"s, "Ger\xC3\xA4t"s, "\xE2\x82\xAC"s, "\xF4\x8F\xBF\xBF"s})
        EXPECT_TRUE(IsValidUtf8(str)) << str;
    // Latin-1 byte, lone continuation, cut off, overlong, surrogate, above U+10FFFF.
    for (const char* psz : {"Ger\xE4t", "\x80", "abc\xC3", "\xC0\x80", "\xE0\x80\xAF", "\xED\xA0\x80",
                            "\xF4\x90\x80\x80", "\xC3\x28"})
        EXPECT_FALSE(IsValidUtf8(psz)) << psz;
    // UTF-8 is kept, anything else decoded as Windows-1252.
    EXPECT_EQ(NarrowToUtf8("Ger\xC3\xA4t"), "Ger\xC3\xA4t");
    EXPECT_EQ(NarrowToUtf8("ausf\xFChren \x80"), "ausf\xC3\xBChren \xE2\x82\xAC");
    // One bad byte makes the whole text Windows-1252; unassigned positions keep Latin-1.
    EXPECT_EQ(NarrowToUtf8("\xC3\xA4 \xE4"), "\xC3\x83\xC2\xA4 \xC3\xA4");
    EXPECT_EQ(Windows1252ToUtf8("\x81\x9F\xFF"), "\xC2\x81\xC5\xB8\xC3\xBF");
    for (int b = 0; b < 256; ++b)
        EXPECT_TRUE(IsValidUtf8(NarrowToUtf8(std::string(1, static_cast<char>(b))))) << b;
}

TEST(FileFilter, ConvertsToWxFormAndDropsWhatCannotFilter)
{
    EXPECT_EQ(ConvertFileFilter(FIRMWARE_FILE_FILTER),
              "S format files (*.mhx, *.cnv, *.ahx)|*.mhx;*.cnv;*.ahx|All Files (*.*)|*.*");
    EXPECT_EQ(ConvertFileFilter("Text (*.txt)|*.txt||Other|*.o|"), "Text (*.txt)|*.txt");
    EXPECT_EQ(ConvertFileFilter("A; B (x)|  *.a ;\t*.b ; |C|*.c"), "A; B (x)|*.a;*.b|C|*.c");
    EXPECT_EQ(ConvertFileFilter("Empty| ; |B|*.b|Lonely name"), "B|*.b");
    EXPECT_EQ(ConvertFileFilter(""), "");
}
