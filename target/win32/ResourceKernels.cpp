// The built-in flash kernels of a Windows program: resources of type "FLASH" in the program's
// own resource section (linked in by orlix_windows_program() in cmake/WindowsPrograms.cmake).
// This takes the place of the byte arrays a POSIX build compiles in, so the lookup by id
// stays the same on both.
#include "target/kernels/EmbeddedKernels.h"

#include <windows.h>

namespace
{
// A kernel missing from the program gets id 0, which no processor asks for, so the download
// reports the resource as not found instead of sending an empty image.
SEmbeddedKernel FromResource(uint32_t dwId)
{
    HRSRC hInfo = FindResourceA(nullptr, MAKEINTRESOURCEA(dwId), "FLASH");
    HGLOBAL hData = hInfo != nullptr ? LoadResource(nullptr, hInfo) : nullptr;
    const void* pData = hData != nullptr ? LockResource(hData) : nullptr;
    if (pData == nullptr)
    {
        return {0, nullptr, 0};
    }
    return {dwId, static_cast<const uint8_t*>(pData), SizeofResource(nullptr, hInfo)};
}
} // namespace

// Resources stay mapped for the life of the process, so the pointers never dangle.
const SEmbeddedKernel g_embeddedKernels[] = {ORLIX_KERNEL_RESOURCE_LIST};
const std::size_t g_embeddedKernelCount = sizeof g_embeddedKernels / sizeof g_embeddedKernels[0];
