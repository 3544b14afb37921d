#pragma once
// SHA-256 (FIPS 180-4), to name a file's exact content in reports: which kernel or firmware
// image was used can then be told by its digest.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class CSha256
{
public:
    using Digest = std::array<uint8_t, 32>;

    CSha256();
    // Adds bytes; may be called any number of times with pieces of any length.
    void Update(const uint8_t* pData, std::size_t nSize);
    // The digest of everything added so far. The object then starts over, empty.
    Digest Final();

    static Digest Of(const uint8_t* pData, std::size_t nSize);
    // 64 lower-case hex digits.
    static std::string ToHex(const Digest& digest);

private:
    void Reset();
    void Compress(const uint8_t* pBlock);

    std::array<uint32_t, 8> m_state{};
    std::array<uint8_t, 64> m_block{};
    std::size_t m_nBlockFill = 0;
    uint64_t m_qwTotalBytes = 0;
};
