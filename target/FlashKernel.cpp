#include "target/FlashKernel.h"

#include "serial/SerialIo.h"
#include "target/Crc16.h"
#include "target/PerfTimer.h"
#include "target/ProtocolClock.h"

#include <algorithm>

namespace
{
KernelResult ClassifyStatus(uint8_t byStatus)
{
    switch (byStatus)
    {
    case '0':
    case '1':
        return KR_OK;
    case '4':
        return KR_INVALID_COMMAND;
    default:
        return KR_UNKNOWN_ERROR;
    }
}

KernelResult ClassifyWriteReply(const uint8_t* pReply, uint32_t dwGot)
{
    if (dwGot == 1 && pReply[0] == '5')
    {
        return KR_CRC_ERROR;
    }
    if (dwGot != 2 || pReply[0] != '0')
    {
        return KR_BAD_REPLY;
    }
    if (pReply[1] == '1')
    {
        return KR_OK;
    }
    return pReply[1] == '4' ? KR_TRANSFER_ERROR : KR_BAD_REPLY;
}

void Report(IProgressSink* pSink, int nPercent)
{
    if (pSink != nullptr)
    {
        pSink->OnProgress(nPercent);
    }
}
} // namespace

CFlashKernel::CFlashKernel() : m_pClock(&SystemClock()) {}

void CFlashKernel::SetClock(IProtocolClock* pClock)
{
    m_pClock = pClock != nullptr ? pClock : &SystemClock();
}

KernelResult CFlashKernel::SendCommand(uint8_t byCode, uint32_t dwAddress)
{
    if (m_pPort == nullptr)
    {
        return KR_NO_ANSWER;
    }
    m_pPort->Purge(PURGE_RXCLEAR);
    const uint8_t frame[4] = {byCode, static_cast<uint8_t>(dwAddress), static_cast<uint8_t>(dwAddress >> 8),
                              static_cast<uint8_t>(dwAddress >> 16)};
    m_pPort->Write(frame, byCode == KCMD_PING ? 1u : 4u);
    return ReadStatus();
}

KernelResult CFlashKernel::ReadStatus()
{
    if (m_pPort == nullptr)
    {
        return KR_NO_ANSWER;
    }
    uint8_t byStatus = 0;
    if (m_pPort->Read(&byStatus, 1) != 1)
    {
        return KR_NO_ANSWER;
    }
    return ClassifyStatus(byStatus);
}

KernelResult CFlashKernel::Ping()
{
    return SendCommand(KCMD_PING, 0);
}

KernelResult CFlashKernel::EraseFlash(IProgressSink* pSink)
{
    KernelResult result = SendCommand(KCMD_ERASE, m_chip.StartAddress);
    if (result != KR_OK)
    {
        return result;
    }
    for (int nPoll = 0; nPoll < ERASE_POLLS; ++nPoll)
    {
        m_pClock->Sleep(ERASE_POLL_INTERVAL_MS);
        Report(pSink, nPoll * 100 / ERASE_POLLS);
        result = ReadStatus();
        if (result != KR_NO_ANSWER)
        {
            break;
        }
    }
    Report(pSink, 100);
    return result == KR_NO_ANSWER ? KR_TIMEOUT : result;
}

KernelResult CFlashKernel::BlankCheckFlash(IProgressSink* pSink)
{
    KernelResult result = SendCommand(KCMD_BLANK_CHECK, m_chip.StartAddress);
    if (result != KR_OK)
    {
        return result;
    }
    const CPerfTimer timer(true, m_pClock);
    double dElapsed = 0.0;
    do
    {
        const auto nScaled = static_cast<int64_t>(timer.ElapsedMilliseconds() * 100.0);
        Report(pSink, static_cast<int>(std::min<int64_t>(nScaled / 5000, 100)));
        result = ReadStatus();
        dElapsed = timer.ElapsedMilliseconds();
    } while (dElapsed <= BLANK_CHECK_LIMIT_MS && result == KR_NO_ANSWER);
    Report(pSink, 100);
    return result == KR_NO_ANSWER ? KR_TIMEOUT : result;
}

