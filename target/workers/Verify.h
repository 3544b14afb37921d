#pragma once
// Verification by read-back: after programming, every block the programming run sent (every
// non-blank block of the image) is read back with the kernel's CRC-checked block read and
// compared with the image. The block CRC only protects the transfer; a cell that stores a
// wrong value is seen here alone.
#include "target/FlashKernel.h"

#include <cstdint>
#include <functional>

class CFirmwareImage;

struct SVerifyResult
{
    // KR_OK; KR_VERIFY_FAILED when a byte differs; else the failing read's result.
    KernelResult nResult = KR_OK;
    // KR_VERIFY_FAILED: the lowest address whose byte differs.
    uint32_t dwFirstDifference = 0;
    uint32_t dwBlocksRead = 0;
};

// Reads back the image's non-blank blocks in address order through the kernel (attached to
// an open port at the kernel's speed). Before each block the sink gets the same percentage
// the programming step posts for it. Ends at the first difference or failing read, and with
// KR_NO_ANSWER when stopRequested returns true between blocks. Nothing is allocated: the
// 515-byte read reply lives on the stack.
SVerifyResult VerifyImage(CFlashKernel& kernel, const CFirmwareImage& image, IProgressSink* pSink,
                          const std::function<bool()>& stopRequested);
