#include "sim/SimDevice.h"

#include "target/Crc16.h"

#include <algorithm>
#include <cstdio>

std::string SimHex(uint32_t dwValue, int nDigits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", nDigits, dwValue);
    return buf;
}

const char* SimCommandName(uint8_t byCommand)
{
    switch (byCommand)
    {
    case 0x08:
        return "write block";
    case 0x28:
        return "read block";
    case 0x38:
        return "erase";
    case 0x48:
        return "blank check";
    default:
        return "command";
    }
}

CSimDevice::CSimDevice(SSimConfig config, ISimEvents* pEvents)
    : m_config(std::move(config)), m_pEvents(pEvents), m_dwRefusalsLeft(m_config.faults.dwRefuseDownloads),
      m_crcOnceLeft(m_config.faults.crcOnce)
{
    m_flash.resize(m_config.chip.FlashSize);
    for (uint32_t i = 0; i < m_config.chip.FlashSize; ++i)
    {
        m_flash[i] = OldFirmwareByte(i);
    }
}

uint8_t CSimDevice::OldFirmwareByte(uint32_t dwOffset)
{
    // One set bit every 16 bytes, the rest zero: not blank, and almost any new data needs
    // bits to go from 0 to 1, which only an erase allows.
    if ((dwOffset & 0x0F) != 0)
    {
        return 0x00;
    }
    return static_cast<uint8_t>(1u << ((dwOffset >> 4) & 7));
}

uint32_t CSimDevice::ListeningBaud() const
{
    switch (m_ePhase)
    {
    case ESimPhase::BootRom:
        return m_config.chip.Baud;
    case ESimPhase::Kernel:
        return m_config.chip.Baud2;
    default:
        return 0;
    }
}

void CSimDevice::Event(ESimEvent eKind, const std::string& strText)
{
    if (eKind == ESimEvent::Violation)
    {
        ++m_dwViolations;
    }
    if (m_pEvents != nullptr)
    {
        m_pEvents->OnSimEvent(eKind, strText);
    }
}

void CSimDevice::Violation(const std::string& strText)
{
    Event(ESimEvent::Violation, strText);
}

void CSimDevice::Send(uint8_t by)
{
    m_output.push_back({by, ListeningBaud()});
}

std::vector<SSimOutByte> CSimDevice::TakeOutput()
{
    std::vector<SSimOutByte> out;
    out.swap(m_output);
    return out;
}

void CSimDevice::DropByte(uint8_t by, const SLineState& line, uint32_t dwExpectedBaud)
{
    ++m_dwDroppedBytes;
    if (m_bInDropRun)
    {
        return; // one message per run of garbage; the protocol log has every byte
    }
    m_bInDropRun = true;
    if (m_ePhase == ESimPhase::Hung)
    {
        Event(ESimEvent::Info, "the unit hangs and ignores byte " + SimHex(by, 2) +
                                   " (reset it: set the line to " + std::to_string(m_config.chip.Baud) +
                                   " bit/s)");
        return;
    }
    std::string strWhy =
        line.bFormatOk ? std::to_string(line.dwBaud) + " bit/s" : "a frame format other than 8N1";
    Violation("byte " + SimHex(by, 2) + " sent at " + strWhy + " is garbage to the unit, which listens at " +
              std::to_string(dwExpectedBaud) + " bit/s 8N1: dropped (and any that follow)");
}

void CSimDevice::Reset(SimTime)
{
    m_ePhase = ESimPhase::BootRom;
    m_eBootState = EBootState::Idle;
    m_eKernelState = EKernelState::Idle;
    m_frame.clear();
    m_dwFrameNeed = 0;
    m_frameDeadline.reset();
    m_busyUntil.reset();
    m_bKernelLoaded = false;
    m_bInDropRun = false;
    m_output.clear();
    Event(ESimEvent::Info, "reset: the boot ROM listens at " + std::to_string(m_config.chip.Baud) + " bit/s");
}

