#pragma once
// PC side of the exchange with the microcontroller's serial boot ROM: check that a boot ROM
// answers, write the flash kernel into target RAM, and move both ends to the kernel's speed.
#include "target/ChipDef.h"

#include <cstdint>

class IProtocolClock;
class ISerialIo;

// Results of the boot-ROM operations; callers only tell zero from non-zero.
inline constexpr int BOOTROM_OK = 0;
inline constexpr int BOOTROM_NO_REPLY = 1;     // silence, a wrong reply byte or a short write
inline constexpr int BOOTROM_CANNOT_START = 3; // port not open, no kernel, no memory, unsendable frame

// Bytes of the exchange.
inline constexpr uint8_t BOOTROM_SYNC = 0x18;
inline constexpr uint8_t BOOTROM_SYNC_REPLY = 0x11;
inline constexpr uint8_t BOOTROM_DOWNLOAD_REPLY = 0x01;

// Resource type name of the flash kernels.
inline constexpr const char* KERNEL_RESOURCE_TYPE = "FLASH";

class CBootRomLoader
{
public:
    CBootRomLoader();

    // The port is not owned and must outlive the calls; nullptr counts as a closed port.
    void AttachPort(ISerialIo* pPort) { m_pPort = pPort; }
    void SetChip(const SChipDef& chip) { m_chip = chip; }
    // The clock the wait after the speed switch goes through; nullptr selects SystemClock().
    void SetClock(IProtocolClock* pClock);

    // Sends this image instead of the embedded kernel of the chip's ResourceId. The bytes are
    // not copied and must outlive the calls. UseEmbeddedKernel goes back to the lookup.
    void SetKernel(const uint8_t* pData, uint32_t dwSize);
    void UseEmbeddedKernel();

    const SChipDef& GetChip() const { return m_chip; }

    // Sends 0x18 and expects 0x11. BOOTROM_OK, BOOTROM_NO_REPLY or BOOTROM_CANNOT_START.
    int Synchronize();
    // Sends the kernel in one frame to the chip's LoadAddress and expects 0x01.
    // BOOTROM_OK, BOOTROM_NO_REPLY or BOOTROM_CANNOT_START (also when the image or the load
    // address does not fit the frame's 16-bit fields, so nothing truncated is ever sent).
    int DownloadKernel();
    // Sends the switch frame, moves the port to the chip's Baud2 and waits 100 ms.
    // Always BOOTROM_OK: whether the target followed shows at the first kernel command.
    int SwitchToBaud2();

private:
    bool PortOpen() const;

    ISerialIo* m_pPort = nullptr;
    SChipDef m_chip;
    IProtocolClock* m_pClock;
    const uint8_t* m_pKernelOverride = nullptr;
    uint32_t m_dwKernelOverrideSize = 0;
    bool m_bKernelOverride = false;
};
