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

void CWizardStepGate::Run(const std::function<void()>& step)
{
    ++m_nDepth;
    step();
    --m_nDepth;
    if (m_nDepth > 0 || m_bEnded)
    {
        return;
    }
    if (m_bCloseDeferred)
    {
        m_bCloseDeferred = false;
        m_calls.close();
        if (m_bEnded)
        {
            return;
        }
    }
    m_calls.afterStep();
    WakeIfPending();
}

bool CWizardStepGate::DeferClose()
{
    if (!IsBusy())
    {
        return false;
    }
    m_bCloseDeferred = true;
    return true;
}

void CWizardStepGate::Post(SWizardMessage msg)
{
    if (m_queue.Post(std::move(msg)))
    {
        m_calls.wake();
    }
}

void CWizardStepGate::OnWake()
{
    m_queue.WakeReceived();
    Dispatch();
}

void CWizardStepGate::Dispatch()
{
    if (m_bEnded)
    {
        return;
    }
    if (IsBusy())
    {
        // The rest follows when the core has returned (Run).
        while (std::optional<SWizardMessage> msg = m_queue.Take(true))
        {
            Run([this, &msg] { m_calls.handle(*msg); });
        }
        return;
    }
    std::optional<SWizardMessage> msg = m_queue.Take(false);
    if (!msg)
    {
        return;
    }
    WakeIfPending(); // the next message comes on the next turn of the window's event loop
    Run([this, &msg] { m_calls.handle(*msg); });
}

void CWizardStepGate::WakeIfPending()
{
    if (m_queue.NeedsWake())
    {
        m_calls.wake();
    }
}
