#include "target/ChipDef.h"

#include <cstring>
#include <string_view>

namespace
{
// Name            kernel  load   flash start flash end  size     baud  baud2
constexpr SChipRow g_chipTable[] = {
    {"MB90F345", 134, 0x190, 0xF80000, 0xFFFFFF, 0x80000, 4800, 115200},
    {"MB90F345CAS", 134, 0x190, 0xF80000, 0xFFFFFF, 0x80000, 4800, 115200},
    {"MB90F362", 148, 0x190, 0xFF0000, 0xFFFFFF, 0x10000, 4800, 115200},
};

std::string_view RowName(const SChipRow& row)
{
    return std::string_view(row.Name, strnlen(row.Name, sizeof(row.Name)));
}
} // namespace

const SChipRow* ChipTable()
{
    return g_chipTable;
}

std::size_t ChipTableSize()
{
    return std::size(g_chipTable);
}

bool SChipDef::SelectChip(std::string name)
{
    Name.clear();
    for (const SChipRow& row : g_chipTable)
    {
        // The whole string must equal the row's name: a name with an embedded NUL would
        // otherwise pass as its first part.
        if (std::string_view(name) == RowName(row))
        {
            Name = RowName(row);
            ResourceId = row.ResourceId;
            LoadAddress = row.LoadAddress;
            StartAddress = row.StartAddress;
            EndAddress = row.EndAddress;
            FlashSize = row.FlashSize;
            Baud = row.Baud;
            Baud2 = row.Baud2;
            return true;
        }
    }
    return false;
}
