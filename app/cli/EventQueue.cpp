#include "app/cli/EventQueue.h"

void CEventQueue::Push(SCliEvent event)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    m_cv.notify_all();
}

void CEventQueue::PushWizard(SWizardMessage msg)
{
    SCliEvent event;
    event.kind = ECliEvent::Wizard;
    event.msg = std::move(msg);
    Push(std::move(event));
}

long CEventQueue::FindTakeable(bool bLineAllowed, bool bEndAllowed) const
{
    bool bInputSeen = false;
    for (std::size_t i = 0; i < m_events.size(); ++i)
    {
        const SCliEvent& event = m_events[i];
        switch (event.kind)
        {
        case ECliEvent::Wizard:
        case ECliEvent::CloseRequest:
            return static_cast<long>(i);
        case ECliEvent::Line:
        case ECliEvent::InputEnd:
            if (!bInputSeen)
            {
                bInputSeen = true;
                const bool bAllowed = event.kind == ECliEvent::Line ? bLineAllowed : bEndAllowed;
                if (bAllowed)
                {
                    return static_cast<long>(i);
                }
            }
            break;
        }
    }
    return -1;
}

SCliEvent CEventQueue::Take(bool bLineAllowed, bool bEndAllowed)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    long nIndex = -1;
    m_cv.wait(lock,
              [&]
              {
                  nIndex = FindTakeable(bLineAllowed, bEndAllowed);
                  return nIndex >= 0;
              });
    const auto it = m_events.begin() + nIndex;
    SCliEvent event = std::move(*it);
    m_events.erase(it);
    return event;
}

std::optional<std::string> CEventQueue::TakeModalLine()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;)
    {
        for (auto it = m_events.begin(); it != m_events.end(); ++it)
        {
            if (it->kind == ECliEvent::CloseRequest || it->kind == ECliEvent::InputEnd)
            {
                return std::nullopt;
            }
            if (it->kind == ECliEvent::Line)
            {
                std::string strLine = std::move(it->strLine);
                m_events.erase(it);
                return strLine;
            }
        }
        m_cv.wait(lock);
    }
}

bool CEventQueue::HasWizardMessage() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const SCliEvent& event : m_events)
    {
        if (event.kind == ECliEvent::Wizard)
        {
            return true;
        }
    }
    return false;
}

bool CEventQueue::Empty() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events.empty();
}
