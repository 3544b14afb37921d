// The unit once its flash kernel runs: the command frames, the block transfers with their CRC,
// and the erase and blank check that keep the kernel busy for a while. SimDevice.cpp holds the
// boot ROM, the line and the time.
#include "sim/SimDevice.h"

#include "target/Crc16.h"

#include <algorithm>

void CSimDevice::ReceiveKernel(uint8_t by, SimTime t)
{
    switch (m_eKernelState)
    {
    case EKernelState::Idle:
        if (by == 0xE8)
        {
            if (m_config.faults.bNoPing)
            {
                Event(ESimEvent::Fault, "ping not answered (--fault no-ping)");
            }
            else
            {
                Send(SIM_STATUS_DONE);
            }
        }
        else if (by == 0x08 || by == 0x28 || by == 0x38 || by == 0x48)
        {
            m_byCommand = by;
            m_frame.clear();
            m_dwFrameNeed = 3;
            m_eKernelState = EKernelState::Address;
            m_frameDeadline = t + SIM_FRAME_GAP_LIMIT;
        }
        else
        {
            Violation("kernel: unknown command " + SimHex(by, 2) + ", answered '4'");
            Send(SIM_STATUS_INVALID);
        }
        return;
    case EKernelState::Address:
    case EKernelState::WriteData:
        m_frame.push_back(by);
        m_frameDeadline = t + SIM_FRAME_GAP_LIMIT;
        if (--m_dwFrameNeed != 0)
        {
            return;
        }
        m_frameDeadline.reset();
        if (m_eKernelState == EKernelState::Address)
        {
            m_dwCommandAddress = m_frame[0] | (uint32_t{m_frame[1]} << 8) | (uint32_t{m_frame[2]} << 16);
            m_eKernelState = EKernelState::Idle;
            StartCommand(t);
        }
        else
        {
            m_eKernelState = EKernelState::Idle;
            FinishWriteBlock();
        }
        return;
    case EKernelState::Busy:
        if (!m_bBusyNoticed)
        {
            Violation(std::string("byte ") + SimHex(by, 2) + " sent while the kernel is busy with its " +
                      SimCommandName(m_byCommand) + ": ignored (and any that follow)");
        }
        m_bBusyNoticed = true;
        ++m_dwDroppedBytes;
        return;
    }
}

bool CSimDevice::CheckStartAddress(uint32_t dwAddress, const char* pszWhat)
{
    if (dwAddress == m_config.chip.StartAddress)
    {
        return true;
    }
    Violation(std::string(pszWhat) + " from " + SimHex(dwAddress, 6) + ", but the flash starts at " +
              SimHex(m_config.chip.StartAddress, 6) + "; answered '4'");
    return false;
}

bool CSimDevice::CheckBlockAddress(uint32_t dwAddress, const char* pszWhat)
{
    const uint32_t dwStart = m_config.chip.StartAddress;
    const uint32_t dwSize = static_cast<uint32_t>(m_flash.size());
    if (dwAddress < dwStart || dwSize < SIM_BLOCK_SIZE || dwAddress - dwStart > dwSize - SIM_BLOCK_SIZE)
    {
        Violation(std::string(pszWhat) + " at " + SimHex(dwAddress, 6) +
                  ": the block is not inside the flash " + SimHex(dwStart, 6) + ".." +
                  SimHex(m_config.chip.EndAddress, 6) + "; answered '4'");
        return false;
    }
    if ((dwAddress - dwStart) % SIM_BLOCK_SIZE != 0)
    {
        Violation(std::string(pszWhat) + " at " + SimHex(dwAddress, 6) +
                  ": not on a 512-byte block boundary; answered '4'");
        return false;
    }
    return true;
}

void CSimDevice::StartCommand(SimTime t)
{
    const uint32_t dwAddress = m_dwCommandAddress;
    switch (m_byCommand)
    {
    case 0x38:
    case 0x48:
    {
        const bool bErase = m_byCommand == 0x38;
        if (!CheckStartAddress(dwAddress, SimCommandName(m_byCommand)))
        {
            Send(SIM_STATUS_INVALID);
            return;
        }
        Send(SIM_STATUS_ACCEPTED);
        m_eKernelState = EKernelState::Busy;
        m_bBusyNoticed = false;
        const bool bHangs = bErase ? m_config.faults.bEraseHangs : m_config.faults.bBlankHangs;
        if (bHangs)
        {
            m_busyUntil.reset();
            Event(ESimEvent::Fault, std::string(SimCommandName(m_byCommand)) + " never completes (--fault " +
                                        (bErase ? "erase-hangs" : "blank-hangs") + ")");
        }
        else
        {
            m_busyUntil = t + std::chrono::milliseconds(bErase ? m_config.dwEraseMs : m_config.dwBlankMs);
            Event(ESimEvent::Info, std::string(SimCommandName(m_byCommand)) + " started");
        }
        return;
    }
    case 0x08:
        if (!CheckBlockAddress(dwAddress, "write block"))
        {
            Send(SIM_STATUS_INVALID);
            return;
        }
        Send(SIM_STATUS_ACCEPTED);
        Send(SIM_STATUS_DONE); // ready for the data
        m_frame.clear();
        m_dwFrameNeed = SIM_BLOCK_SIZE + 2;
        m_eKernelState = EKernelState::WriteData;
        m_frameDeadline = t + SIM_FRAME_GAP_LIMIT;
        return;
    case 0x28:
        if (!CheckBlockAddress(dwAddress, "read block"))
        {
            Send(SIM_STATUS_INVALID);
            return;
        }
        Send(SIM_STATUS_ACCEPTED);
        Send(SIM_STATUS_DONE);
        SendReadBlock(dwAddress);
        return;
    default:
        return;
    }
}

