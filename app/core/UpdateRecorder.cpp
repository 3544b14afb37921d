#include "app/core/UpdateRecorder.h"

#include "app/core/RecordFile.h"
#include "firmware/FirmwareImage.h"
#include "target/FlashKernel.h"
#include "target/workers/UnitSession.h"

void CUpdateRecorder::SetOptions(bool bAuto, bool bRepeat, bool bGroup, bool bVerify,
                                 const std::vector<std::string>& ports)
{
    m_common.bAuto = bAuto;
    m_common.bRepeat = bRepeat;
    m_common.bGroup = bGroup;
    m_common.bVerify = bVerify;
    m_common.ports = ports;
}

void CUpdateRecorder::SetFirmware(const std::string& strPath, const CFirmwareImage& image)
{
    m_common.strFirmwarePath = strPath;
    m_common.strFirmwareSha256 = IsOn() ? FileSha256(strPath) : std::string();
    m_common.strFirmwareName = image.GetName();
    m_common.strFirmwareVersion = image.GetVersion();
    m_common.strProcessor = image.GetProcessor();
}

SUpdateRecord CUpdateRecorder::Make(const char* pszOutcome, const SSerInfo* pPort,
                                    const CUnitSession* pSession,
                                    const std::vector<std::pair<std::string, double>>& phases) const
{
    SUpdateRecord record = m_common;
    record.time = std::chrono::system_clock::now();
    record.nAttempt = m_nAttempt;
    record.strOutcome = pszOutcome;
    if (pPort != nullptr)
    {
        record.strPortPath = pPort->devicePath;
        record.strPortName = pPort->friendlyName;
        record.strPortSerial = pPort->usbSerial;
    }
    record.phases = phases;
    if (pSession != nullptr && record.strOutcome != OUTCOME_PORT_ERROR &&
        record.strOutcome != OUTCOME_DOWNLOAD_FAILED)
    {
        record.nResult = pSession->m_nProgramResult;
        record.strResultText = CFlashKernel::ResultText(pSession->m_nProgramResult);
        if (pSession->m_nProgramResult == KR_VERIFY_FAILED)
        {
            record.strOutcome = OUTCOME_VERIFY_FAILED;
            record.firstDifference = pSession->m_dwFirstDifference;
        }
        record.phases.insert(record.phases.end(), pSession->m_phaseSeconds.begin(),
                             pSession->m_phaseSeconds.end());
        record.dwBlocksWritten = pSession->m_dwBlocksWritten;
        record.dwCrcRetries = pSession->m_dwCrcRetries;
        record.bVerified = pSession->m_bVerified;
    }
    return record;
}

bool CUpdateRecorder::Write(const SUpdateRecord& record, std::string& strError) const
{
    return !IsOn() || AppendRecordLine(m_strPath, FormatUpdateRecord(record), strError);
}
