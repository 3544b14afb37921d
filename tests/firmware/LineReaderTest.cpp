// How the file is cut into lines: line ends, Ctrl-Z, the 511-character pieces, chunk borders.
#include "firmware/LineReader.h"

#include "FwTestUtil.h"

#include <gtest/gtest.h>

using V = std::vector<std::string>;

TEST(LineReader, LineEndsCtrlZAndPiecesOf511CharactersWhateverTheChunkSize)
{
    const std::string s510(510, 'x'), s511(511, 'x'), y511(511, 'y');
    const std::pair<std::string, V> cases[] = {
        {"", {}},
        {"a\nb\r\nc", {"a\n", "b\r\n", "c"}},
        {"a\rb\n", {"a\rb\n"}}, // a lone CR is an ordinary character
        {"a\n\x1A garbage\n", {"a\n"}},
        {"a\nb\x1A\n", {"a\n", "b"}},
        {"\x1A"
         "a\n",
         {}},
        // Up to 511 characters, the line end included (CR LF counting as one), make one line.
        {s510 + "\r\n", {s510 + "\r\n"}},
        {s511 + "\n", {s511, "\n"}},
        {s511 + "\r\n", {s511, "\r\n"}},
        {"a\n" + std::string(1200, 'y') + "\r\nz", {"a\n", y511, y511, std::string(178, 'y') + "\r\n", "z"}},
    };
    CTempDir dir;
    const std::string strPath = dir.File("lines.txt");
    for (const auto& [strContent, expected] : cases)
    {
        WriteFileText(strPath, strContent);
        for (std::size_t nChunk : {1u, 2u, 7u, 511u, 512u, 513u, 65536u})
        {
            std::FILE* pFile = std::fopen(strPath.c_str(), "rb");
            CLineReader reader(pFile, nChunk);
            V pieces;
            const char* pLine = nullptr;
            std::size_t nLength = 0;
            EXPECT_TRUE(reader.Rewind());
            while (reader.Next(pLine, nLength))
                pieces.emplace_back(pLine, nLength);
            EXPECT_FALSE(reader.Failed());
            std::fclose(pFile);
            EXPECT_EQ(pieces, expected) << "chunk " << nChunk << ": " << strContent.substr(0, 20);
        }
    }
}