void CSimDevice::OnLineChange(const SLineState& line, SimTime t)
{
    const bool bSpeedChanged = m_lastLine.has_value() && m_lastLine->dwBaud != line.dwBaud;
    m_lastLine = line;
    m_bInDropRun = false;
    if (bSpeedChanged && line.dwBaud == m_config.chip.Baud &&
        (m_ePhase == ESimPhase::Kernel || m_ePhase == ESimPhase::Hung))
    {
        Reset(t);
    }
}

void CSimDevice::Receive(uint8_t by, const SLineState& line, SimTime t)
{
    if (m_ePhase == ESimPhase::Vanished)
    {
        return;
    }
    if ((m_ePhase == ESimPhase::Kernel || m_ePhase == ESimPhase::Hung) && line.bFormatOk &&
        line.dwBaud == m_config.chip.Baud && m_config.chip.Baud != m_config.chip.Baud2)
    {
        Reset(t);
    }
    const uint32_t dwExpected = ListeningBaud();
    if (m_ePhase == ESimPhase::Hung || !line.bFormatOk || line.dwBaud != dwExpected)
    {
        DropByte(by, line, dwExpected);
        return;
    }
    m_bInDropRun = false;
    if (m_ePhase == ESimPhase::BootRom)
    {
        ReceiveBootRom(by, t);
    }
    else
    {
        ReceiveKernel(by, t);
    }
}

void CSimDevice::ReceiveBootRom(uint8_t by, SimTime t)
{
    switch (m_eBootState)
    {
    case EBootState::Idle:
        if (by == 0x18)
        {
            if (m_config.faults.bNoSync)
            {
                Event(ESimEvent::Fault, "sync not answered (--fault no-sync)");
            }
            else if (m_config.faults.bBadSync)
            {
                Event(ESimEvent::Fault,
                      "sync answered with " + SimHex(SIM_BAD_SYNC_REPLY, 2) + " (--fault bad-sync)");
                Send(SIM_BAD_SYNC_REPLY);
            }
            else
            {
                Send(SIM_SYNC_REPLY);
            }
        }
        else if (by == 0x00 || by == 0x40)
        {
            m_eBootState = by == 0x00 ? EBootState::DownloadHeader : EBootState::SwitchFrame;
            m_frame.assign(1, by);
            m_dwFrameNeed = 4;
            m_frameDeadline = t + SIM_FRAME_GAP_LIMIT;
        }
        else
        {
            Violation("boot ROM: unexpected byte " + SimHex(by, 2) + " ignored");
        }
        return;
    case EBootState::DownloadHeader:
    case EBootState::DownloadBody:
    case EBootState::SwitchFrame:
        m_frame.push_back(by);
        m_frameDeadline = t + SIM_FRAME_GAP_LIMIT;
        if (--m_dwFrameNeed != 0)
        {
            return;
        }
        if (m_eBootState == EBootState::DownloadHeader)
        {
            // Image length, then the checksum byte.
            m_dwFrameNeed = ((uint32_t{m_frame[3]} << 8) | m_frame[4]) + 1;
            m_eBootState = EBootState::DownloadBody;
            return;
        }
        m_frameDeadline.reset();
        if (m_eBootState == EBootState::DownloadBody)
        {
            m_eBootState = EBootState::Idle;
            FinishDownloadFrame();
        }
        else
        {
            m_eBootState = EBootState::Idle;
            FinishSwitchFrame(t);
        }
        m_frame.clear();
        return;
    }
}

