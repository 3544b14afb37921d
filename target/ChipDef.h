#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// One row of the supported-processor table, and the wizard's selected-processor record.
struct SChipDef
{
    std::string Name;
    uint32_t ResourceId = 0;
    uint32_t LoadAddress = 0;
    uint32_t StartAddress = 0;
    uint32_t EndAddress = 0;
    uint32_t FlashSize = 0;
    uint32_t Baud = 0;
    uint32_t Baud2 = 0;

    // Exact, whole-text, case-sensitive lookup of name in the table. On success the record
    // becomes a copy of the row; on failure Name is empty and the numbers keep their values.
    bool SelectChip(std::string name);
};

// The rows in lookup order; the count is ChipTableSize().
const SChipDef* ChipTable();
std::size_t ChipTableSize();
