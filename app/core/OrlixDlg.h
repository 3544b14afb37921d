#pragma once
// The wizard dialog without its window: the state machine, the step actions and the
// dialog's side of the worker threads. It reaches its window only through IWizardView, and
// the worker threads reach it only through IWorkerHost. Every public function except the
// IWorkerHost operations marked thread-safe runs on the dialog's thread.
#include "app/core/CancellableClock.h"
#include "app/core/WizardView.h"
#include "firmware/FirmwareImage.h"
#include "serial/PortHolder.h"
#include "target/ChipDef.h"
#include "target/WorkerHost.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// The value in m_nState says what the next call of NextStep does. There is no state 13.
enum WizardState : int
{
    STATE_INIT = 0,
    STATE_QUESTION = 1,
    STATE_WELCOME = 2,
    STATE_CONNECT = 3,
    STATE_CHECK_FIRMWARE = 4,
    STATE_SELECT_FIRMWARE = 5,
    STATE_SEARCH = 6,
    STATE_SEARCH_RESULT = 7,
    STATE_DOWNLOAD = 8,
    STATE_DOWNLOAD_RESULT = 9,
    STATE_PROGRAM = 10,
    STATE_PROGRAM_RESULT = 11,
    STATE_CLOSE = 12,
    STATE_PORT_ERROR = 14,
};

// Icon and sound of the message line (SetMessage) and of the firmware status line.
enum MessageKind : int
{
    MSG_PLAIN = 0,
    MSG_INFO = 1,
    MSG_WARNING = 2,
};

// What the bottom row of the page shows.
enum ButtonRow : int
{
    ROW_PROGRESS = 0,
    ROW_ACTION = 1,
    ROW_YES_NO = 2,
};

// Pause of automatic mode between "unit found" and the transfer.
inline constexpr uint32_t AUTO_START_PAUSE_MS = 2000;

// Fixed message boxes; German in every interface language.
inline constexpr const char* PORT_ERROR_TEXT = "COM Port Fehler.\n Bitte Programm neu ausführen";
inline constexpr const char* PATH_MISSING_TEXT = "Der angegebene Pfad existiert nicht";

// Filter of the open-file dialog.
inline constexpr const char* FIRMWARE_FILE_FILTER =
    "S format files (*.mhx, *.cnv, *.ahx)|*.mhx; *.cnv; *.ahx|All Files (*.*)|*.*||";

// The three worker procedures. The real ones live in target/workers; tests put fakes here
// that post chosen results.
using WorkerProc = std::function<unsigned(IWorkerHost*)>;
struct SWorkerProcs
{
    WorkerProc search;
    WorkerProc download;
    WorkerProc program;
};
SWorkerProcs DefaultWorkerProcs();

class COrlixDlg : public IWorkerHost
{
public:
    // Flags 0, strings empty; the real worker procedures.
    explicit COrlixDlg(IWizardView& view);
    COrlixDlg(IWizardView& view, SWorkerProcs procs);
    // Calls StopWorker. The view must outlive the dialog.
    ~COrlixDlg() override;
    COrlixDlg(const COrlixDlg&) = delete;
    COrlixDlg& operator=(const COrlixDlg&) = delete;

    // A running worker is told to stop (StopRequested, clock waits cancelled, port reads
    // interrupted) and joined; for the end of the dialog, as later workers stop at once. A
    // class derived from this one calls it first in its destructor, so no worker calls a
    // virtual function of an object being destroyed.
    void StopWorker();

    // Options f/F (firmware path), a/A (automatic), r/R (further units) and p/P (a device
    // path the search tries, repeatable, in the order given).
    void ParseCommandLine(const std::string& strCmdLine);
    // Caption of the message boxes: the executable's file name without extension.
    void SetAppName(const std::string& strName);
    const std::string& GetAppName() const { return m_strAppName; }

    // Event handlers of the dialog.
    void OnInitDialog();
    void OnActionButton();
    void OnYesButton();
    void OnNoButton();
    // The close request (title bar, Alt+F4, console end of input, the wizard's own close).
    // While a worker runs: text 102 in an information box, false. Otherwise EndDialog, true.
    bool OnClose();
    // WM_WORKER_STATUS, WM_WORKER_DONE and WM_WIZARD_NEXT; anything else is ignored.
    void HandleMessage(const SWizardMessage& msg);

