// How the file is cut into lines: line ends, Ctrl-Z, the 511-character pieces, chunk borders.
#include "firmware/LineReader.h"

#include "FwTestUtil.h"

#include <gtest/gtest.h>

using namespace fwtest;

namespace
{
std::vector<std::string> Pieces(const std::string& strContent, std::size_t nChunk = 64 * 1024)
{
    CScratchDir dir;
    const std::string strPath = dir.Write("lines.txt", strContent);
    std::FILE* pFile = std::fopen(strPath.c_str(), "rb");
    if (pFile == nullptr)
    {
        throw std::runtime_error("cannot open " + strPath);
    }
    CLineReader reader(pFile, nChunk);
    std::vector<std::string> pieces;
    const char* pLine = nullptr;
    std::size_t nLength = 0;
    EXPECT_TRUE(reader.Rewind());
    while (reader.Next(pLine, nLength))
    {
        pieces.emplace_back(pLine, nLength);
    }
    EXPECT_FALSE(reader.Failed());
    std::fclose(pFile);
    return pieces;
}

using V = std::vector<std::string>;
} // namespace

TEST(LineReader, LineEndsAndEndOfFile)
{
    EXPECT_EQ(Pieces(""), V{});
    EXPECT_EQ(Pieces("a\nb\r\nc"), (V{"a\n", "b\r\n", "c"}));
    EXPECT_EQ(Pieces("a\n\n"), (V{"a\n", "\n"}));
    // A lone CR is an ordinary character.
    EXPECT_EQ(Pieces("a\rb\n"), (V{"a\rb\n"}));
}

TEST(LineReader, CtrlZEndsTheFile)
{
    EXPECT_EQ(Pieces("a\n\x1A garbage\n"), (V{"a\n"}));
    EXPECT_EQ(Pieces("a\nb\x1A\n"), (V{"a\n", "b"}));
    EXPECT_EQ(Pieces("\x1A" "a\n"), V{});
}

TEST(LineReader, LongLinesGoOnInPiecesOf511Characters)
{
    const std::string s510(510, 'x'), s511(511, 'x');
    // Up to 511 characters, the line end included, make one line; CR LF counts as one.
    EXPECT_EQ(Pieces(s510 + "\n"), (V{s510 + "\n"}));
    EXPECT_EQ(Pieces(s510 + "\r\n"), (V{s510 + "\r\n"}));
    EXPECT_EQ(Pieces(s511), (V{s511}));
    // One more and the line end becomes a line of its own.
    EXPECT_EQ(Pieces(s511 + "\n"), (V{s511, "\n"}));
    EXPECT_EQ(Pieces(s511 + "\r\n"), (V{s511, "\r\n"}));
    EXPECT_EQ(Pieces(std::string(1200, 'y') + "\nz"),
              (V{std::string(511, 'y'), std::string(511, 'y'), std::string(178, 'y') + "\n", "z"}));
}

TEST(LineReader, ChunkBordersChangeNothing)
{
    std::string content;
    for (int i = 0; i < 300; ++i)
    {
        content += std::string(static_cast<std::size_t>(i * 7 % 530), static_cast<char>('a' + i % 26));
        content += i % 3 == 0 ? "\r\n" : "\n";
    }
    content += "tail\x1A ignored";
    const V expected = Pieces(content);
    ASSERT_GT(expected.size(), 300u);
    for (std::size_t nChunk : {1u, 2u, 7u, 511u, 512u, 513u, 4096u})
    {
        EXPECT_EQ(Pieces(content, nChunk), expected) << "chunk " << nChunk;
    }
}
