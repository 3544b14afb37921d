#pragma once
// The page presenter: what each page of the wizard shows, through IWizardView. It knows the
// texts, icons, sounds and the bottom row of every page, and how the workers' messages appear;
// which page comes when is the state machine's business (COrlixDlg).
#include "app/core/WizardView.h"
#include "target/workers/UnitSession.h"

#include <cstddef>
#include <string>
#include <vector>

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

class CWizardPages
{
public:
    explicit CWizardPages(IWizardView& view) : m_view(view) {}

    // Caption of the message boxes.
    void SetAppName(const std::string& strName) { m_strAppName = strName; }
    const std::string& GetAppName() const { return m_strAppName; }
    // The bottom row shown last.
    int GetRow() const { return m_nRow; }

    // The firmware group's title, once when the dialog starts.
    void ShowFirmwareGroupTitle();
    // Welcome page; the firmware group and the status bar say that no firmware is chosen.
    void ShowWelcomePage();
    void ShowFirmwarePage();
    void ShowConnectPage();
    // The firmware file being loaded, in the status bar.
    void ShowFirmwareFile(const std::string& strPath);
    // A usable firmware: its name and version in the firmware group and the status bar.
    void ShowFirmware(const std::string& strName, const std::string& strVersion);
    // Why the chosen file cannot be used (a text id), as a warning.
    void ShowFirmwareRefused(unsigned nTextId);

    // The page while a worker runs: searching, downloading or programming, progress from 0.
    void ShowWorkerPage(EUnitStep step);
    void ShowSearchResult(bool bFound, bool bAuto);
    void ShowDownloadResult(bool bOk);
    // strDetail: a line that says more about a failure (the first differing address).
    void ShowProgrammingResult(bool bOk, const std::string& strDetail = {});
    // Several units at once: the units found ("N units found: ..."), and the result page with
    // the count ("N of M units updated") and one line per unit. With a failure the retry
    // question follows, after a full success the question for further units (bRepeat) or Close.
    void ShowUnitsFound(const std::vector<std::string>& names, bool bAuto);
    void ShowGroupResult(const std::vector<std::string>& unitLines, std::size_t nUpdated, bool bRepeat);
    // The progress bar's position (the group's search: the mean of the units' searches).
    void ShowProgress(int nPercent);
    // One unit of the group: its step (download or programming with nPhase, an EWorkerPhase)
    // and progress; or how it ended (strResult not empty).
    void ShowUnitStatus(const std::string& strPort, EUnitStep step, int nPhase, int nPercent,
                        const std::string& strResult = {});
    // The group's transfer as one bar; nStage 0 is the download, else an EWorkerPhase.
    void ShowGroupProgress(int nStage, int nPercent);
    // The question in the detail line, Yes and No in the bottom row.
    void AskQuestion(unsigned nTextId);
    // A WM_WORKER_STATUS: progress, the lines, the programming phase; other sub-codes: nothing.
    void ShowWorkerStatus(const SWizardMessage& msg);

    void MessageBox(const std::string& strText, EMsgBoxIcon icon);

private:
    void SetMessage(const std::string& strText, int nKind);
    void SetMessage(unsigned nTextId, int nKind);
    void SetFirmwareStatus(const std::string& strText, int nKind);
    void ShowButtonRow(int nRow);
    void SetText(int nId, const std::string& strText);
    void SetTextId(int nId, unsigned nTextId);

    IWizardView& m_view;
    std::string m_strAppName;
    int m_nRow = ROW_ACTION;
};
