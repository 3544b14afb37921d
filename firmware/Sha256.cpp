#include "firmware/Sha256.h"

#include <algorithm>
#include <cstring>

namespace
{
constexpr std::array<uint32_t, 64> ROUND_CONSTANTS = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::array<uint32_t, 8> INITIAL_STATE = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};

constexpr uint32_t Rotr(uint32_t x, unsigned n)
{
    return (x >> n) | (x << (32 - n));
}
} // namespace

CSha256::CSha256()
{
    Reset();
}

void CSha256::Reset()
{
    m_state = INITIAL_STATE;
    m_nBlockFill = 0;
    m_qwTotalBytes = 0;
}

void CSha256::Compress(const uint8_t* pBlock)
{
    std::array<uint32_t, 64> w{};
    for (std::size_t i = 0; i < 16; ++i)
    {
        w[i] = (uint32_t{pBlock[4 * i]} << 24) | (uint32_t{pBlock[4 * i + 1]} << 16) |
               (uint32_t{pBlock[4 * i + 2]} << 8) | uint32_t{pBlock[4 * i + 3]};
    }
    for (std::size_t i = 16; i < 64; ++i)
    {
        const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    uint32_t e = m_state[4], f = m_state[5], g = m_state[6], h = m_state[7];
    for (std::size_t i = 0; i < 64; ++i)
    {
        const uint32_t s1 = Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25);
        const uint32_t ch = (e & f) ^ (~e & g);
        const uint32_t t1 = h + s1 + ch + ROUND_CONSTANTS[i] + w[i];
        const uint32_t s0 = Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22);
        const uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
        const uint32_t t2 = s0 + maj;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
    m_state[4] += e;
    m_state[5] += f;
    m_state[6] += g;
    m_state[7] += h;
}

void CSha256::Update(const uint8_t* pData, std::size_t nSize)
{
    if (nSize == 0)
    {
        return;
    }
    m_qwTotalBytes += nSize;
    while (nSize > 0)
    {
        if (m_nBlockFill == 0 && nSize >= m_block.size())
        {
            Compress(pData);
            pData += m_block.size();
            nSize -= m_block.size();
            continue;
        }
        const std::size_t nTake = std::min(nSize, m_block.size() - m_nBlockFill);
        std::memcpy(m_block.data() + m_nBlockFill, pData, nTake);
        m_nBlockFill += nTake;
        pData += nTake;
        nSize -= nTake;
        if (m_nBlockFill == m_block.size())
        {
            Compress(m_block.data());
            m_nBlockFill = 0;
        }
    }
}

CSha256::Digest CSha256::Final()
{
    const uint64_t qwBits = m_qwTotalBytes * 8;
    // Padding: 0x80, zeros up to 56 bytes into a block, then the length in bits, big-endian.
    m_block[m_nBlockFill++] = 0x80;
    if (m_nBlockFill > 56)
    {
        std::memset(m_block.data() + m_nBlockFill, 0, m_block.size() - m_nBlockFill);
        Compress(m_block.data());
        m_nBlockFill = 0;
    }
    std::memset(m_block.data() + m_nBlockFill, 0, 56 - m_nBlockFill);
    for (std::size_t i = 0; i < 8; ++i)
    {
        m_block[56 + i] = static_cast<uint8_t>(qwBits >> (56 - 8 * i));
    }
    Compress(m_block.data());

    Digest digest{};
    for (std::size_t i = 0; i < 8; ++i)
    {
        digest[4 * i] = static_cast<uint8_t>(m_state[i] >> 24);
        digest[4 * i + 1] = static_cast<uint8_t>(m_state[i] >> 16);
        digest[4 * i + 2] = static_cast<uint8_t>(m_state[i] >> 8);
        digest[4 * i + 3] = static_cast<uint8_t>(m_state[i]);
    }
    Reset();
    return digest;
}

CSha256::Digest CSha256::Of(const uint8_t* pData, std::size_t nSize)
{
    CSha256 sha;
    sha.Update(pData, nSize);
    return sha.Final();
}

std::string CSha256::ToHex(const Digest& digest)
{
    static constexpr char HEX[] = "0123456789abcdef";
    std::string strHex;
    strHex.reserve(digest.size() * 2);
    for (const uint8_t by : digest)
    {
        strHex += HEX[by >> 4];
        strHex += HEX[by & 0x0F];
    }
    return strHex;
}
