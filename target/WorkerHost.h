#pragma once
// What a worker thread sees of the wizard dialog: the members it works on and a way to
// post messages to the dialog's queue. COrlixDlg implements it; tests use a double.
#include "serial/SerInfo.h"

#include <cstdint>
#include <string>
#include <vector>

class CFirmwareImage;
class IProtocolClock;
class ISerialIo;
struct SChipDef;

// Private messages of the wizard dialog.
inline constexpr unsigned WM_WORKER_STATUS = 2000;
inline constexpr unsigned WM_WORKER_DONE = 2001;
inline constexpr unsigned WM_WIZARD_NEXT = 2002;

// Sub-codes of WM_WORKER_STATUS (wParam).
inline constexpr unsigned STATUS_PROGRESS = 1;  // lParam: percent 0..100
inline constexpr unsigned STATUS_INFOLINE1 = 2; // strText: name/version line
inline constexpr unsigned STATUS_INFOLINE2 = 3; // strText: message line, plain
inline constexpr unsigned STATUS_INFOLINE3 = 4; // strText: detail line

// One message in the dialog's queue. A text travels inside its message as a value.
struct SWizardMessage
{
    unsigned nMsg = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    std::string strText;
};

// Size of the programming thread's block buffer: one 512-byte block and its CRC.
inline constexpr uint32_t BLOCK_BUFFER_SIZE = 512 + 2;

class IWorkerHost
{
public:
    virtual ~IWorkerHost() = default;

    // Thread-safe: appends to the dialog's FIFO queue; handled later on the dialog's thread.
    virtual void PostWorkerMessage(SWizardMessage msg) = 0;

    // The dialog's port list, current-port pointer and port (COrlixDlg forwards these to its
    // CPortHolder; tests put scripted ports behind them).
    // Rebuilds the port list; throws the enumeration's error text as std::string.
    virtual void UpdatePortList() = 0;
    virtual std::vector<SSerInfo>& Ports() = 0;
    virtual SSerInfo* GetCurrentPort() const = 0;
    virtual void SetCurrentPort(SSerInfo* pPort) = 0;
    // Opens the current port with the fixed settings under the port lock; false when it cannot.
    virtual bool OpenPort() = 0;
    virtual void ClosePort() = 0;
    // The open port, as the protocol classes use it.
    virtual ISerialIo& Port() = 0;
    // Selected-processor record, firmware image and block buffer (BLOCK_BUFFER_SIZE bytes).
    virtual const SChipDef& Chip() const = 0;
    virtual CFirmwareImage& Image() = 0;
    virtual uint8_t* BlockBuffer() = 0;

    // Result members, written before WM_WORKER_DONE is posted.
    virtual void SetDownloadOk(int bOk) = 0;
    virtual void SetProgramResult(int nResult) = 0;

    // A text of the text table in the interface language (phase texts 138-140).
    virtual std::string LoadText(unsigned nId) const = 0;

    // The clock the protocol objects wait on; the dialog cancels its waits when it closes.
    virtual IProtocolClock& Clock() = 0;
    // True once the dialog is closing: the worker ends at its next wait.
    virtual bool StopRequested() const = 0;
};
