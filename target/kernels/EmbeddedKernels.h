#pragma once
// The kernel images compiled into the program; the definitions are generated at build time
// from the .bin files. Only KernelResources.cpp reads them.
#include <cstddef>
#include <cstdint>

struct SEmbeddedKernel
{
    uint32_t dwId;
    const uint8_t* pData;
    uint32_t dwSize;
};

extern const SEmbeddedKernel g_embeddedKernels[];
extern const std::size_t g_embeddedKernelCount;