void CSimDevice::FinishDownloadFrame()
{
    const uint32_t dwAddress = (uint32_t{m_frame[1]} << 8) | m_frame[2];
    const uint32_t dwLength = (uint32_t{m_frame[3]} << 8) | m_frame[4];
    uint32_t dwSum = 0;
    for (size_t i = 0; i + 1 < m_frame.size(); ++i)
    {
        dwSum += m_frame[i];
    }
    dwSum &= 0xFF;
    const uint8_t byChecksum = m_frame.back();
    m_bKernelLoaded = false;
    if (byChecksum != dwSum)
    {
        Violation("download frame of " + std::to_string(dwLength) + " bytes: checksum " +
                  SimHex(byChecksum, 2) + ", but the bytes add up to " + SimHex(dwSum, 2) + "; refused");
        Send(SIM_DOWNLOAD_REFUSED);
        return;
    }
    if (dwAddress != m_config.chip.LoadAddress)
    {
        Violation("download frame: load address " + SimHex(dwAddress, 4) + ", but the kernel must go to " +
                  SimHex(m_config.chip.LoadAddress, 4) + "; refused");
        Send(SIM_DOWNLOAD_REFUSED);
        return;
    }
    if (dwLength == 0)
    {
        Violation("download frame without an image; refused");
        Send(SIM_DOWNLOAD_REFUSED);
        return;
    }
    if (m_dwRefusalsLeft > 0)
    {
        --m_dwRefusalsLeft;
        Event(ESimEvent::Fault, "download refused (--fault refuse-download, " +
                                    std::to_string(m_dwRefusalsLeft) + " more to refuse)");
        Send(SIM_DOWNLOAD_REFUSED);
        return;
    }
    m_kernel.assign(m_frame.begin() + 5, m_frame.end() - 1);
    m_bKernelLoaded = true;
    Event(ESimEvent::Info,
          "kernel of " + std::to_string(dwLength) + " bytes loaded at " + SimHex(dwAddress, 4));
    Send(SIM_DOWNLOAD_OK);
}

void CSimDevice::FinishSwitchFrame(SimTime)
{
    if (std::any_of(m_frame.begin() + 1, m_frame.end(), [](uint8_t by) { return by != 0; }))
    {
        Violation("switch frame 0x40 must be followed by four zero bytes; ignored");
        return;
    }
    Send(SIM_SWITCH_REPLY);
    if (!m_bKernelLoaded)
    {
        Violation("switch frame without a downloaded kernel: the unit hangs until reset");
        m_ePhase = ESimPhase::Hung;
        return;
    }
    if (!m_config.expectedKernel.empty() && m_kernel != m_config.expectedKernel)
    {
        Violation("the downloaded kernel (" + std::to_string(m_kernel.size()) +
                  " bytes) is not the one for " + m_config.chip.Name + " (" +
                  std::to_string(m_config.expectedKernel.size()) + " bytes): the unit hangs until reset");
        m_ePhase = ESimPhase::Hung;
        return;
    }
    m_ePhase = ESimPhase::Kernel;
    m_eKernelState = EKernelState::Idle;
    Event(ESimEvent::Info, "kernel runs at " + std::to_string(m_config.chip.Baud2) + " bit/s");
}

std::optional<SimTime> CSimDevice::NextDeadline() const
{
    if (m_frameDeadline && m_busyUntil)
    {
        return std::min(*m_frameDeadline, *m_busyUntil);
    }
    return m_frameDeadline ? m_frameDeadline : m_busyUntil;
}

void CSimDevice::Advance(SimTime now)
{
    if (m_ePhase == ESimPhase::Vanished)
    {
        return;
    }
    if (m_busyUntil && now >= *m_busyUntil)
    {
        CompleteBusy();
    }
    if (m_frameDeadline && now >= *m_frameDeadline)
    {
        m_frameDeadline.reset();
        std::string strWhat;
        if (m_ePhase == ESimPhase::BootRom)
        {
            strWhat = m_eBootState == EBootState::SwitchFrame ? "switch frame" : "download frame";
            m_eBootState = EBootState::Idle;
        }
        else
        {
            strWhat = std::string(SimCommandName(m_byCommand)) +
                      (m_eKernelState == EKernelState::WriteData ? " data" : " address");
            m_eKernelState = EKernelState::Idle;
        }
        Violation("incomplete " + strWhat + " dropped: " + std::to_string(m_frame.size()) + " bytes, then " +
                  std::to_string(SIM_FRAME_GAP_LIMIT.count()) + " ms of silence");
        m_frame.clear();
    }
}
