#pragma once
// The wizard's window drawn on a console: keeps what each control shows and prints what
// changed, a page at a time (Flush), with the progress bar live on a terminal and one line
// per 10 % step otherwise. Message boxes are printed at once, prefixed with their caption.
#include "app/core/WizardView.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Where the view's modal file dialog gets its line from.
class IConsoleInput
{
public:
    virtual ~IConsoleInput() = default;
    // The next input line; nullopt when input ended or the user asked to close.
    virtual std::optional<std::string> ReadModalLine() = 0;
};

class CConsoleView : public IWizardView
{
public:
    using PostFn = std::function<void(SWizardMessage)>;
    using SleepFn = std::function<void(uint32_t)>;

    // bTerminal: stdout is a terminal (live progress bar, bell). post queues a wizard message
    // for the dialog's thread.
    CConsoleView(std::ostream& out, bool bTerminal, IConsoleInput& input, PostFn post);

    // IWizardView
    void SetControlText(int nId, const std::string& strText) override;
    void SetControlIcon(int nId, EViewIcon icon) override;
    void ShowControl(int nId, bool bShow) override;
    void SetProgressRange(int nLower, int nUpper) override;
    void SetProgressPos(int nPos) override;
    void PlaySound(EViewSound sound) override;
    void MessageBox(const std::string& strText, const std::string& strCaption, EMsgBoxIcon icon) override;
    bool OpenFileDialog(const std::string& strInitialName, const std::string& strFilter,
                        std::string& strPath) override;
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void SetStatusPane(int nPane, const std::string& strText) override;
    void PostWizardMessage(SWizardMessage msg) override;
    void Pause(uint32_t dwMilliseconds) override;
    void EndDialog() override;
    // One line per unit (port, phase, percent): redrawn in place on a terminal; otherwise a
    // plain line when a unit's phase changes or its progress passes a 10 % step.
    void ShowUnitStatus(const std::string& strPort, const std::string& strPhase, int nPercent) override;
    // The console shows each unit's own line instead of one bar for all.
    void ShowGroupProgress(int /*nPercent*/, const std::string& /*strStage*/) override {}

    // Prints what changed since the last flush: firmware group, status bar, message line,
    // detail line, progress, notes.
    void Flush();
    // Prints the prompt of the shown buttons, once per wait (again after RepeatPrompt).
    void ShowPrompt();
    // Prints a hint about the input just refused and shows the prompt again.
    void RepeatPrompt(const std::string& strHint);
    // Input is echoed into the transcript when it does not come from a terminal.
    void SetEchoInput(bool bEcho) { m_bEchoInput = bEcho; }
    void EchoInput(const std::string& strLine);
    // A line printed at the end of the next flush (e.g. the hint about denied ports).
    void AddNote(const std::string& strNote);
    // A line printed at once (banner).
    void PrintLine(const std::string& strLine);
    void SetSleep(SleepFn sleep) { m_sleep = std::move(sleep); }

    bool IsShown(int nId) const;
    std::string GetText(int nId) const;
    bool IsEnded() const { return m_bEnded; }
    // True while the page waits for an answer (Yes/No) or a press of the action button.
    bool WaitsForYesNo() const { return IsShown(IDC_YES) && IsShown(IDC_NO); }
    bool WaitsForAction() const { return IsShown(IDC_ACTION); }

private:
    struct SShown
    {
        std::string strText;
        EViewIcon icon = EViewIcon::None;
        bool operator==(const SShown&) const = default;
    };

    void EndProgressLine();
    void Write(const std::string& strText);
    void PrintProgress();
    SShown Current(int nTextId, int nIconId) const;

    std::ostream& m_out;
    bool m_bTerminal;
    IConsoleInput& m_input;
    PostFn m_post;
    SleepFn m_sleep;

    std::map<int, std::string> m_texts;
    std::map<int, EViewIcon> m_icons;
    std::map<int, bool> m_shown;
    std::string m_panes[3];
    int m_nProgressLower = 0;
    int m_nProgressUpper = 100;
    int m_nProgressPos = 0;

    // What was printed last.
    SShown m_printedFwName;
    SShown m_printedFwStatus;
    SShown m_printedMessage;
    std::string m_strPrintedDetail;
    std::string m_printedPanes[3];
    int m_nPrintedPercent = -1;
    bool m_bProgressLineOpen = false;
    bool m_bPromptShown = false;
    bool m_bEchoInput = false;
    bool m_bEnded = false;
    std::vector<std::string> m_notes;

    struct SUnitLine
    {
        std::string strPort;
        std::string strText; // as printed on a terminal
        std::string strPhase;
        int nStep = -2; // the 10 % step printed last when not on a terminal; -1: ended
    };
    std::vector<SUnitLine> m_units;
    std::size_t m_nUnitLinesShown = 0; // lines of the unit block directly above the cursor
};

// "y", "yes", "j", "ja" give true, "n", "no", "nein" false (case-insensitive, blanks around
// ignored); anything else nullopt.
std::optional<bool> ParseYesNo(const std::string& strLine);
