#include "target/ChipDef.h"
#include "target/KernelResources.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(ChipTable, LookupsMatchWholeNamesOnly)
{
    SChipDef chip;
    ASSERT_TRUE(chip.SelectChip("MB90F362"));
    EXPECT_EQ(chip.StartAddress, 0xFF0000u);
    EXPECT_EQ(chip.ResourceId, 148u);
    for (const std::string& bad : {"MB90F345CA"s, "mb90f345"s, "MB90F345 "s, ""s, "MB90F345\0XY"s})
    {
        EXPECT_FALSE(chip.SelectChip(bad)) << bad;
        EXPECT_TRUE(chip.Name.empty());
        EXPECT_EQ(chip.ResourceId, 148u); // a failed lookup keeps the previous numbers
    }
    SResourceData data, none;
    ASSERT_TRUE(FindKernelResource(134, "FLASH", data));
    EXPECT_EQ(data.dwSize, 912u);
    EXPECT_FALSE(FindKernelResource(135, "FLASH", none) || FindKernelResource(134, "flash", none) ||
                 FindKernelResource(134, "FLASH2", none) || FindKernelResource(134, nullptr, none));
    EXPECT_EQ(none.pData, nullptr);
}
