#include "target/ChipDef.h"
#include "target/Crc16.h"
#include "target/KernelResources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

TEST(ChipTable, RowsAreConsistent)
{
    ASSERT_EQ(ChipTableSize(), 3u);
    std::set<std::string> names;
    for (std::size_t i = 0; i < ChipTableSize(); ++i)
    {
        const SChipRow& row = ChipTable()[i];
        ASSERT_LT(strnlen(row.Name, sizeof(row.Name)), sizeof(row.Name))
            << "row " << i << " not NUL-terminated";
        EXPECT_GT(std::strlen(row.Name), 0u) << "row " << i;
        EXPECT_TRUE(names.insert(row.Name).second) << "duplicate " << row.Name;
        EXPECT_EQ(row.FlashSize, row.EndAddress - row.StartAddress + 1) << row.Name;
        SResourceData kernel;
        EXPECT_TRUE(FindKernelResource(row.ResourceId, "FLASH", kernel)) << row.Name;
        EXPECT_LE(row.LoadAddress, 0xFFFFu) << row.Name << ": the download frame carries 16 bits";
    }
}

TEST(ChipTable, SelectChipMatchesWholeNamesOnly)
{
    SChipDef chip;
    ASSERT_TRUE(chip.SelectChip("MB90F345CAS"));
    EXPECT_EQ(chip.Name, "MB90F345CAS");
    EXPECT_EQ(chip.ResourceId, 134u);

    ASSERT_TRUE(chip.SelectChip("MB90F362"));
    EXPECT_EQ(chip.StartAddress, 0xFF0000u);
    EXPECT_EQ(chip.ResourceId, 148u);
    EXPECT_EQ(chip.Baud, 4800u);
    EXPECT_EQ(chip.Baud2, 115200u);

    for (const std::string& bad : {std::string("MB90F345CA"), std::string("mb90f345"),
                                   std::string("MB90F345 "), std::string(), std::string("MB90F345\0XY", 11)})
    {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(chip.SelectChip(bad));
        EXPECT_TRUE(chip.Name.empty());
        // A failed lookup keeps the numbers of the previous one.
        EXPECT_EQ(chip.ResourceId, 148u);
        EXPECT_EQ(chip.StartAddress, 0xFF0000u);
    }
}

TEST(Crc16, KnownVectorsAndTableAgreesWithBitwiseDefinition)
{
    const auto* check = reinterpret_cast<const uint8_t*>("123456789");
    EXPECT_EQ(Crc16(check, 9), 0x31C3);
    EXPECT_EQ(Crc16(nullptr, 0), 0x0000);

    auto bitwise = [](const uint8_t* p, uint32_t n)
    {
        unsigned reg = 0;
        for (uint32_t i = 0; i < n; ++i)
        {
            reg ^= unsigned{p[i]} << 8;
            for (int b = 0; b < 8; ++b)
            {
                reg = ((reg & 0x8000u) ? (reg << 1) ^ 0x1021u : reg << 1) & 0xFFFFu;
            }
        }
        return static_cast<uint16_t>(reg);
    };
    uint8_t block[512];
    uint32_t seed = 12345;
    for (uint8_t& by : block)
    {
        seed = seed * 1103515245u + 12345u;
        by = static_cast<uint8_t>(seed >> 16);
    }
    EXPECT_EQ(Crc16(block, sizeof(block)), bitwise(block, sizeof(block)));
}

TEST(KernelResources, LookupByIdAndExactTypeName)
{
    SResourceData data;
    ASSERT_TRUE(FindKernelResource(134, "FLASH", data));
    EXPECT_EQ(data.dwSize, 912u);
    ASSERT_TRUE(FindKernelResource(148, "FLASH", data));
    EXPECT_EQ(data.dwSize, 873u);

    SResourceData none;
    EXPECT_FALSE(FindKernelResource(135, "FLASH", none));
    EXPECT_FALSE(FindKernelResource(134, "flash", none));
    EXPECT_FALSE(FindKernelResource(134, "FLASH2", none));
    EXPECT_FALSE(FindKernelResource(134, nullptr, none));
    EXPECT_EQ(none.pData, nullptr);
}

TEST(KernelResources, StandInsAreABranchToSelfAndZeros)
{
    if (!KernelsAreStandIns())
    {
        GTEST_SKIP() << "built with real kernels";
    }
    for (uint32_t id : {134u, 148u})
    {
        SResourceData data;
        ASSERT_TRUE(FindKernelResource(id, "FLASH", data));
        EXPECT_EQ(data.pData[0], 0x60);
        EXPECT_EQ(data.pData[1], 0xFE);
        for (uint32_t i = 2; i < data.dwSize; ++i)
        {
            ASSERT_EQ(data.pData[i], 0) << id << " offset " << i;
        }
    }
}
