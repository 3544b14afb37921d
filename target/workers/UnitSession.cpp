#include "target/workers/UnitSession.h"

#include "serial/PortHolder.h"

namespace
{

// The real line: CPortHolder opens and closes the port under the device's port lock.
class CSerialLine final : public IUnitLine
{
public:
    std::vector<SSerInfo> ListPorts(const std::vector<std::string>& explicitPaths,
                                    std::vector<SPortProbeFailure>& failures) override
    {
        m_holder.m_explicitPorts = explicitPaths;
        m_holder.m_probeFailures.clear();
        m_holder.UpdatePortList();
        failures = m_holder.m_probeFailures;
        return m_holder.m_ports;
    }
    bool Open(const SSerInfo& record) override
    {
        // The holder opens its current record; it keeps its own copy, so the session's list
        // may change while the port is open.
        m_holder.ClosePort();
        m_holder.m_ports.assign(1, record);
        m_holder.m_currentPort = m_holder.m_ports.data();
        return m_holder.OpenPort();
    }
    void Close() override { m_holder.ClosePort(); }
    ISerialIo& Io() override { return m_holder.m_port; }
    void Interrupt() override { m_holder.m_port.Interrupt(); }

private:
    CPortHolder m_holder;
};

} // namespace

std::unique_ptr<IUnitLine> MakeSerialLine()
{
    return std::make_unique<CSerialLine>();
}

CUnitSession::CUnitSession(unsigned nIndex, std::unique_ptr<IUnitLine> pLine)
    : m_nIndex(nIndex), m_pLine(pLine ? std::move(pLine) : MakeSerialLine())
{
}

CUnitSession::~CUnitSession()
{
    ClosePort();
}

void CUnitSession::UpdatePortList()
{
    // The records are about to be replaced; a pointer into the old list would dangle.
    m_currentPort = nullptr;
    m_ports.clear();
    m_probeFailures.clear();
    m_ports = m_pLine->ListPorts(m_explicitPorts, m_probeFailures);
}

bool CUnitSession::OpenPort()
{
    if (m_currentPort == nullptr)
    {
        return false;
    }
    return m_pLine->Open(*m_currentPort);
}

void CUnitSession::ClosePort()
{
    m_pLine->Close();
}

ISerialIo& CUnitSession::Port()
{
    return m_pLine->Io();
}

void CUnitSession::Interrupt()
{
    m_pLine->Interrupt();
}

void CUnitSession::SetFailed(EUnitStep step)
{
    switch (step)
    {
    case EUnitStep::Search:
        m_currentPort = nullptr;
        break;
    case EUnitStep::Download:
        m_bDownloadOk = false;
        break;
    case EUnitStep::Program:
        m_nProgramResult = KR_UNKNOWN_ERROR;
        break;
    }
}
