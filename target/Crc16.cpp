#include "target/Crc16.h"

#include <array>

namespace
{
constexpr std::array<uint16_t, 256> MakeTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i)
    {
        unsigned reg = i << 8;
        for (int bit = 0; bit < 8; ++bit)
        {
            reg = (reg & 0x8000u) ? (reg << 1) ^ 0x1021u : reg << 1;
        }
        table[i] = static_cast<uint16_t>(reg & 0xFFFFu);
    }
    return table;
}

constexpr std::array<uint16_t, 256> g_crcTable = MakeTable();
} // namespace

uint16_t Crc16(const uint8_t* pData, uint32_t dwLength)
{
    unsigned reg = 0;
    for (uint32_t i = 0; i < dwLength; ++i)
    {
        reg = ((reg << 8) ^ g_crcTable[((reg >> 8) ^ pData[i]) & 0xFFu]) & 0xFFFFu;
    }
    return static_cast<uint16_t>(reg);
}
