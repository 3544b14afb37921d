#include "tests/app/FakeView.h"

#include "app/core/OrlixDlg.h"

void CFakeView::SetControlText(int nId, const std::string& strText)
{
    m_texts[nId] = strText;
    m_log.push_back("text " + std::to_string(nId) + " " + strText);
}

void CFakeView::SetControlIcon(int nId, EViewIcon icon)
{
    m_icons[nId] = icon;
    m_log.push_back("icon " + std::to_string(nId) + " " + std::to_string(static_cast<int>(icon)));
}

void CFakeView::ShowControl(int nId, bool bShow)
{
    m_shown[nId] = bShow;
    m_log.push_back("show " + std::to_string(nId) + " " + (bShow ? "1" : "0"));
}

void CFakeView::SetProgressRange(int nLower, int nUpper)
{
    m_ranges.emplace_back(nLower, nUpper);
    m_log.push_back("range");
}

void CFakeView::SetProgressPos(int nPos)
{
    m_nProgressPos = nPos;
    m_positions.push_back(nPos);
    m_log.push_back("pos " + std::to_string(nPos));
}

void CFakeView::PlaySound(EViewSound sound)
{
    m_sounds.push_back(sound);
    m_log.push_back("sound");
}

void CFakeView::MessageBox(const std::string& strText, const std::string& strCaption, EMsgBoxIcon icon)
{
    m_boxes.push_back({strText, strCaption, icon});
    m_log.push_back("box " + strText);
}

bool CFakeView::OpenFileDialog(const std::string& strInitialName, const std::string& strFilter,
                               std::string& strPath)
{
    m_fileDialogInitialNames.push_back(strInitialName);
    m_fileDialogFilters.push_back(strFilter);
    m_log.push_back("filedialog");
    if (m_fileAnswers.empty())
    {
        return false;
    }
    const std::optional<std::string> answer = m_fileAnswers.front();
    m_fileAnswers.pop_front();
    if (!answer.has_value())
    {
        return false;
    }
    strPath = *answer;
    return true;
}

void CFakeView::BeginWaitCursor()
{
    ++m_nWaitCursor;
}

void CFakeView::EndWaitCursor()
{
    --m_nWaitCursor;
}

void CFakeView::SetStatusPane(int nPane, const std::string& strText)
{
    m_panes[nPane] = strText;
    m_bPanesTouched = true;
    m_log.push_back("pane " + std::to_string(nPane) + " " + strText);
}

void CFakeView::PostWizardMessage(SWizardMessage msg)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(msg));
    }
    m_cv.notify_all();
}

void CFakeView::Pause(uint32_t dwMilliseconds)
{
    m_pauses.push_back(dwMilliseconds);
    m_pausePages.emplace_back(Text(IDC_INFOLINE2), Text(IDC_INFOLINE3));
    m_log.push_back("pause");
}

void CFakeView::EndDialog()
{
    ++m_nEndDialog;
    m_log.push_back("enddialog");
}

std::optional<SWizardMessage> CFakeView::PopMessage()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queue.empty())
    {
        return std::nullopt;
    }
    SWizardMessage msg = std::move(m_queue.front());
    m_queue.pop_front();
    return msg;
}

std::size_t CFakeView::QueuedCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.size();
}

bool CFakeView::Pump(COrlixDlg& dlg, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_queue.empty())
        {
            if (!dlg.IsBusy() || dlg.IsClosed())
            {
                return true;
            }
            if (!m_cv.wait_until(lock, deadline, [this] { return !m_queue.empty(); }))
            {
                return false;
            }
        }
        SWizardMessage msg = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        dlg.HandleMessage(msg);
    }
}

std::string CFakeView::Text(int nId) const
{
    const auto it = m_texts.find(nId);
    return it == m_texts.end() ? std::string() : it->second;
}

EViewIcon CFakeView::Icon(int nId) const
{
    const auto it = m_icons.find(nId);
    return it == m_icons.end() ? EViewIcon::None : it->second;
}

bool CFakeView::Shown(int nId) const
{
    const auto it = m_shown.find(nId);
    return it == m_shown.end() ? true : it->second;
}

std::string CFakeView::Row() const
{
    const bool bProgress = Shown(IDC_PROGRESS);
    const bool bAction = Shown(IDC_ACTION);
    const bool bYes = Shown(IDC_YES);
    const bool bNo = Shown(IDC_NO);
    if (bAction && !bProgress && !bYes && !bNo)
    {
        return "action";
    }
    if (bYes && bNo && !bProgress && !bAction)
    {
        return "yesno";
    }
    if (bProgress && !bAction && !bYes && !bNo)
    {
        return "progress";
    }
    return "mixed";
}
