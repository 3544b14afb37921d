#pragma once
// The fakes around a unit session, shared by the worker, wizard and console tests: a line with a
// scripted port behind each port record, and a host that records what a worker posts.
#include "target/WorkerHost.h"
#include "target/workers/UnitSession.h"
#include "tests/target/FakePort.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CFakeLine final : public IUnitLine
{
public:
    explicit CFakeLine(CFakeClock* pClock = nullptr) : m_pClock(pClock), m_closed(pClock)
    {
        m_closed.m_bOpen = false;
    }

    // Adds a port record "/dev/<name>" named "Port <name>"; its port answers only what is queued.
    CFakePort& AddPort(const std::string& strName)
    {
        m_records.push_back(SSerInfo{});
        m_records.back().devicePath = "/dev/" + strName;
        m_records.back().friendlyName = "Port " + strName;
        m_ports.push_back(std::make_unique<CFakePort>(m_pClock));
        m_ports.back()->m_bOpen = false;
        return *m_ports.back();
    }
    bool IsOpen() const { return m_pOpen != nullptr; }

    std::vector<SSerInfo> ListPorts(const std::vector<std::string>& /*explicitPaths*/,
                                    std::vector<SPortProbeFailure>& failures) override
    {
        failures = m_failures;
        return m_records;
    }
    bool Open(const SSerInfo& record) override
    {
        Close();
        const bool bOk = m_openOk.empty() || m_openOk.front();
        if (!m_openOk.empty())
            m_openOk.pop_front();
        const auto it = std::find_if(m_records.begin(), m_records.end(),
                                     [&](const SSerInfo& r) { return r.devicePath == record.devicePath; });
        if (!bOk || it == m_records.end())
            return false;
        m_pOpen = m_ports[static_cast<std::size_t>(it - m_records.begin())].get();
        m_pOpen->m_bOpen = true;
        m_pOpen->m_dwBaud = 4800;
        return true;
    }
    void Close() override
    {
        if (m_pOpen != nullptr)
            m_pOpen->m_bOpen = false;
        m_pOpen = nullptr;
    }
    ISerialIo& Io() override { return m_pOpen != nullptr ? *m_pOpen : m_closed; }
    void Interrupt() override {}

    std::deque<bool> m_openOk; // per Open, default true
    std::vector<SPortProbeFailure> m_failures;

private:
    CFakeClock* m_pClock;
    std::vector<SSerInfo> m_records;
    std::vector<std::unique_ptr<CFakePort>> m_ports;
    CFakePort m_closed;
    CFakePort* m_pOpen = nullptr;
};

// Records what a worker posts; the worker runs on the test's thread.
class CFakeHost final : public IWorkerHost
{
public:
    void PostWorkerMessage(SWizardMessage msg) override
    {
        m_messages.push_back(std::move(msg));
        if (m_messages.back().nMsg == WM_WORKER_DONE && m_onDone)
            m_onDone();
        if (m_onPost)
            m_onPost(m_messages.back());
    }
    bool StopRequested() const override { return m_bStop; }
    IProtocolClock& Clock() override { return m_clock; }

    // The values of one sub-code (progress; with nPhase only those after that phase began).
    std::vector<intptr_t> Status(unsigned nCode, int nPhase = 0) const
    {
        std::vector<intptr_t> values;
        bool bIn = nPhase == 0;
        for (const SWizardMessage& msg : m_messages)
        {
            if (msg.nMsg == WM_WORKER_STATUS && msg.wParam == STATUS_PHASE && nPhase != 0)
                bIn = msg.lParam == nPhase;
            else if (msg.nMsg == WM_WORKER_STATUS && msg.wParam == nCode && bIn)
                values.push_back(msg.lParam);
        }
        return values;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const SWizardMessage& msg : m_messages)
            if (msg.nMsg == WM_WORKER_STATUS && msg.wParam == STATUS_INFOLINE3)
                texts.push_back(msg.strText);
        return texts;
    }
    // Exactly one WM_WORKER_DONE, posted last: its lParam, else -1.
    intptr_t Done() const
    {
        const auto nDone =
            std::count_if(m_messages.begin(), m_messages.end(),
                          [](const SWizardMessage& msg) { return msg.nMsg == WM_WORKER_DONE; });
        return nDone == 1 && m_messages.back().nMsg == WM_WORKER_DONE ? m_messages.back().lParam : -1;
    }

    std::function<void(const SWizardMessage&)> m_onPost; // e.g. to request a stop
    std::function<void()> m_onDone;                      // when WM_WORKER_DONE is posted
    bool m_bStop = false;
    CFakeClock m_clock;
    std::vector<SWizardMessage> m_messages;
};
