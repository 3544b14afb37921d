#pragma once
// The dialog as the workers see it, for tests: records every posted message and every result
// write, and puts a scripted port behind each port record. Workers are called directly on the
// test's thread, so the recorded order is the order of the worker's acts.
#include "firmware/FirmwareImage.h"
#include "target/ChipDef.h"
#include "target/WorkerHost.h"
#include "tests/target/FakePort.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CTestHost final : public IWorkerHost
{
public:
    CTestHost();

    // Adds a port record; its port is closed until OpenPort and answers only what is queued.
    CFakePort& AddPort(const std::string& strName);
    // Opens the port of record nIndex as the dialog does before the download.
    CFakePort& OpenAsDialog(std::size_t nIndex);

    // IWorkerHost
    void PostWorkerMessage(SWizardMessage msg) override;
    void UpdatePortList() override;
    std::vector<SSerInfo>& Ports() override { return m_ports; }
    SSerInfo* GetCurrentPort() const override { return m_pCurrent; }
    void SetCurrentPort(SSerInfo* pPort) override { m_pCurrent = pPort; }
    bool OpenPort() override;
    void ClosePort() override;
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
    std::vector<intptr_t> Progress(const std::string& strPhase = {}) const;
    std::vector<std::string> Texts() const;
    intptr_t DoneParam() const { return m_messages.empty() ? -1 : m_messages.back().lParam; }
    // The contract's ending: exactly one WM_WORKER_DONE, posted last, with the result (when the
    // worker writes one) written once, just before it. Empty when kept, else what went wrong.
    std::string EndingFault(bool bExpectResult) const;

    // --- script ---
    std::optional<std::string> m_enumError;              // UpdatePortList throws this text
    std::vector<bool> m_unopenable;                      // per record: OpenPort gives false
    std::function<void(const SWizardMessage&)> m_onPost; // e.g. to request a stop
    bool m_bStop = false;
    SChipDef m_chip;
    CFirmwareImage m_image;
    CFakeClock m_clock;

    // --- observations ---
    std::vector<SWizardMessage> m_messages;
    std::vector<std::string> m_opened; // friendly names in the order they were opened
    int m_nDownloadOk = -1;
    int m_nProgramResult = -1;

private:
    void SetResult(int& nMember, int nValue);

    std::vector<SSerInfo> m_listed; // what the enumeration finds
    std::vector<SSerInfo> m_ports;
    std::vector<std::unique_ptr<CFakePort>> m_fakePorts;
    CFakePort m_noPort; // what Port() gives when nothing is open
    CFakePort* m_pOpen = nullptr;
    SSerInfo* m_pCurrent = nullptr;
    std::array<uint8_t, BLOCK_BUFFER_SIZE> m_block{};
    int m_nResultWrites = 0;
    std::size_t m_nResultAt = 0; // messages posted when the result was written
};

// The kinds of exception a port or the enumeration can raise underneath a worker.
enum class EFault
{
    Serial, // CSerialException: adapter unplugged, driver failure, read interrupted
    Std,    // any other std::exception
    Other   // something that is no std::exception at all
};
[[noreturn]] void ThrowFault(EFault fault);
std::string FaultName(EFault fault);
// Makes the nth (1-based) operation of that kind on the port throw.
void FailAt(CFakePort& port, CFakePort::EOp kind, int nth, EFault fault);

// Blocks the kernel was sent (address -> the 512 data bytes), from the port's writes.
std::map<uint32_t, Bytes> WrittenBlocks(const CFakePort& port);
// Number of writes that begin with the command byte.
std::size_t CommandCount(const CFakePort& port, uint8_t byCode);

// A temporary S-record file (S2 records, 32 data bytes each) that is removed with the object.
class CTempSRecordFile
{
public:
    // Each pair is a start address and the bytes there.
    explicit CTempSRecordFile(const std::vector<std::pair<uint32_t, Bytes>>& chunks);
    ~CTempSRecordFile();
    CTempSRecordFile(const CTempSRecordFile&) = delete;
    CTempSRecordFile& operator=(const CTempSRecordFile&) = delete;
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};
