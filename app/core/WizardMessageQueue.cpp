#include "app/core/WizardMessageQueue.h"

bool CWizardMessageQueue::Post(SWizardMessage msg)
{
    std::lock_guard lock(m_mutex);
    m_queue.push_back(std::move(msg));
    const bool bWake = !m_bWakePending;
    m_bWakePending = true;
    return bWake;
}

void CWizardMessageQueue::WakeReceived()
{
    std::lock_guard lock(m_mutex);
    m_bWakePending = false;
}

bool CWizardMessageQueue::NeedsWake()
{
    std::lock_guard lock(m_mutex);
    if (m_queue.empty() || m_bWakePending)
    {
        return false;
    }
    m_bWakePending = true;
    return true;
}

std::optional<SWizardMessage> CWizardMessageQueue::Take(bool bCoreBusy)
{
    std::lock_guard lock(m_mutex);
    if (m_queue.empty() || (bCoreBusy && m_queue.front().nMsg != WM_WORKER_STATUS))
    {
        return std::nullopt;
    }
    SWizardMessage msg = std::move(m_queue.front());
    m_queue.pop_front();
    return msg;
}

std::size_t CWizardMessageQueue::Size() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}
