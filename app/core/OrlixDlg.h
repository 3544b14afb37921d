#pragma once
// The wizard dialog without its window: a small facade over the state table (StateTable.h),
// the page presenter (CWizardPages), the unit session (CUnitSession) and the worker runner
// (CWorkerRunner). It reaches its window only through IWizardView. Every public function runs
// on the dialog's thread.
#include "app/core/StateTable.h"
#include "app/core/UnitGroup.h"
#include "app/core/UpdateRecorder.h"
#include "app/core/WizardPages.h"
#include "app/core/WizardView.h"
#include "app/core/WorkerRunner.h"
#include "firmware/FirmwareImage.h"
#include "target/workers/UnitSession.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Pause of automatic mode between "unit found" and the transfer.
inline constexpr uint32_t AUTO_START_PAUSE_MS = 2000;

// Fixed message boxes; German in every interface language.
inline constexpr const char* PORT_ERROR_TEXT = "COM Port Fehler.\n Bitte Programm neu ausführen";
inline constexpr const char* PATH_MISSING_TEXT = "Der angegebene Pfad existiert nicht";

// Filter of the open-file dialog.
inline constexpr const char* FIRMWARE_FILE_FILTER =
    "S format files (*.mhx, *.cnv, *.ahx)|*.mhx; *.cnv; *.ahx|All Files (*.*)|*.*||";

// The three worker procedures.
struct SWorkerProcs
{
    WorkerProc search;
    WorkerProc download;
    WorkerProc program;
};
SWorkerProcs DefaultWorkerProcs();

class COrlixDlg
{
public:
    // The real worker procedures on the machine's serial ports.
    explicit COrlixDlg(IWizardView& view);
    // pLine nullptr: the machine's serial ports (tests give scripted ones).
    COrlixDlg(IWizardView& view, SWorkerProcs procs, std::unique_ptr<IUnitLine> pLine = nullptr);
    // Stops and joins a running worker. The view must outlive the dialog.
    ~COrlixDlg();
    COrlixDlg(const COrlixDlg&) = delete;
    COrlixDlg& operator=(const COrlixDlg&) = delete;

    // A running worker is told to stop and is joined; for the end of the dialog, as later
    // workers stop at once.
    void StopWorker();

    // Options f/F (firmware path), a/A (automatic), r/R (further units), p/P (a device path
    // the search tries, repeatable, in the order given), g/G (every unit found at once), v/V
    // (verify by read-back) and l/L (append a record of every update to this file).
    void ParseCommandLine(const std::string& strCmdLine);
    // Caption of the message boxes: the executable's file name without extension.
    void SetAppName(const std::string& strName);
    const std::string& GetAppName() const { return m_pages.GetAppName(); }

    // Event handlers of the dialog.
    void OnInitDialog();
    void OnActionButton();
    void OnYesButton();
    void OnNoButton();
    // The close request (title bar, Alt+F4, console end of input, the wizard's own close).
    // While a worker runs: text 102 in an information box, false. Otherwise EndDialog, true.
    bool OnClose();
    // A close that must end the program without starting another transfer (the console's
    // Ctrl-C, SIGTERM, hang-up). While a worker runs it is refused like OnClose, and carried
    // out as soon as that worker has ended: after a search or a download at once, after
    // programming once its result is shown. True when the wizard closed at once.
    bool OnEndRequest();
    // WM_WORKER_STATUS, WM_WORKER_DONE and WM_WIZARD_NEXT; anything else is ignored, and so
    // is a worker message about another session.
    void HandleMessage(const SWizardMessage& msg);

    // 0: closed after a successful update of the last unit tried; 2: after the port error;
    // 1 otherwise.
    int GetExitStatus() const;
    bool IsBusy() const { return m_bBusy; }
    bool IsClosed() const { return m_bClosed; }
    int GetState() const { return m_nState; }
    bool IsAuto() const { return m_bAuto; }
    bool IsRepeat() const { return m_bRepeat; }
    bool IsFirmwareOk() const { return m_bFirmwareOk; }
    bool IsGroup() const { return m_bGroup; }
    bool IsVerify() const { return m_bVerify; }
    const std::string& GetRecordFile() const { return m_strRecordFile; }
    const std::string& GetCmdLineFile() const { return m_strCmdLineFile; }
    const std::string& GetFirmwareFile() const { return m_strFirmwareFile; }
    const std::vector<std::string>& GetExplicitPorts() const { return m_session.m_explicitPorts; }
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

private:
    // The state machine: does the step of m_nState, then follows the state table.
    void NextStep(int nAnswer);
    bool DoStep(int nAnswer);
    void ContinueWithNextStep();
    void CloseWizard();
    void OnWizardNext();
    void OnWorkerDone();

    // Step actions (OrlixDlgSteps.cpp).
    bool ChooseFirmwareFile();
    bool LoadFirmware();
    void StartWorker(EUnitStep step);
    void StartSearch();
    bool ShowSearchResult();
    bool StartDownload();
    bool ShowDownloadResult();
    void StartProgramming();
    bool ShowProgrammingResult();
    bool OpenPort();
    void ClosePort();

    // Several units at once (-g): the same states, with the group's steps.
    void StartGroupSearch();
    bool ShowGroupSearchResult();
    bool StartGroupTransfer();
    bool ShowGroupResult();
    void OnGroupMessage(const SWizardMessage& msg);
    void ShowGroupProgress();
    void OnGroupDone();
    void PostGroupDone();

    // The update record: seconds of the search and the download of the single unit, and the
    // line about one attempt (written before its result page shows).
    void EndTimedStep(const char* pszName);
    void WriteRecord(const char* pszOutcome, const SSerInfo* pPort, const CUnitSession* pSession,
                     const std::vector<std::pair<std::string, double>>& phases);

    IWizardView& m_view;
    CWizardPages m_pages;
    SWorkerProcs m_procs;

    std::string m_strFirmwareFile;
    CFirmwareImage m_image;
    CUnitSession m_session; // the unit: m_port, m_ports, m_currentPort, the processor, results
    CWorkerRunner m_runner; // joined before the session and the image go
    CUnitGroup m_group;     // -g: a session and a runner per unit; joined before the image goes
    CUpdateRecorder m_recorder;
    std::vector<std::pair<std::string, double>> m_phases; // search and download of this attempt
    std::chrono::steady_clock::time_point m_stepStart;

    int m_nState = STATE_INIT;
    bool m_bAuto = false;
    bool m_bRepeat = false;
    bool m_bGroup = false;
    bool m_bVerify = false;
    std::string m_strRecordFile;
    std::string m_strCmdLineFile;
    bool m_bFirmwareOk = false;
    bool m_bBusy = false;

    // Beyond the window: close and exit bookkeeping, guards against stale events.
    bool m_bClosed = false;
    bool m_bEndRequested = false; // OnEndRequest refused while a worker ran
    bool m_bPortError = false;
    bool m_bLastUpdateOk = false;
    int m_nPendingNext = 0; // WM_WIZARD_NEXT posted and not yet handled
    bool m_bNotFoundPage = false;
    std::vector<SPortProbeFailure> m_probeFailures;
};
