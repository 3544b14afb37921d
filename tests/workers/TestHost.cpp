#include "tests/workers/TestHost.h"

#include "serial/SerialException.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

CTestHost::CTestHost() : m_noPort(&m_clock)
{
    m_chip.SelectChip("MB90F345");
    m_noPort.m_bOpen = false;
}

CFakePort& CTestHost::AddPort(const std::string& strName)
{
    SSerInfo info;
    info.devicePath = "/dev/" + strName;
    info.shortName = strName;
    info.friendlyName = "Port " + strName;
    m_listed.push_back(info);
    m_unopenable.push_back(false);
    m_fakePorts.push_back(std::make_unique<CFakePort>(&m_clock));
    m_fakePorts.back()->m_bOpen = false;
    return *m_fakePorts.back();
}

CFakePort& CTestHost::OpenAsDialog(std::size_t nIndex)
{
    m_ports = m_listed;
    m_pCurrent = &m_ports.at(nIndex);
    EXPECT_TRUE(OpenPort());
    m_opened.clear();
    return *m_fakePorts.at(nIndex);
}

void CTestHost::PostWorkerMessage(SWizardMessage msg)
{
    m_messages.push_back(std::move(msg));
    if (m_onPost)
    {
        m_onPost(m_messages.back());
    }
}

void CTestHost::UpdatePortList()
{
    m_ports.clear();
    if (m_enumError)
    {
        throw *m_enumError;
    }
    m_ports = m_listed;
}

bool CTestHost::OpenPort()
{
    if (m_pCurrent == nullptr || m_pOpen != nullptr)
    {
        return false;
    }
    const auto nIndex = static_cast<std::size_t>(m_pCurrent - m_ports.data());
    if (m_unopenable.at(nIndex))
    {
        return false;
    }
    m_pOpen = m_fakePorts.at(nIndex).get();
    m_pOpen->m_bOpen = true;
    m_pOpen->m_dwBaud = 4800;
    m_opened.push_back(m_pCurrent->friendlyName);
    return true;
}

void CTestHost::ClosePort()
{
    if (m_pOpen != nullptr)
    {
        m_pOpen->m_bOpen = false;
        m_pOpen = nullptr;
    }
}

void CTestHost::SetResult(int& nMember, int nValue)
{
    nMember = nValue;
    ++m_nResultWrites;
    m_nResultAt = m_messages.size();
}

std::vector<intptr_t> CTestHost::Progress(const std::string& strPhase) const
{
    std::vector<intptr_t> values;
    bool bIn = strPhase.empty();
    for (const SWizardMessage& msg : m_messages)
    {
        if (msg.nMsg != WM_WORKER_STATUS)
        {
            continue;
        }
        if (msg.wParam == STATUS_INFOLINE3 && !strPhase.empty())
        {
            bIn = msg.strText == strPhase;
        }
        else if (msg.wParam == STATUS_PROGRESS && bIn)
        {
            values.push_back(msg.lParam);
        }
    }
    return values;
}

std::vector<std::string> CTestHost::Texts() const
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

std::string CTestHost::EndingFault(bool bExpectResult) const
{
    const auto nDone = std::count_if(m_messages.begin(), m_messages.end(),
                                     [](const SWizardMessage& msg) { return msg.nMsg == WM_WORKER_DONE; });
    if (nDone != 1)
    {
        return "WM_WORKER_DONE posted " + std::to_string(nDone) + " times";
    }
    if (m_messages.back().nMsg != WM_WORKER_DONE)
    {
        return "WM_WORKER_DONE is not the last message";
    }
    if (bExpectResult && m_nResultWrites != 1)
    {
        return "result written " + std::to_string(m_nResultWrites) + " times";
    }
    if (bExpectResult && m_nResultAt != m_messages.size() - 1)
    {
        return "result not written just before WM_WORKER_DONE";
    }
    return {};
}

