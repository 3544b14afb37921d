// Decoding the 8-bit texts the core hands to the window.
#include "app/gui/TextDecode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace std::string_literals;

TEST(Utf8Validation, AcceptsAsciiAndWellFormedSequences)
{
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("Name:\t ---\nVersion:\t ---"));
    EXPECT_TRUE(IsValidUtf8("Ger\xC3\xA4t"));     // two bytes
    EXPECT_TRUE(IsValidUtf8("\xE2\x82\xAC 5"));   // three bytes
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x94\xA7")); // four bytes
    EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF")); // U+10FFFF, the last code point
    EXPECT_TRUE(IsValidUtf8("a\0b"s));            // NUL is a character like any other
}

TEST(Utf8Validation, RejectsMalformedSequences)
{
    EXPECT_FALSE(IsValidUtf8("Ger\xE4t"));         // Latin-1 byte between ASCII
    EXPECT_FALSE(IsValidUtf8("\x80"));             // continuation without a lead
    EXPECT_FALSE(IsValidUtf8("abc\xC3"));          // cut off at the end
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));         // cut off inside three bytes
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));         // overlong NUL
    EXPECT_FALSE(IsValidUtf8("\xC1\xBF"));         // overlong two-byte form
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));     // overlong three-byte form
    EXPECT_FALSE(IsValidUtf8("\xF0\x80\x80\xAF")); // overlong four-byte form
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // UTF-16 surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xF5\x80\x80\x80")); // lead byte that cannot occur
    EXPECT_FALSE(IsValidUtf8("\xC3\x28"));         // lead followed by ASCII
}

TEST(Windows1252Decoding, MapsTheUpperHalf)
{
    EXPECT_EQ(Windows1252ToUtf8("Ger\xE4t"), "Ger\xC3\xA4t");
    EXPECT_EQ(Windows1252ToUtf8("ausf\xFChren"), "ausf\xC3\xBChren");
    EXPECT_EQ(Windows1252ToUtf8("\x80"), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(Windows1252ToUtf8("\x9F"), "\xC5\xB8");     // Y with diaeresis
    EXPECT_EQ(Windows1252ToUtf8("\x96"), "\xE2\x80\x93"); // en dash
    EXPECT_EQ(Windows1252ToUtf8("\xA0\xFF"), "\xC2\xA0\xC3\xBF");
    // The positions the code page leaves empty keep their Latin-1 meaning.
    EXPECT_EQ(Windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(Windows1252ToUtf8("a\0b"s), "a\0b"s);
}

TEST(NarrowDecoding, KeepsUtf8AndDecodesEverythingElseAsWindows1252)
{
    EXPECT_EQ(NarrowToUtf8(""), "");
    EXPECT_EQ(NarrowToUtf8("Controller 2.1"), "Controller 2.1");
    EXPECT_EQ(NarrowToUtf8("Ger\xC3\xA4t"), "Ger\xC3\xA4t");
    EXPECT_EQ(NarrowToUtf8("Ger\xE4t"), "Ger\xC3\xA4t");
    // One bad byte makes the whole text Windows-1252, as the file was evidently written so.
    EXPECT_EQ(NarrowToUtf8("\xC3\xA4 \xE4"), "\xC3\x83\xC2\xA4 \xC3\xA4");
    // The fixed port-error text with its 0xFC, as the core may carry it.
    EXPECT_EQ(NarrowToUtf8("COM Port Fehler.\n Bitte Programm neu ausf\xFChren"),
              "COM Port Fehler.\n Bitte Programm neu ausf\xC3\xBChren");
}

TEST(NarrowDecoding, AlwaysGivesValidUtf8)
{
    for (int b = 0; b < 256; ++b)
    {
        const std::string str(1, static_cast<char>(b));
        EXPECT_TRUE(IsValidUtf8(NarrowToUtf8(str))) << "byte " << b;
    }
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 40);
    for (int i = 0; i < 2000; ++i)
    {
        std::string str(static_cast<size_t>(length(rng)), '\0');
        for (char& ch : str)
        {
            ch = static_cast<char>(byte(rng));
        }
        const std::string strOut = NarrowToUtf8(str);
        ASSERT_TRUE(IsValidUtf8(strOut));
        if (IsValidUtf8(str))
        {
            EXPECT_EQ(strOut, str);
        }
    }
}
