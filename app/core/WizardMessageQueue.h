#pragma once
// The wizard's message queue as a window keeps it: workers and the core post from any thread,
// the window's thread takes the messages in the order posted, one per wake-up of its event
// loop, so painting and input go on in between. A step never runs inside another: while the
// core is busy (a modal box, the pause) only status messages, which merely change controls,
// are taken; the rest waits until the core has returned. The window supplies the wake-up.
#include "target/WorkerHost.h"

#include <cstddef>
#include <deque>
#include <functional>
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

// A window's side of the rule that steps never nest, the same for every window toolkit. A
// step (a button, a close request, a queued message) runs through Run; clicks and menus act
// only when the gate is idle; a close request during a step or the pause is made again after
// it; queued messages are handed to the core one per wake-up. The window supplies the calls.
class CWizardStepGate
{
public:
    struct SWindowCalls
    {
        std::function<void()> wake;                        // any thread: post the wake-up event
        std::function<void(const SWizardMessage&)> handle; // the core takes a queued message
        std::function<void()> close;                       // a deferred close request, made now
        std::function<void()> afterStep;                   // after each outermost step
    };
    explicit CWizardStepGate(SWindowCalls calls) : m_calls(std::move(calls)) {}

    // Runs step inside the core; after the outermost one, a deferred close and the next wake-up.
    void Run(const std::function<void()>& step);
    // A step runs or the wizard pauses.
    bool IsBusy() const { return m_nDepth > 0 || m_bPausing; }
    // A click or a menu may act now.
    bool IsIdle() const { return !m_bEnded && !IsBusy(); }
    // While busy a close request is remembered and made again after the step: true then.
    bool DeferClose();
    void SetPausing(bool bPausing) { m_bPausing = bPausing; }
    void End() { m_bEnded = true; }
    bool HasEnded() const { return m_bEnded; }

    // Thread-safe.
    void Post(SWizardMessage msg);
    // The wake-up arrived on the window's thread.
    void OnWake();
    std::size_t Pending() const { return m_queue.Size(); }

private:
    void Dispatch();
    void WakeIfPending();

    SWindowCalls m_calls;
    CWizardMessageQueue m_queue;
    int m_nDepth = 0;
    bool m_bPausing = false;
    bool m_bEnded = false;
    bool m_bCloseDeferred = false;
};