void CSimDevice::SendReadBlock(uint32_t dwAddress)
{
    const uint8_t* pBlock = m_flash.data() + (dwAddress - m_config.chip.StartAddress);
    for (uint32_t i = 0; i < SIM_BLOCK_SIZE; ++i)
    {
        Send(pBlock[i]);
    }
    const uint16_t wCrc = Crc16(pBlock, SIM_BLOCK_SIZE);
    Send(static_cast<uint8_t>(wCrc >> 8));
    Send(static_cast<uint8_t>(wCrc & 0xFF));
    Send(SIM_STATUS_DONE);
}

void CSimDevice::FinishWriteBlock()
{
    const uint32_t dwAddress = m_dwCommandAddress;
    const uint8_t* pData = m_frame.data();
    const uint16_t wReceived =
        static_cast<uint16_t>((m_frame[SIM_BLOCK_SIZE] << 8) | m_frame[SIM_BLOCK_SIZE + 1]);
    const uint16_t wActual = Crc16(pData, SIM_BLOCK_SIZE);
    const SSimFaults& faults = m_config.faults;
    if (wReceived != wActual)
    {
        Violation("write block at " + SimHex(dwAddress, 6) + ": CRC " + SimHex(wReceived, 4) +
                  " sent, but the data's CRC is " + SimHex(wActual, 4) + "; answered '5'");
        Send(SIM_STATUS_CRC_ERROR);
        return;
    }
    if (faults.crcAlways.count(dwAddress) != 0 || m_crcOnceLeft.erase(dwAddress) != 0)
    {
        Event(ESimEvent::Fault, "write block at " + SimHex(dwAddress, 6) + " answered '5' (--fault crc-" +
                                    (faults.crcAlways.count(dwAddress) != 0 ? "always" : "once") + ")");
        Send(SIM_STATUS_CRC_ERROR);
        return;
    }
    if (faults.writeFails.count(dwAddress) != 0)
    {
        Event(ESimEvent::Fault,
              "write block at " + SimHex(dwAddress, 6) + " answered \"04\" (--fault write-fails)");
        Send('0');
        Send('4');
        return;
    }
    // Flash cells are programmed by clearing bits; only an erase sets them again.
    uint8_t* pFlash = m_flash.data() + (dwAddress - m_config.chip.StartAddress);
    const uint8_t* pMismatch = nullptr;
    bool bChanged = false;
    for (uint32_t i = 0; i < SIM_BLOCK_SIZE; ++i)
    {
        if ((pData[i] & ~pFlash[i]) != 0 && pMismatch == nullptr)
        {
            pMismatch = pFlash + i;
        }
        const uint8_t byNew = static_cast<uint8_t>(pFlash[i] & pData[i]);
        bChanged = bChanged || byNew != pFlash[i];
        pFlash[i] = byNew;
    }
    if (bChanged)
    {
        ++m_qwFlashGeneration;
    }
    if (pMismatch != nullptr)
    {
        const auto dwAt = dwAddress + static_cast<uint32_t>(pMismatch - pFlash);
        Violation("write block at " + SimHex(dwAddress, 6) + ": the byte at " + SimHex(dwAt, 6) +
                  " would need bits to go from 0 to 1 (flash not erased); answered \"04\"");
        Send('0');
        Send('4');
        return;
    }
    // A weak cell: the CRC of the transfer was right, yet the cell holds another value.
    for (auto it = faults.weakCells.lower_bound(dwAddress);
         it != faults.weakCells.end() && *it - dwAddress < SIM_BLOCK_SIZE; ++it)
    {
        pFlash[*it - dwAddress] ^= 0x01;
        ++m_qwFlashGeneration;
        Event(ESimEvent::Fault, "byte at " + SimHex(*it, 6) + " stored as " +
                                    SimHex(pFlash[*it - dwAddress], 2) + " instead of " +
                                    SimHex(pData[*it - dwAddress], 2) + " (--fault weak-cell)");
    }
    ++m_dwProgrammedBlocks;
    Send('0');
    Send('1');
    if (faults.vanishAfter && m_dwProgrammedBlocks >= *faults.vanishAfter)
    {
        Event(ESimEvent::Fault, "the unit goes away after " + std::to_string(m_dwProgrammedBlocks) +
                                    " programmed blocks (--fault vanish-after)");
        m_ePhase = ESimPhase::Vanished;
        m_frameDeadline.reset();
        m_busyUntil.reset();
    }
}

void CSimDevice::CompleteBusy()
{
    m_busyUntil.reset();
    m_eKernelState = EKernelState::Idle;
    if (m_byCommand == 0x38)
    {
        std::fill(m_flash.begin(), m_flash.end(), uint8_t{0xFF});
        ++m_qwFlashGeneration;
        Event(ESimEvent::Info, "flash erased");
        Send(SIM_STATUS_DONE);
        return;
    }
    const auto it = std::find_if(m_flash.begin(), m_flash.end(), [](uint8_t by) { return by != 0xFF; });
    if (m_config.faults.bBlankFails)
    {
        Event(ESimEvent::Fault, "blank check reports the flash not blank (--fault blank-fails)");
        Send(SIM_STATUS_NOT_BLANK);
    }
    else if (it != m_flash.end())
    {
        const auto dwAt = m_config.chip.StartAddress + static_cast<uint32_t>(it - m_flash.begin());
        Event(ESimEvent::Info,
              "blank check: the flash is not blank at " + SimHex(dwAt, 6) + "; answered '2'");
        Send(SIM_STATUS_NOT_BLANK);
    }
    else
    {
        Event(ESimEvent::Info, "blank check: the flash is blank");
        Send(SIM_STATUS_DONE);
    }
}
