#pragma once
// IWizardView for tests: keeps what each control shows, logs every call in order, queues
// posted messages, and answers the open-file dialog from a script.
#include "app/core/WizardView.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class COrlixDlg;

struct SMessageBoxCall
{
    std::string strText;
    std::string strCaption;
    EMsgBoxIcon icon;
};

class CFakeView : public IWizardView
{
public:
    void SetControlText(int nId, const std::string& strText) override;
    void SetControlIcon(int nId, EViewIcon icon) override;
    void ShowControl(int nId, bool bShow) override;
    void SetProgressRange(int nLower, int nUpper) override;
    void SetProgressPos(int nPos) override;
    void PlaySound(EViewSound sound) override;
    void MessageBox(const std::string& strText, const std::string& strCaption, EMsgBoxIcon icon) override;
    bool OpenFileDialog(const std::string& strInitialName, const std::string& strFilter,
                        std::string& strPath) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void SetStatusPane(int nPane, const std::string& strText) override;
    void PostWizardMessage(SWizardMessage msg) override;
    void Pause(uint32_t dwMilliseconds) override;
    void EndDialog() override;

    // Hands queued messages to the dialog until nothing is queued and no worker runs. A
    // running worker is waited for (generously); false when it did not end in time.
    bool Pump(COrlixDlg& dlg, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    std::size_t QueuedCount() const;
    std::optional<SWizardMessage> PopMessage();

    std::string Text(int nId) const;
    EViewIcon Icon(int nId) const;
    bool Shown(int nId) const;
    // "action", "yesno", "progress", or what else the visible controls make.
    std::string Row() const;

    // The open-file dialog's answers, in order; an empty optional is a cancel. Exhausted: cancel.
    std::deque<std::optional<std::string>> m_fileAnswers;
    std::vector<std::string> m_fileDialogInitialNames;
    std::vector<std::string> m_fileDialogFilters;

    std::vector<SMessageBoxCall> m_boxes;
    std::vector<EViewSound> m_sounds;
    std::vector<uint32_t> m_pauses;
    // The page at the moment of each pause: message and detail line.
    std::vector<std::pair<std::string, std::string>> m_pausePages;
    std::vector<std::pair<int, int>> m_ranges;
    std::vector<int> m_positions;
    std::string m_panes[3];
    bool m_bPanesTouched = false;
    int m_nWaitCursor = 0;
    int m_nEndDialog = 0;
    int m_nProgressPos = -1;
    // Every call, e.g. "text 1015 ...", "icon 1017 1", "show 1014 1", "box ...".
    std::vector<std::string> m_log;

private:
    std::map<int, std::string> m_texts;
    std::map<int, EViewIcon> m_icons;
    std::map<int, bool> m_shown;

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<SWizardMessage> m_queue;
};
