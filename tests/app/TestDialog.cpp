#include "tests/app/TestDialog.h"

namespace
{

void PostDone(IWorkerHost* pHost, intptr_t lParam)
{
    pHost->PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, lParam, {}});
}

} // namespace

SWorkerProcs MakeFakeWorkers(std::shared_ptr<SFakeUnit> pUnit)
{
    SWorkerProcs procs;
    procs.search = [pUnit](IWorkerHost* pHost) -> unsigned
    {
        ++pUnit->nSearches;
        if (pUnit->onSearch)
        {
            pUnit->onSearch(pHost);
        }
        pHost->UpdatePortList();
        std::vector<SSerInfo>& ports = pHost->Ports();
        ports.clear();
        SSerInfo port;
        port.devicePath = "/dev/ttyFAKE0";
        port.shortName = "ttyFAKE0";
        port.friendlyName = "Fake port 0";
        ports.push_back(port);
        pHost->PostWorkerMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, 20, {}});
        pHost->PostWorkerMessage(
            SWizardMessage{WM_WORKER_STATUS, STATUS_INFOLINE3, 0, ports[0].friendlyName});
        const bool bFound = pUnit->Next(pUnit->found, true);
        pHost->SetCurrentPort(bFound ? &ports[0] : nullptr);
        if (pUnit->bSearchPostsDone)
        {
            PostDone(pHost, bFound ? 1 : 0);
        }
        return 0;
    };
    procs.download = [pUnit](IWorkerHost* pHost) -> unsigned
    {
        ++pUnit->nDownloads;
        if (pUnit->onDownload)
        {
            pUnit->onDownload(pHost);
        }
        pHost->PostWorkerMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, 20, {}});
        pHost->SetDownloadOk(pUnit->Next(pUnit->downloadOk, true) ? 1 : 0);
        if (pUnit->bDownloadPostsDone)
        {
            PostDone(pHost, 0);
        }
        return 0;
    };
    procs.program = [pUnit](IWorkerHost* pHost) -> unsigned
    {
        ++pUnit->nPrograms;
        if (pUnit->onProgram)
        {
            pUnit->onProgram(pHost);
        }
        for (unsigned nPhase : {138U, 139U, 140U})
        {
            pHost->PostWorkerMessage(
                SWizardMessage{WM_WORKER_STATUS, STATUS_INFOLINE3, 0, pHost->LoadText(nPhase)});
            pHost->PostWorkerMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, 50, {}});
        }
        pHost->SetProgramResult(pUnit->Next(pUnit->programResult, 0));
        if (pUnit->bProgramPostsDone)
        {
            PostDone(pHost, 0);
        }
        return 0;
    };
    return procs;
}

CTestDlg::CTestDlg(IWizardView& view, std::shared_ptr<SFakeUnit> pUnit, std::vector<std::string>* pLog)
    : COrlixDlg(view, MakeFakeWorkers(pUnit)), m_pLog(pLog), m_pUnit(std::move(pUnit))
{
    SetAppName("orlix-test");
}

CTestDlg::CTestDlg(CFakeView& view, std::shared_ptr<SFakeUnit> pUnit)
    : CTestDlg(view, std::move(pUnit), &view.m_log)
{
}

bool CTestDlg::OpenPort()
{
    ++m_nOpens;
    m_bPortOpen = m_pUnit->Next(m_pUnit->openOk, true);
    if (m_pLog != nullptr)
    {
        m_pLog->push_back(m_bPortOpen ? "openport" : "openport failed");
    }
    return m_bPortOpen;
}

void CTestDlg::ClosePort()
{
    ++m_nCloses;
    m_bPortOpen = false;
    if (m_pLog != nullptr)
    {
        m_pLog->push_back("closeport");
    }
}

void CTestDlg::UpdatePortList()
{
    std::lock_guard<std::mutex> lock(m_pUnit->mutex);
    Holder().m_probeFailures = m_pUnit->probeFailures;
}
