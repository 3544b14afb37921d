// The final pass every port source ends with.
#include "serial/EnumPorts.h"

#include <gtest/gtest.h>

TEST(PortListDescription, CutOnlyATrailingPortName)
{
    const std::pair<const char*, const char*> rows[] = {
        {"USB Serial Port (COM5)", "USB Serial Port"},
        {"Communications Port (COM1)", "Communications Port"},
        {"X ()", "X"},
        {"Port (COM5) B", "Port (COM5) B"},     // ")" not last
        {" (COM5)", " (COM5)"},                 // " (" at the start
        {"Port (A) (COM5)", "Port (A) (COM5)"}, // first ")" not last
        {"COM5", "COM5"},
        {"A)", "A)"},
        {"", ""},
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(DescriptionFromFriendlyName(in), out) << '"' << in << '"';
}

TEST(PortListFinalPass, WithoutProbeEveryRecordStaysAndNamesAreFilled)
{
    std::vector<SSerInfo> list(3);
    list[0].shortName = "ttyS0";
    list[1].friendlyName = "Modem (ttyS1)";
    list[2].friendlyName = "Console (ttyS2)";
    list[2].description = "kept as it is";
    FinishPortList(list, false, nullptr, [](const std::string&) -> uint32_t { return ADD_FAILURE(), 5; });
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].friendlyName + "|" + list[0].description + "|" + list[1].description + "|" +
                  list[2].description,
              "ttyS0|ttyS0|Modem|kept as it is");
}
