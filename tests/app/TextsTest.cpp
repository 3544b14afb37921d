// The text table: language choice, exact texts where wording matters, and formatting.
#include "app/core/Texts.h"

#include <gtest/gtest.h>

namespace
{

TEST(TextLanguage, FirstNonEmptyLocaleVariableDecides)
{
    EXPECT_EQ(TextLanguageFromLocale(nullptr, nullptr, nullptr), ETextLanguage::English);
    EXPECT_EQ(TextLanguageFromLocale(nullptr, nullptr, "de_DE.UTF-8"), ETextLanguage::German);
    EXPECT_EQ(TextLanguageFromLocale(nullptr, "de_AT", "en_GB.UTF-8"), ETextLanguage::German);
    EXPECT_EQ(TextLanguageFromLocale("C", "de_DE", "de_DE"), ETextLanguage::English) << "LC_ALL wins";
    EXPECT_EQ(TextLanguageFromLocale("", "", "de_CH"), ETextLanguage::German) << "empty values are skipped";
    EXPECT_EQ(TextLanguageFromLocale("de", nullptr, nullptr), ETextLanguage::German);
    EXPECT_EQ(TextLanguageFromLocale("d", nullptr, nullptr), ETextLanguage::English);
    EXPECT_EQ(TextLanguageFromLocale("DE_de", nullptr, nullptr), ETextLanguage::English);
    EXPECT_EQ(TextLanguageFromLocale("fr_FR", nullptr, "de_DE"), ETextLanguage::English);
}

TEST(TextTable, HasExactlyTheIdsOfTheTableInBothLanguages)
{
    for (unsigned nId = 95; nId <= 150; ++nId)
    {
        const bool bExists =
            nId >= 101 && nId <= 145 && nId != 110 && nId != 114 && nId != 115 && nId != 116 && nId != 141;
        for (ETextLanguage language : {ETextLanguage::English, ETextLanguage::German})
        {
            EXPECT_EQ(!LoadText(nId, language).empty(), bExists) << nId;
        }
    }
}

TEST(TextTable, TextsAreWordForWordIncludingTrailingSpacesAndSlips)
{
    const ETextLanguage en = ETextLanguage::English;
    const ETextLanguage de = ETextLanguage::German;
    EXPECT_EQ(LoadText(101, en), "&About Orlix...");
    EXPECT_EQ(LoadText(102, de),
              "Es wurde versucht das Update vorzeitig zu beenden.\nDies ist im Moment leider nicht "
              "möglich.\nBitte haben Sie noch etwas Geduld. ");
    EXPECT_EQ(LoadText(113, en), "Name:\t %s\nVersion:\t %s");
    EXPECT_EQ(LoadText(123, en),
              "Connect your unit with the program cable and afterwards press the RESET button on "
              "your unit.\nYou may NOT swtich off your device during programming.\nDo NOT truncate "
              "the update process prematurely.");
    EXPECT_EQ(LoadText(131, en),
              "The unit is being programmed.\nPlease wait untill the process was completed.");
    EXPECT_EQ(LoadText(132, en), "Download the bool loader ...");
    EXPECT_EQ(LoadText(137, de), "Klicken zum Beenden");
    EXPECT_EQ(LoadText(145, en),
              "An Error occurred during the programming process.\nThe firmware update couldn't be "
              "completed.\nPlease try it again. ");
    EXPECT_EQ(LoadText(119, de), "Diese Firmware ist auschließlich für '%s' kompatible Hardware bestimmt!");
    // UTF-8: "ö" is two bytes.
    EXPECT_EQ(LoadText(111, de), "Datei \xC3\xB6"
                                 "ffnen");
}

TEST(TextTable, SelectedLanguageIsUsedByTheShortForm)
{
    SelectTextLanguage(ETextLanguage::German);
    EXPECT_EQ(GetTextLanguage(), ETextLanguage::German);
    EXPECT_EQ(LoadText(104), "Weiter");
    SelectTextLanguage(ETextLanguage::English);
    EXPECT_EQ(LoadText(104), "Continue");
}

TEST(FormatText, FillsPlacesInOrderAndTakesArgumentsLiterally)
{
    EXPECT_EQ(FormatText(LoadText(113, ETextLanguage::English), {"Analyzer AX-7", "V2.14.0"}),
              "Name:\t Analyzer AX-7\nVersion:\t V2.14.0");
    EXPECT_EQ(FormatText(LoadText(119, ETextLanguage::English), {"X"}),
              "This firmware is exclusively designed for 'X' compatible hardware!");
    // A firmware name is data, never a format.
    EXPECT_EQ(FormatText("Name: %s, %s", {"%s%s%n", "b"}), "Name: %s%s%n, b");
    EXPECT_EQ(FormatText("%s and %s", {"one"}), "one and ");
    EXPECT_EQ(FormatText("100%% %d %", {}), "100% %d %");
    EXPECT_EQ(FormatText("", {"x"}), "");
}

} // namespace