KernelResult CFlashKernel::WriteFlashBlock(uint8_t* pBuf, uint32_t dwAddress, uint32_t n)
{
    KernelResult result = KR_OK;
    for (int nAttempt = 0; nAttempt < 2; ++nAttempt)
    {
        result = SendCommand(KCMD_WRITE_BLOCK, dwAddress);
        if (result != KR_OK)
        {
            return result;
        }
        if (ReadStatus() != KR_OK)
        {
            return KR_NOT_READY;
        }
        const uint16_t wCrc = Crc16(pBuf, n);
        pBuf[n] = static_cast<uint8_t>(wCrc >> 8);
        pBuf[n + 1] = static_cast<uint8_t>(wCrc);
        m_pPort->Write(pBuf, n + 2);
        m_pPort->Flush();
        // The reply has its own area so the caller's block stays as it was for the retry.
        uint8_t reply[2] = {0, 0};
        const uint32_t dwGot = m_pPort->Read(reply, sizeof(reply));
        result = ClassifyWriteReply(reply, dwGot);
        if (result == KR_OK)
        {
            ++m_dwBlocksWritten;
        }
        if (result != KR_CRC_ERROR)
        {
            return result;
        }
        m_dwCrcRetries += nAttempt == 0 ? 1 : 0;
    }
    return result;
}

KernelResult CFlashKernel::ReadFlashBlock(uint8_t* pBuf, uint32_t dwAddress)
{
    KernelResult result = KR_OK;
    for (int nAttempt = 0; nAttempt < 2; ++nAttempt)
    {
        result = SendCommand(KCMD_READ_BLOCK, dwAddress);
        if (result != KR_OK)
        {
            return result;
        }
        result = ReadStatus();
        if (result != KR_OK)
        {
            return result;
        }
        // The reply needs most of its wire time to arrive; reading it as it trickles in would
        // wake the program once per byte. Waiting out nine tenths of that time first costs
        // nothing, as the read still ends when the last byte is in.
        if (m_chip.Baud2 != 0)
        {
            m_pClock->Sleep(READ_BLOCK_REPLY_SIZE * 10 * 900 / m_chip.Baud2);
        }
        if (m_pPort->Read(pBuf, READ_BLOCK_REPLY_SIZE) != READ_BLOCK_REPLY_SIZE)
        {
            return KR_SHORT_READ;
        }
        if (pBuf[KERNEL_BLOCK_SIZE + 2] != '1')
        {
            return KR_BAD_REPLY;
        }
        const uint16_t wCrc = Crc16(pBuf, KERNEL_BLOCK_SIZE);
        if (pBuf[KERNEL_BLOCK_SIZE] == static_cast<uint8_t>(wCrc >> 8) &&
            pBuf[KERNEL_BLOCK_SIZE + 1] == static_cast<uint8_t>(wCrc))
        {
            return KR_OK;
        }
        result = KR_CRC_ERROR;
        m_dwCrcRetries += nAttempt == 0 ? 1 : 0;
    }
    return result;
}

const char* CFlashKernel::ResultText(int nResult)
{
    switch (nResult)
    {
    case KR_NO_ANSWER:
    case KR_TIMEOUT:
        return "No answer from target.";
    case KR_NOT_READY:
        return "Target not ready.";
    case KR_INVALID_COMMAND:
    case KR_BAD_REPLY:
        return "Received invalid command.";
    case KR_UNKNOWN_ERROR:
    case KR_NO_IMAGE:
        return "Unknown error occured.";
    case KR_TRANSFER_ERROR:
    case KR_SHORT_READ:
        return "Error transferring data.";
    case KR_CRC_ERROR:
        return "CRC error.";
    case KR_VERIFY_FAILED:
        return "Flash differs from the image.";
    default:
        return "";
    }
}