void ThrowFault(EFault fault)
{
    switch (fault)
    {
    case EFault::Serial:
        throw CSerialException(5); // EIO: the adapter went away
    case EFault::Std:
        throw std::runtime_error("driver failure");
    case EFault::Other:
        break;
    }
    throw 42;
}

std::string FaultName(EFault fault)
{
    switch (fault)
    {
    case EFault::Serial:
        return "Serial";
    case EFault::Std:
        return "Std";
    case EFault::Other:
        break;
    }
    return "Other";
}

void FailAt(CFakePort& port, CFakePort::EOp kind, int nth, EFault fault)
{
    port.m_onOp = [kind, nth, fault, n = 0](CFakePort::EOp op) mutable
    {
        if (op == kind && ++n == nth)
        {
            ThrowFault(fault);
        }
    };
}

std::map<uint32_t, Bytes> WrittenBlocks(const CFakePort& port)
{
    std::map<uint32_t, Bytes> blocks;
    const std::vector<Bytes> writes = port.Writes();
    for (std::size_t i = 0; i + 1 < writes.size(); ++i)
    {
        const Bytes& cmd = writes[i];
        const Bytes& data = writes[i + 1];
        if (cmd.size() == 4 && cmd[0] == 0x08 && data.size() == 514)
        {
            const uint32_t dwAddress = cmd[1] | (uint32_t{cmd[2]} << 8) | (uint32_t{cmd[3]} << 16);
            blocks[dwAddress] = Bytes(data.begin(), data.begin() + 512);
        }
    }
    return blocks;
}

std::size_t CommandCount(const CFakePort& port, uint8_t byCode)
{
    const std::vector<Bytes> writes = port.Writes();
    return static_cast<std::size_t>(std::count_if(
        writes.begin(), writes.end(),
        [byCode](const Bytes& w) { return (w.size() == 4 || w.size() == 1) && w[0] == byCode; }));
}

namespace
{
std::string Hex(uint32_t dwValue, int nDigits)
{
    std::string str(static_cast<std::size_t>(nDigits), '0');
    for (int i = nDigits - 1; i >= 0; --i, dwValue >>= 4)
    {
        str[static_cast<std::size_t>(i)] = "0123456789ABCDEF"[dwValue & 0xF];
    }
    return str;
}

// One S1/S2/S8-style record with a 24-bit address and its checksum.
std::string Record(char cType, uint32_t dwAddress, const uint8_t* pData, std::size_t nCount)
{
    const auto dwCount = static_cast<uint32_t>(3 + nCount + 1);
    uint32_t dwSum = dwCount + (dwAddress & 0xFF) + ((dwAddress >> 8) & 0xFF) + ((dwAddress >> 16) & 0xFF);
    std::string line = std::string("S") + cType + Hex(dwCount, 2) + Hex(dwAddress, 6);
    for (std::size_t i = 0; i < nCount; ++i)
    {
        dwSum += pData[i];
        line += Hex(pData[i], 2);
    }
    return line + Hex(~dwSum & 0xFF, 2) + "\n";
}
} // namespace

CTempSRecordFile::CTempSRecordFile(const std::vector<std::pair<uint32_t, Bytes>>& chunks)
{
    static int s_nCounter = 0;
    const std::string strName =
        "orlix_workers_" + std::to_string(::getpid()) + "_" + std::to_string(++s_nCounter) + ".mhx";
    m_strPath = (std::filesystem::path(::testing::TempDir()) / strName).string();
    std::ofstream file(m_strPath, std::ios::binary);
    for (const auto& [dwStart, bytes] : chunks)
    {
        for (std::size_t nOffset = 0; nOffset < bytes.size(); nOffset += 32)
        {
            const std::size_t nCount = std::min<std::size_t>(32, bytes.size() - nOffset);
            file << Record('2', dwStart + static_cast<uint32_t>(nOffset), bytes.data() + nOffset, nCount);
        }
    }
    file << Record('8', 0, nullptr, 0);
}

CTempSRecordFile::~CTempSRecordFile()
{
    std::remove(m_strPath.c_str());
}
