#pragma once
// What the wizard core needs of its window. The wxWidgets dialog, the console front-end and
// the tests' double implement it. Everything here is called on the dialog's thread, except
// PostWizardMessage, which any thread may call.
#include "target/WorkerHost.h"

#include <cstdint>
#include <string>

// Control ids of the wizard dialog.
enum : int
{
    IDC_PROGRESS = 1008,
    IDC_INFOLINE1 = 1013,
    IDC_ACTION = 1014,
    IDC_INFOLINE2 = 1015,
    IDC_INFOLINE3 = 1016,
    IDC_MSGICON = 1017,
    IDC_YES = 1018,
    IDC_FWICON = 1020,
    IDC_NO = 1021,
    IDC_FWSTATUS = 1022,
    IDC_FWGROUP = 1023,
};

// Icons a static icon control can show.
enum class EViewIcon
{
    None,
    StockInformation, // the platform's information icon (message line)
    StockExclamation, // the platform's exclamation icon (message line)
    FwInfo,           // IDI_FWINFO, small (firmware status line)
    FwWarning,        // IDI_FWWARNING, small (firmware status line)
};

enum class EViewSound
{
    Information,
    Exclamation,
};

// Icon of a message box; every message box of the wizard has one OK button.
enum class EMsgBoxIcon
{
    Information,
    Exclamation,
};

class IWizardView
{
public:
    virtual ~IWizardView() = default;

    virtual void SetControlText(int nId, const std::string& strText) = 0; // also the action button's caption
    virtual void SetControlIcon(int nId, EViewIcon icon) = 0;
    virtual void ShowControl(int nId, bool bShow) = 0;
    virtual void SetProgressRange(int nLower, int nUpper) = 0;
    virtual void SetProgressPos(int nPos) = 0;
    virtual void PlaySound(EViewSound sound) = 0;
    // Modal; worker messages posted meanwhile are still handled after it returns, in order.
    virtual void MessageBox(const std::string& strText, const std::string& strCaption, EMsgBoxIcon icon) = 0;
    // Modal open-file dialog. strFilter is "Name|*.a; *.b|All Files (*.*)|*.*||". True and the
    // full path when the user confirmed.
    virtual bool OpenFileDialog(const std::string& strInitialName, const std::string& strFilter,
                                std::string& strPath) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    // Panes 0, 1, 2 of the status bar.
    virtual void SetStatusPane(int nPane, const std::string& strText) = 0;
    // Thread-safe: queue a message for the dialog; the view hands it back to the core's
    // HandleMessage on the dialog's thread, in the order posted.
    virtual void PostWizardMessage(SWizardMessage msg) = 0;
    // Blocks the dialog's thread for the pause of automatic mode, after the current page has
    // been made visible.
    virtual void Pause(uint32_t dwMilliseconds) = 0;
    // Ends the dialog (the close request was accepted).
    virtual void EndDialog() = 0;
    // Several units at once (-g): what one unit, named by its port, is doing and how far that
    // phase is (0..100), or, with nPercent -1, how it ended (strPhase is then the unit's line
    // of the result page, which names the port). A view that shows only the page may ignore
    // it; the result page lists every unit anyway.
    virtual void ShowUnitStatus(const std::string& /*strPort*/, const std::string& /*strPhase*/,
                                int /*nPercent*/)
    {
    }
    // Several units at once: the whole transfer on the page's own bar and detail line (the
    // stage the slowest unit is in, and how far the units are through it). A view that shows
    // the units one by one may ignore it.
    virtual void ShowGroupProgress(int nPercent, const std::string& strStage)
    {
        SetProgressRange(0, 100);
        SetProgressPos(nPercent);
        SetControlText(IDC_INFOLINE3, strStage);
    }
};
