#include "target/KernelResources.h"

#include "target/kernels/EmbeddedKernels.h"

#include <algorithm>
#include <cstring>

namespace
{
// The stand-ins are a branch to itself followed by zero bytes.
bool IsStandIn(const SEmbeddedKernel& kernel)
{
    if (kernel.dwSize < 2 || kernel.pData[0] != 0x60 || kernel.pData[1] != 0xFE)
    {
        return false;
    }
    return std::all_of(kernel.pData + 2, kernel.pData + kernel.dwSize, [](uint8_t by) { return by == 0; });
}
} // namespace

bool FindKernelResource(uint32_t dwId, const char* pszType, SResourceData& data)
{
    if (pszType == nullptr || std::strcmp(pszType, "FLASH") != 0)
    {
        return false;
    }
    for (std::size_t i = 0; i < g_embeddedKernelCount; ++i)
    {
        if (g_embeddedKernels[i].dwId == dwId)
        {
            data.pData = g_embeddedKernels[i].pData;
            data.dwSize = g_embeddedKernels[i].dwSize;
            return true;
        }
    }
    return false;
}

bool KernelsAreStandIns()
{
    // Judged by content, so a kernel folder that holds stand-ins is not taken for real kernels.
    static const bool s_bStandIns =
        std::any_of(g_embeddedKernels, g_embeddedKernels + g_embeddedKernelCount, IsStandIn);
    return s_bStandIns;
}
