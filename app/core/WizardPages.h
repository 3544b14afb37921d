#pragma once
// The page presenter: what each page of the wizard shows, through IWizardView. It knows the
// texts, icons, sounds and the bottom row of every page, and how the workers' messages appear;
// which page comes when is the state machine's business (COrlixDlg).
#include "app/core/WizardView.h"
#include "target/workers/UnitSession.h"

#include <string>

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
    void ShowProgrammingResult(bool bOk);
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
