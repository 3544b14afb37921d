#pragma once
#include <cstdint>

// The flash kernels embedded in the program, found like resources: by numeric id and the
// type name "FLASH".
struct SResourceData
{
    const uint8_t* pData = nullptr;
    uint32_t dwSize = 0;
};

// True and the bytes when the program carries a resource of that id and type.
bool FindKernelResource(uint32_t dwId, const char* pszType, SResourceData& data);

// True when this build carries the harmless stand-in kernels instead of real ones.
bool KernelsAreStandIns();

// The sentence that says so, for banners and About boxes.
inline constexpr const char* STAND_IN_KERNEL_NOTICE =
    "this build carries stand-in flash kernels and can update only the simulated unit";
