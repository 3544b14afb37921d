#pragma once
// One unit being updated: its serial line and port record, the processor row, the block buffer
// and what the search, the download and the programming run found out. The worker procedures
// work on a session; the wizard sets it up before a worker starts and reads its results after
// the worker's WM_WORKER_DONE. A session holds nothing shared with other sessions, so several
// can be updated at once, each on its own worker and port.
#include "serial/SerInfo.h"
#include "target/ChipDef.h"
#include "target/FlashKernel.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class ISerialIo;

// The steps of an update that run on a worker.
enum class EUnitStep
{
    Search,
    Download,
    Program,
};

// A session's way to the serial line: the real ports, or scripted ones in tests.
class IUnitLine
{
public:
    virtual ~IUnitLine() = default;
    // The ports to search, in order: explicitPaths when not empty, else the system's ports.
    // Ports that could not be opened are left out and named in failures. Throws the
    // enumeration's error text as std::string.
    virtual std::vector<SSerInfo> ListPorts(const std::vector<std::string>& explicitPaths,
                                            std::vector<SPortProbeFailure>& failures) = 0;
    // Opens the record's device at 4800 bit/s 8N1 with the fixed time-outs; false when it
    // cannot be opened or configured. A line already open is closed first.
    virtual bool Open(const SSerInfo& record) = 0;
    virtual void Close() = 0;
    // The line as the protocol classes use it (closed when not open).
    virtual ISerialIo& Io() = 0;
    // Thread-safe: a blocking read on the line ends at once, now and later.
    virtual void Interrupt() = 0;
};

// The line on the machine's serial ports, opened under the device's port lock. Sessions on
// different devices (several units updated at once) do not wait for each other.
std::unique_ptr<IUnitLine> MakeSerialLine();

class CUnitSession
{
public:
    // nIndex marks this session's messages; pLine nullptr: the machine's serial ports.
    explicit CUnitSession(unsigned nIndex = 0, std::unique_ptr<IUnitLine> pLine = nullptr);
    ~CUnitSession(); // closes the port
    CUnitSession(const CUnitSession&) = delete;
    CUnitSession& operator=(const CUnitSession&) = delete;

    unsigned Index() const { return m_nIndex; }

    // Set up by the wizard before a worker starts.
    SChipDef m_chip;
    // Device paths named on the command line; replace the system's list when not empty.
    std::vector<std::string> m_explicitPorts;

    // The port list, the record being tried or found, and the open port.
    // Rebuilds the list; the current record becomes null. Throws the error text as std::string.
    void UpdatePortList();
    std::vector<SSerInfo>& Ports() { return m_ports; }
    SSerInfo* GetCurrentPort() const { return m_currentPort; }
    void SetCurrentPort(SSerInfo* pPort) { m_currentPort = pPort; }
    // Opens the current record's port; false when there is none or it cannot be opened.
    bool OpenPort();
    void ClosePort();
    ISerialIo& Port();
    // Thread-safe: ends a blocking read on the port (the program is closing).
    void Interrupt();
    // Ports the last UpdatePortList dropped because they could not be opened.
    const std::vector<SPortProbeFailure>& GetProbeFailures() const { return m_probeFailures; }

    // One block and room for its CRC.
    std::array<uint8_t, KERNEL_BLOCK_SIZE + 2> m_blockBuffer{};

    // Set up by the wizard: read every programmed block back after programming.
    bool m_bVerify = false;

    // Results, written by the worker before it posts WM_WORKER_DONE.
    bool IsFound() const { return m_currentPort != nullptr; }
    bool m_bDownloadOk = false;
    int m_nProgramResult = KR_OK;
    // What the last programming run did, for the update record: blocks the kernel took, CRC
    // retries, whether the read-back found the flash equal to the image (or the first
    // address where it differs, with KR_VERIFY_FAILED), and the seconds of each phase.
    uint32_t m_dwBlocksWritten = 0;
    uint32_t m_dwCrcRetries = 0;
    bool m_bVerified = false;
    uint32_t m_dwFirstDifference = 0;
    std::vector<std::pair<std::string, double>> m_phaseSeconds;
    // The result of a step that could not report its own (it threw, or no thread started).
    void SetFailed(EUnitStep step);

private:
    unsigned m_nIndex;
    std::unique_ptr<IUnitLine> m_pLine;
    std::vector<SSerInfo> m_ports;
    SSerInfo* m_currentPort = nullptr;
    std::vector<SPortProbeFailure> m_probeFailures;
};