    // 0: closed after a successful update of the last unit tried; 2: after the port error;
    // 1 otherwise.
    int GetExitStatus() const;
    bool IsBusy() const { return m_bBusy != 0; }
    bool IsClosed() const { return m_bClosed; }
    int GetState() const { return m_nState; }
    int IsAuto() const { return m_bAuto; }
    int IsRepeat() const { return m_bRepeat; }
    int IsFirmwareOk() const { return m_bFirmwareOk; }
    const std::string& GetCmdLineFile() const { return m_strCmdLineFile; }
    const std::string& GetFirmwareFile() const { return m_strFirmwareFile; }
    const std::vector<std::string>& GetExplicitPorts() const { return m_holder.m_explicitPorts; }
    // Ports the last search's enumeration dropped, copied when the search ended (the
    // front-ends name those with nError == EACCES in a hint).
    const std::vector<SPortProbeFailure>& GetProbeFailures() const { return m_probeFailures; }
    // Device paths of the last search's ports that were dropped because access was denied.
    std::vector<std::string> GetAccessDeniedPorts() const;
    // Device paths of the last search's ports that were dropped because another program
    // held them.
    std::vector<std::string> GetPortsInUse() const;
    // True on the not-found page: the last search ended without finding the unit.
    bool IsUnitNotFoundPage() const;
    // Title of the dialog window: product name and version.
    static std::string GetDialogTitle();

    // IWorkerHost: for the worker threads.
    void PostWorkerMessage(SWizardMessage msg) override; // thread-safe
    void UpdatePortList() override;
    std::vector<SSerInfo>& Ports() override;
    SSerInfo* GetCurrentPort() const override;
    void SetCurrentPort(SSerInfo* pPort) override;
    bool OpenPort() override;
    void ClosePort() override;
    ISerialIo& Port() override;
    const SChipDef& Chip() const override;
    CFirmwareImage& Image() override;
    uint8_t* BlockBuffer() override;
    void SetDownloadOk(int bOk) override;
    void SetProgramResult(int nResult) override;
    std::string LoadText(unsigned nId) const override;
    IProtocolClock& Clock() override;
    bool StopRequested() const override; // thread-safe

protected:
    // The port holder behind the IWorkerHost port operations (for doubles of the dialog).
    CPortHolder& Holder() { return m_holder; }

private:
    // State machine (OrlixDlgSteps.cpp).
    void NextStep(int nAnswer);
    void ContinueWithNextStep();
    void CloseWizard();
    void OnWizardNext();
    void OnWorkerStatus(const SWizardMessage& msg);
    void OnWorkerDone(const SWizardMessage& msg);

    // Page actions before the unit is contacted (OrlixDlgPages.cpp).
    void ShowWelcomePage();
    int ChooseFirmwareFile();
    int LoadFirmware();
    void ShowFirmwarePage();
    void ShowConnectPage();

    // Worker steps (OrlixDlgWorkers.cpp).
    int StartSearch();
    int ShowSearchResult(int bAuto);
    int StartDownload();
    int ShowDownloadResult();
    int StartProgramming();
    int ShowProgrammingResult();
    enum class EWorker
    {
        Search,
        Download,
        Program,
    };
    void StartWorker(EWorker kind, unsigned nMessageId, const std::string& strDetail);
    void RunWorker(EWorker kind, const WorkerProc& proc);
    void SetWorkerFailed(EWorker kind);
    void JoinWorker();

    // Display operations (OrlixDlgDisplay.cpp).
    void SetMessage(const std::string& strText, int nKind);
    void SetMessage(unsigned nId, int nKind);
    void SetFirmwareStatus(const std::string& strText, int nKind);
    void ShowButtonRow(int nRow);
    void AskQuestion(unsigned nId);
    void SetText(int nId, const std::string& strText);
    void SetTextId(int nId, unsigned nTextId);
    void MessageBox(const std::string& strText, EMsgBoxIcon icon);

    IWizardView& m_view;
    SWorkerProcs m_procs;
    std::string m_strAppName;

    std::string m_strFirmwareFile;
    CFirmwareImage m_image;
    SChipDef m_chip;
    uint8_t m_blockBuffer[BLOCK_BUFFER_SIZE] = {};
    CPortHolder m_holder; // m_port, m_ports, m_currentPort, the explicit ports, probe failures

    int m_nState = STATE_INIT;
    int m_bAuto = 0;
    int m_bRepeat = 0;
    std::string m_strCmdLineFile;
    int m_bFirmwareOk = 0;
    int m_nProgramResult = 0;
    int m_bDownloadOk = 0;
    int m_bBusy = 0;

    // Beyond the window: close and exit bookkeeping, guards against stale events.
    bool m_bClosed = false;
    bool m_bPortError = false;
    bool m_bLastUpdateOk = false;
    int m_nRow = ROW_ACTION;
    int m_nPendingNext = 0; // WM_WIZARD_NEXT posted and not yet handled
    bool m_bNotFoundPage = false;
    std::vector<SPortProbeFailure> m_probeFailures;

    CCancellableClock m_clock;
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<bool> m_bWorkerDonePosted{false};
    EWorker m_eWorker = EWorker::Search; // the worker started last
    std::thread m_worker;
};
