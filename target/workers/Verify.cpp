#include "target/workers/Verify.h"

#include "firmware/FirmwareImage.h"
#include "target/workers/Workers.h"

#include <algorithm>
#include <array>

SVerifyResult VerifyImage(CFlashKernel& kernel, const CFirmwareImage& image, IProgressSink* pSink,
                          const std::function<bool()>& stopRequested)
{
    SVerifyResult result;
    if (!image.IsLoaded() || image.GetBlockSize() != KERNEL_BLOCK_SIZE)
    {
        result.nResult = KR_NO_IMAGE;
        return result;
    }
    const uint32_t dwLow = image.GetLowAddress();
    const uint32_t dwHigh = image.GetHighAddress();
    std::array<uint8_t, READ_BLOCK_REPLY_SIZE> reply{};
    std::array<uint8_t, KERNEL_BLOCK_SIZE> expected{};

    for (uint32_t dwAddress = dwLow; dwAddress < dwHigh; dwAddress += KERNEL_BLOCK_SIZE)
    {
        if (stopRequested && stopRequested())
        {
            result.nResult = KR_NO_ANSWER;
            return result;
        }
        if (pSink != nullptr)
        {
            pSink->OnProgress(static_cast<int>(ProgramProgress(dwAddress, dwLow, dwHigh)));
        }
        if (!image.IsBlockBlank(dwAddress))
        {
            // As programmed: bytes the image cannot supply were sent as erased flash.
            expected.fill(CFirmwareImage::BLANK);
            image.ReadBlock(expected.data(), dwAddress);
            result.nResult = kernel.ReadFlashBlock(reply.data(), dwAddress);
            if (result.nResult != KR_OK)
            {
                return result;
            }
            ++result.dwBlocksRead;
            const auto diff = std::mismatch(expected.begin(), expected.end(), reply.begin());
            if (diff.first != expected.end())
            {
                result.nResult = KR_VERIFY_FAILED;
                result.dwFirstDifference = dwAddress + static_cast<uint32_t>(diff.first - expected.begin());
                return result;
            }
        }
        if (dwHigh - dwAddress < KERNEL_BLOCK_SIZE)
        {
            break; // the last block; stepping on would wrap past 0xFFFFFFFF
        }
    }
    return result;
}
