#pragma once
#include <cstddef>
#include <cstdio>
#include <memory>

// Splits a text file into lines the way a line-at-a-time reader with a 512-byte buffer sees
// them, without its cost: the file is read in large chunks and lines are handed out in place.
//
// Rules: a line ends after LF; CR LF counts as one line-end character; a Ctrl-Z byte (0x1A)
// ends the file. A line of more than MAX_LINE characters is handed out in pieces of MAX_LINE
// characters, the rest going on as a further line. The pieces are the raw bytes (a CR LF line
// end is handed out as both bytes).
class CLineReader
{
public:
    static constexpr std::size_t MAX_LINE = 511;
    static constexpr char CTRL_Z = 0x1A;

    // The reader does not own the file. nChunk is the read size (tests use small ones to put
    // lines across chunk borders).
    explicit CLineReader(std::FILE* pFile, std::size_t nChunk = 64 * 1024);

    // Seeks to the start of the file; false when that fails.
    bool Rewind();

    // The next line, valid until the next call. False at the end of the file or when reading
    // fails (Failed tells which).
    bool Next(const char*& pLine, std::size_t& nLength);

    bool Failed() const { return m_bFailed; }

private:
    // Makes at least MAX_LINE + 1 bytes available from m_nPos on, unless the file ends first.
    void Fill();

    std::FILE* m_pFile;
    std::size_t m_nChunk;
    std::unique_ptr<char[]> m_pBuffer; // m_nChunk + MAX_LINE + 1 bytes
    std::size_t m_nPos = 0;
    std::size_t m_nEnd = 0;
    bool m_bEof = false;
    bool m_bFailed = false;
};
