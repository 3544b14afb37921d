#pragma once
// The wizard's message queue as a window keeps it: workers and the core post from any thread,
// the window's thread takes the messages in the order posted, one per wake-up of its event
// loop, so painting and input go on in between. A step never runs inside another: while the
// core is busy (a modal box, the pause) only status messages, which merely change controls,
// are taken; the rest waits until the core has returned. The window supplies the wake-up.
#include "target/WorkerHost.h"

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

class CWizardMessageQueue
{
public:
    // Thread-safe. True when the caller must wake the window's thread (no wake-up is pending).
    bool Post(SWizardMessage msg);
    // The window's thread received the wake-up.
    void WakeReceived();
    // True when messages remain and no wake-up is pending; counts one as pending.
    bool NeedsWake();
    // The next message for the core; with bCoreBusy only a status message at the front.
    std::optional<SWizardMessage> Take(bool bCoreBusy);
    std::size_t Size() const;

private:
    mutable std::mutex m_mutex;
    std::deque<SWizardMessage> m_queue; // guarded by m_mutex
    bool m_bWakePending = false;        // guarded by m_mutex
};
