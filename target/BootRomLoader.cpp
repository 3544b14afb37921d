#include "target/BootRomLoader.h"

#include "serial/SerialIo.h"
#include "target/KernelResources.h"
#include "target/ProtocolClock.h"

#include <memory>
#include <new>

namespace
{
// Header of the download frame: 0x00, load address and length, both big-endian 16 bit.
constexpr uint32_t DOWNLOAD_HEADER_SIZE = 5;
constexpr uint8_t SWITCH_FRAME[5] = {0x40, 0x00, 0x00, 0x00, 0x00};
constexpr uint32_t SWITCH_SETTLE_MS = 100;
} // namespace

CBootRomLoader::CBootRomLoader() : m_pClock(&SystemClock()) {}

void CBootRomLoader::SetClock(IProtocolClock* pClock)
{
    m_pClock = pClock != nullptr ? pClock : &SystemClock();
}

void CBootRomLoader::SetKernel(const uint8_t* pData, uint32_t dwSize)
{
    m_pKernelOverride = pData;
    m_dwKernelOverrideSize = dwSize;
    m_bKernelOverride = true;
}

void CBootRomLoader::UseEmbeddedKernel()
{
    m_pKernelOverride = nullptr;
    m_dwKernelOverrideSize = 0;
    m_bKernelOverride = false;
}

bool CBootRomLoader::PortOpen() const
{
    return m_pPort != nullptr && m_pPort->IsOpen();
}

int CBootRomLoader::Synchronize()
{
    if (!PortOpen())
    {
        return BOOTROM_CANNOT_START;
    }
    m_pPort->Purge(PURGE_RXCLEAR);
    const uint8_t bySync = BOOTROM_SYNC;
    m_pPort->Write(&bySync, 1);
    uint8_t byReply = 0;
    const uint32_t dwGot = m_pPort->Read(&byReply, 1);
    return dwGot == 1 && byReply == BOOTROM_SYNC_REPLY ? BOOTROM_OK : BOOTROM_NO_REPLY;
}

int CBootRomLoader::DownloadKernel()
{
    if (!PortOpen())
    {
        return BOOTROM_CANNOT_START;
    }
    SResourceData kernel;
    if (m_bKernelOverride)
    {
        kernel.pData = m_pKernelOverride;
        kernel.dwSize = m_dwKernelOverrideSize;
    }
    else if (!FindKernelResource(m_chip.ResourceId, KERNEL_RESOURCE_TYPE, kernel))
    {
        return BOOTROM_CANNOT_START;
    }
    if (kernel.pData == nullptr && kernel.dwSize != 0)
    {
        return BOOTROM_CANNOT_START;
    }
    // The frame carries only 16 bits of address and length; anything larger would be loaded
    // truncated or at the wrong place, so it is refused instead of sent.
    if (kernel.dwSize > 0xFFFFu || m_chip.LoadAddress > 0xFFFFu)
    {
        return BOOTROM_CANNOT_START;
    }

    const uint32_t dwFrameSize = kernel.dwSize + DOWNLOAD_HEADER_SIZE + 1;
    std::unique_ptr<uint8_t[]> pFrame(new (std::nothrow) uint8_t[dwFrameSize]);
    if (!pFrame)
    {
        return BOOTROM_CANNOT_START;
    }
    pFrame[0] = 0x00;
    pFrame[1] = static_cast<uint8_t>(m_chip.LoadAddress >> 8);
    pFrame[2] = static_cast<uint8_t>(m_chip.LoadAddress);
    pFrame[3] = static_cast<uint8_t>(kernel.dwSize >> 8);
    pFrame[4] = static_cast<uint8_t>(kernel.dwSize);
    unsigned nSum = 0;
    for (uint32_t i = 0; i < DOWNLOAD_HEADER_SIZE; ++i)
    {
        nSum += pFrame[i];
    }
    for (uint32_t i = 0; i < kernel.dwSize; ++i)
    {
        pFrame[DOWNLOAD_HEADER_SIZE + i] = kernel.pData[i];
        nSum += kernel.pData[i];
    }
    pFrame[dwFrameSize - 1] = static_cast<uint8_t>(nSum);

    m_pPort->Purge(PURGE_RXCLEAR);
    // A short write is not checked here: it shows up as a missing or wrong reply.
    m_pPort->Write(pFrame.get(), dwFrameSize);
    // The reply time-out must start only once the whole frame has left.
    m_pPort->Flush();
    pFrame.reset();

    uint8_t byReply = 0;
    const uint32_t dwGot = m_pPort->Read(&byReply, 1);
    return dwGot == 1 && byReply == BOOTROM_DOWNLOAD_REPLY ? BOOTROM_OK : BOOTROM_NO_REPLY;
}

int CBootRomLoader::SwitchToBaud2()
{
    if (m_pPort != nullptr)
    {
        // No purge: whatever the kernel sends as it starts is read and dropped below.
        m_pPort->Write(SWITCH_FRAME, sizeof(SWITCH_FRAME));
        m_pPort->Flush();
        uint8_t byIgnored = 0;
        m_pPort->Read(&byIgnored, 1);
        m_pPort->SetBaudRate(m_chip.Baud2);
    }
    m_pClock->Sleep(SWITCH_SETTLE_MS);
    return BOOTROM_OK;
}
