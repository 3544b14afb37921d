#pragma once
#include <cstdint>

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final XOR.
// Crc16("123456789") == 0x31C3; the CRC of nothing is 0. Sent high byte first.
uint16_t Crc16(const uint8_t* pData, uint32_t dwLength);
