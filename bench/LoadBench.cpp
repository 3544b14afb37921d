// Load speed of the firmware reader on a full 512 KiB MB90F345 image (about 1.4 MB of S2 text,
// 16 data bytes a line), made at start-up into a temporary file.
//
//   orlix-bench-load                      run the benchmarks
//   orlix-bench-load --write-file=PATH    only write the S-record file (for compare-load.sh)
#include "firmware/FirmwareImage.h"
#include "firmware/SRecord.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace
{
constexpr uint32_t FLASH_START = 0xF80000;
constexpr uint32_t FLASH_SIZE = 512 * 1024;
constexpr uint32_t BYTES_PER_LINE = 16;

void AppendRecord(std::string& out, int nType, uint32_t dwAddress, const uint8_t* pData, uint32_t nLength)
{
    static const char HEX[] = "0123456789ABCDEF";
    const int nAddressBytes = CSRecord::AddressBytes(static_cast<uint8_t>(nType));
    const uint32_t nCount = static_cast<uint32_t>(nAddressBytes) + nLength + 1;
    unsigned nSum = nCount;
    auto put = [&](uint32_t b) {
        out += HEX[(b >> 4) & 0x0F];
        out += HEX[b & 0x0F];
    };
    out += 'S';
    out += static_cast<char>('0' + nType);
    put(nCount);
    for (int i = nAddressBytes - 1; i >= 0; --i)
    {
        const uint32_t b = (dwAddress >> (8 * i)) & 0xFF;
        nSum += b;
        put(b);
    }
    for (uint32_t i = 0; i < nLength; ++i)
    {
        nSum += pData[i];
        put(pData[i]);
    }
    put(~nSum & 0xFF);
    out += '\n';
}

// The whole flash filled with firmware-like bytes, the identification block in place.
std::string MakeFullImageText()
{
    std::vector<uint8_t> image(FLASH_SIZE);
    uint32_t x = 0x2545F491;
    for (auto& b : image)
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 24);
    }
    const char ident[48] = "MB90F345\0\0\0\0\0\0\0\0V1.0.0\0\0\0\0\0\0\0\0\0\0Benchmark";
    std::memcpy(&image[0xFF8000 - FLASH_START], ident, sizeof ident);

    std::string text;
    text.reserve(FLASH_SIZE / BYTES_PER_LINE * 45 + 128);
    const char header[] = "Benchmark\0V1.0.0\0MB90F345";
    AppendRecord(text, 0, 0, reinterpret_cast<const uint8_t*>(header), sizeof header - 1);
    for (uint32_t off = 0; off < FLASH_SIZE; off += BYTES_PER_LINE)
    {
        AppendRecord(text, 2, FLASH_START + off, &image[off], BYTES_PER_LINE);
    }
    AppendRecord(text, 8, FLASH_START, nullptr, 0);
    return text;
}

bool WriteFile(const std::string& strPath, const std::string& strText)
{
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (pFile == nullptr)
    {
        return false;
    }
    const bool bOk = std::fwrite(strText.data(), 1, strText.size(), pFile) == strText.size();
    return std::fclose(pFile) == 0 && bOk;
}

// The benchmark file, written once and removed at exit.
class CBenchFile
{
public:
    CBenchFile() : m_strText(MakeFullImageText())
    {
        std::random_device random;
        m_strPath = (std::filesystem::temp_directory_path() /
                     ("orlix-bench-" + std::to_string(random()) + ".mhx"))
                        .string();
        m_bOk = WriteFile(m_strPath, m_strText);
    }
    ~CBenchFile()
    {
        std::error_code error;
        std::filesystem::remove(m_strPath, error);
    }
    CBenchFile(const CBenchFile&) = delete;
    CBenchFile& operator=(const CBenchFile&) = delete;

    const std::string& Path() const { return m_strPath; }
    const std::string& Text() const { return m_strText; }
    bool Ok() const { return m_bOk; }

private:
    std::string m_strText;
    std::string m_strPath;
    bool m_bOk = false;
};

const CBenchFile& BenchFile()
{
    static const CBenchFile file;
    return file;
}

void BM_LoadFullImage(benchmark::State& state)
{
    const CBenchFile& file = BenchFile();
    if (!file.Ok())
    {
        state.SkipWithError("cannot write the benchmark file");
        return;
    }
    CFirmwareImage image;
    for (auto _ : state)
    {
        const int nResult = image.Load(file.Path());
        if (nResult != LOAD_OK)
        {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(image.GetProcessor().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.Text().size()));
    state.counters["file_bytes"] = static_cast<double>(file.Text().size());
}
BENCHMARK(BM_LoadFullImage)->Unit(benchmark::kMillisecond)->UseRealTime();

// Record decoding alone, from memory.
void BM_ParseRecords(benchmark::State& state)
{
    const std::string& text = BenchFile().Text();
    CSRecord record;
    for (auto _ : state)
    {
        const char* p = text.data();
        const char* pEnd = p + text.size();
        unsigned nValid = 0;
        while (p < pEnd)
        {
            const char* pLf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(pEnd - p)));
            const char* pNext = pLf != nullptr ? pLf + 1 : pEnd;
            nValid += record.Parse(p, static_cast<std::size_t>(pNext - p)) ? 1u : 0u;
            p = pNext;
        }
        benchmark::DoNotOptimize(nValid);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseRecords)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace

int main(int argc, char** argv)
{
    static const char WRITE_FILE[] = "--write-file=";
    for (int i = 1; i < argc; ++i)
    {
        if (std::strncmp(argv[i], WRITE_FILE, sizeof WRITE_FILE - 1) == 0)
        {
            const std::string strPath = argv[i] + sizeof WRITE_FILE - 1;
            if (!WriteFile(strPath, MakeFullImageText()))
            {
                std::fprintf(stderr, "cannot write %s\n", strPath.c_str());
                return 1;
            }
            return 0;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
    {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
