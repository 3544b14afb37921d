// SHA-256 against published answers (FIPS 180-4 examples) and against sha256sum for the lengths
// where the padding spills into a second block; each message fed whole and in odd pieces.
#include "firmware/Sha256.h"

#include <gtest/gtest.h>

#include <string>

TEST(Sha256, KnownAnswersWholeAndInPieces)
{
    const std::string strFips2 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {strFips2, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
        {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
        {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [strMessage, pszDigest] : cases)
    {
        SCOPED_TRACE(strMessage.size());
        const auto* pData = reinterpret_cast<const uint8_t*>(strMessage.data());
        EXPECT_EQ(CSha256::ToHex(CSha256::Of(pData, strMessage.size())), pszDigest);

        CSha256 sha;
        for (std::size_t nPos = 0, nPiece = 1; nPos < strMessage.size();
             nPos += nPiece, nPiece = nPiece * 3 + 1)
            sha.Update(pData + nPos, std::min(nPiece, strMessage.size() - nPos));
        EXPECT_EQ(CSha256::ToHex(sha.Final()), pszDigest);
        EXPECT_EQ(CSha256::ToHex(sha.Final()), cases[0].second) << "Final starts over";
    }
}
