#include "target/ChipDef.h"
#include "target/KernelResources.h"

#include <gtest/gtest.h>

#include <string>

TEST(ChipTable, LookupsMatchWholeNamesOnly)
{
    SChipDef chip;
    ASSERT_TRUE(chip.SelectChip("MB90F362"));
    EXPECT_EQ(chip.StartAddress, 0xFF0000u);
    EXPECT_EQ(chip.ResourceId, 148u);
    for (const std::string& bad : {std::string("MB90F345CA"), std::string("mb90f345"),
                                   std::string("MB90F345 "), std::string(), std::string("MB90F345\0XY", 11)})
    {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(chip.SelectChip(bad));
        EXPECT_TRUE(chip.Name.empty());
        EXPECT_EQ(chip.ResourceId, 148u); // a failed lookup keeps the previous numbers
    }

    SResourceData data;
    ASSERT_TRUE(FindKernelResource(134, "FLASH", data));
    EXPECT_EQ(data.dwSize, 912u);
    SResourceData none;
    EXPECT_FALSE(FindKernelResource(135, "FLASH", none));
    EXPECT_FALSE(FindKernelResource(134, "flash", none));
    EXPECT_FALSE(FindKernelResource(134, "FLASH2", none));
    EXPECT_FALSE(FindKernelResource(134, nullptr, none));
    EXPECT_EQ(none.pData, nullptr);
}
