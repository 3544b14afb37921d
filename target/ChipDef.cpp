#include "target/ChipDef.h"

#include <iterator>

namespace
{
// clang-format off
// Name            kernel  load   flash start flash end  size     baud  baud2
const SChipDef g_chipTable[] = {
    {"MB90F345",    134, 0x190, 0xF80000, 0xFFFFFF, 0x80000, 4800, 115200},
    {"MB90F345CAS", 134, 0x190, 0xF80000, 0xFFFFFF, 0x80000, 4800, 115200},
    {"MB90F362",    148, 0x190, 0xFF0000, 0xFFFFFF, 0x10000, 4800, 115200},
};
// clang-format on
} // namespace

const SChipDef* ChipTable()
{
    return g_chipTable;
}

std::size_t ChipTableSize()
{
    return std::size(g_chipTable);
}

bool SChipDef::SelectChip(std::string name)
{
    // std::string compares the whole text: a name with an embedded NUL does not pass as its
    // first part.
    for (const SChipDef& row : g_chipTable)
    {
        if (name == row.Name)
        {
            *this = row;
            return true;
        }
    }
    Name.clear();
    return false;
}
