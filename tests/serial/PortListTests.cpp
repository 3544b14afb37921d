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
