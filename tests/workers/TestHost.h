#pragma once
// The dialog as the workers see it: records posted messages and result writes, and puts a
// scripted port behind each port record. Workers run on the test's thread.
#include "firmware/FirmwareImage.h"
#include "target/ChipDef.h"
#include "target/WorkerHost.h"
#include "tests/target/FakePort.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

class CTestHost final : public IWorkerHost
{
public:
    CTestHost() : m_noPort(&m_clock)
    {
        m_chip.SelectChip("MB90F345");
        m_noPort.m_bOpen = false;
    }

    // Adds a port record; its port is closed until OpenPort and answers only what is queued.
    CFakePort& AddPort(const std::string& strName)
    {
        m_listed.emplace_back();
        m_listed.back().devicePath = "/dev/" + strName;
        m_listed.back().friendlyName = "Port " + strName;
        m_fakePorts.push_back(std::make_unique<CFakePort>(&m_clock));
        m_fakePorts.back()->m_bOpen = false;
        return *m_fakePorts.back();
    }
    // Opens the port of the first record as the dialog does before the download.
    CFakePort& OpenAsDialog()
    {
        m_ports = m_listed;
        m_pCurrent = &m_ports.at(0);
        EXPECT_TRUE(OpenPort());
        return *m_fakePorts.at(0);
    }

    void PostWorkerMessage(SWizardMessage msg) override
    {
        m_messages.push_back(std::move(msg));
        if (m_onPost)
        {
            m_onPost(m_messages.back());
        }
    }
    void UpdatePortList() override { m_ports = m_listed; }
    std::vector<SSerInfo>& Ports() override { return m_ports; }
    SSerInfo* GetCurrentPort() const override { return m_pCurrent; }
    void SetCurrentPort(SSerInfo* pPort) override { m_pCurrent = pPort; }
    bool OpenPort() override
    {
        if (m_pCurrent == nullptr || m_pOpen != nullptr)
        {
            return false;
        }
        m_pOpen = m_fakePorts.at(static_cast<std::size_t>(m_pCurrent - m_ports.data())).get();
        m_pOpen->m_bOpen = true;
        m_pOpen->m_dwBaud = 4800;
        return true;
    }
    void ClosePort() override
    {
        if (m_pOpen != nullptr)
        {
            m_pOpen->m_bOpen = false;
            m_pOpen = nullptr;
        }
    }
    ISerialIo& Port() override { return m_pOpen != nullptr ? *m_pOpen : m_noPort; }
    const SChipDef& Chip() const override { return m_chip; }
    CFirmwareImage& Image() override { return m_image; }
    uint8_t* BlockBuffer() override { return m_block.data(); }
    void SetDownloadOk(int bOk) override { SetResult(m_nDownloadOk, bOk); }
    void SetProgramResult(int nResult) override { SetResult(m_nProgramResult, nResult); }
    std::string LoadText(unsigned nId) const override { return "text " + std::to_string(nId); }
    IProtocolClock& Clock() override { return m_clock; }
    bool StopRequested() const override { return m_bStop; }

    // Progress values posted (after the phase text strPhase only, when given).
    std::vector<intptr_t> Progress(const std::string& strPhase = {}) const
    {
        std::vector<intptr_t> values;
        bool bIn = strPhase.empty();
        for (const SWizardMessage& msg : m_messages)
        {
            if (msg.nMsg == WM_WORKER_STATUS && msg.wParam == STATUS_INFOLINE3 && !strPhase.empty())
            {
                bIn = msg.strText == strPhase;
            }
            else if (msg.nMsg == WM_WORKER_STATUS && msg.wParam == STATUS_PROGRESS && bIn)
            {
                values.push_back(msg.lParam);
            }
        }
        return values;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const SWizardMessage& msg : m_messages)
        {
            if (msg.nMsg == WM_WORKER_STATUS && msg.wParam == STATUS_INFOLINE3)
            {
                texts.push_back(msg.strText);
            }
        }
        return texts;
    }
    intptr_t DoneParam() const { return m_messages.empty() ? -1 : m_messages.back().lParam; }
    // Exactly one WM_WORKER_DONE, posted last, with the result (when expected) written once just
    // before it. Empty when kept, else what went wrong.
    std::string EndingFault(bool bExpectResult) const
    {
        const auto nDone =
            std::count_if(m_messages.begin(), m_messages.end(),
                          [](const SWizardMessage& msg) { return msg.nMsg == WM_WORKER_DONE; });
        if (nDone != 1 || m_messages.back().nMsg != WM_WORKER_DONE)
        {
            return "WM_WORKER_DONE posted " + std::to_string(nDone) + " times, or not last";
        }
        if (bExpectResult && (m_nResultWrites != 1 || m_nResultAt + 1 != m_messages.size()))
        {
            return "result not written once, just before WM_WORKER_DONE";
        }
        return {};
    }

    std::function<void(const SWizardMessage&)> m_onPost; // e.g. to request a stop
    bool m_bStop = false;
    SChipDef m_chip;
    CFirmwareImage m_image;
    CFakeClock m_clock;
    std::vector<SWizardMessage> m_messages;
    int m_nDownloadOk = -1;
    int m_nProgramResult = -1;

private:
    void SetResult(int& nMember, int nValue)
    {
        nMember = nValue;
        ++m_nResultWrites;
        m_nResultAt = m_messages.size();
    }

    std::vector<SSerInfo> m_listed;
    std::vector<SSerInfo> m_ports;
    std::vector<std::unique_ptr<CFakePort>> m_fakePorts;
    CFakePort m_noPort;
    CFakePort* m_pOpen = nullptr;
    SSerInfo* m_pCurrent = nullptr;
    std::array<uint8_t, BLOCK_BUFFER_SIZE> m_block{};
    int m_nResultWrites = 0;
    std::size_t m_nResultAt = 0;
};

// Makes the nth (1-based) operation of that kind on the port call fail (which throws).
inline void FailAt(CFakePort& port, CFakePort::EOp kind, int nth, std::function<void()> fail)
{
    port.m_onOp = [kind, nth, fail, n = 0](CFakePort::EOp op) mutable
    {
        if (op == kind && ++n == nth)
        {
            fail();
        }
    };
}
