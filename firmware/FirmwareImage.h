#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Result of CFirmwareImage::Load. The numbers are part of the interface: the wizard maps them
// to its messages (2 is never returned).
enum ELoadResult : int
{
    LOAD_OK = 0,
    LOAD_CANNOT_OPEN = 1, // the file cannot be opened for reading
    LOAD_CANNOT_SEEK = 3, // rewinding the file or reading it failed
    LOAD_CORRUPT = 4,     // a bad line, a bad record, or no data at all
    LOAD_NO_MEMORY = 5,   // the image cannot be held (no memory, or a range beyond 16 MiB)
};

// The firmware as a byte image of the address range its S-record file uses, rounded to whole
// blocks and 0xFF wherever no record writes, plus the processor, version and name texts.
//
// Load reads the file twice: the first pass validates every line and finds the range, the
// second fills a buffer of exactly that range. A load either succeeds and replaces image,
// range and texts together, or fails and leaves the object as it was.
//
// No locking: the const operations may run on several threads at once while nothing loads.
class CFirmwareImage
{
public:
    static constexpr uint32_t DEFAULT_BLOCK_SIZE = 512;
    static constexpr uint8_t BLANK = 0xFF;
    // The target's address space is 24 bits; an image beyond that cannot be programmed.
    static constexpr uint32_t MAX_IMAGE_SIZE = 0x1000000;
    // Identification block: processor, version and name, 16 bytes each, NUL-padded.
    static constexpr uint32_t IDENT_ADDRESS = 0xFF8000;
    static constexpr uint32_t IDENT_FIELD_SIZE = 16;
    // Texts from the header record are cut to this length when the block is not in the image.
    static constexpr std::size_t HEADER_TEXT_MAX = 20;

    CFirmwareImage() = default;
    CFirmwareImage(CFirmwareImage&&) noexcept = default;
    CFirmwareImage& operator=(CFirmwareImage&&) noexcept = default;
    CFirmwareImage(const CFirmwareImage&) = delete;
    CFirmwareImage& operator=(const CFirmwareImage&) = delete;
    ~CFirmwareImage() = default;

    // Reads an S-record file; returns an ELoadResult value.
    int Load(const std::string& strPath);

    const std::string& GetName() const { return m_strName; }
    const std::string& GetVersion() const { return m_strVersion; }
    const std::string& GetProcessor() const { return m_strProcessor; }

    bool IsLoaded() const { return m_pBuffer != nullptr; }

    // Block size for range rounding, blank tests and block reads. Values that are not a power
    // of two (0 included) are ignored.
    void SetBlockSize(uint32_t dwBlockSize);
    uint32_t GetBlockSize() const { return m_dwBlockSize; }

    // The used range of the last successful load: both ends are block-aligned
    // (high address + 1 is a multiple of the block size).
    uint32_t GetLowAddress() const { return m_dwLowAddress; }
    uint32_t GetHighAddress() const { return m_dwHighAddress; }

    // The buffer: its first address and its length (both 0 without a buffer).
    uint32_t GetBase() const { return m_dwBase; }
    uint32_t GetSize() const { return m_dwSize; }

    // Drops any buffer and makes a new one of dwSize bytes, all 0xFF, holding the addresses
    // from dwBase. Returns dwSize, or 0 (and no buffer) when memory is short, dwSize is 0 or
    // the range would run past address 0xFFFFFFFF.
    uint32_t Allocate(uint32_t dwBase, uint32_t dwSize);
    // Drops the buffer; range and texts stay.
    void Free();

    // Copies up to dwMax bytes from dwAddress on; returns the number copied (0 when the address
    // lies outside the buffer).
    uint32_t Read(uint8_t* pDest, uint32_t dwAddress, uint32_t dwMax) const;
    // Copies up to dwLength bytes to dwAddress on, as many as fit in the buffer; returns the
    // number copied.
    uint32_t Write(const uint8_t* pSource, uint32_t dwAddress, uint32_t dwLength);
    // Read of one block.
    uint32_t ReadBlock(uint8_t* pDest, uint32_t dwAddress) const;
    // True when the block from dwAddress on is all 0xFF. A block that does not lie wholly in
    // the buffer is never reported blank.
    bool IsBlockBlank(uint32_t dwAddress) const;

private:
    // Sets the texts from the identification block, where the image holds it.
    void TakeIdentification();

    std::string m_strName;
    std::string m_strVersion;
    std::string m_strProcessor;
    uint32_t m_dwLowAddress = 0;
    uint32_t m_dwHighAddress = 0;
    uint32_t m_dwBase = 0;
    uint32_t m_dwSize = 0;
    uint32_t m_dwBlockSize = DEFAULT_BLOCK_SIZE;
    std::unique_ptr<uint8_t[]> m_pBuffer;
};
