#pragma once
// What a worker procedure sees of whoever runs it: a queue to post what happened, whether it
// should stop, and the clock it waits on. Events cross this seam one way: the worker reports
// phases, progress and results as messages, and the wizard decides what to show.
#include <cstdint>
#include <string>

class IProtocolClock;

// Private messages of the wizard dialog.
inline constexpr unsigned WM_WORKER_STATUS = 2000;
inline constexpr unsigned WM_WORKER_DONE = 2001;
inline constexpr unsigned WM_WIZARD_NEXT = 2002;

// Sub-codes of WM_WORKER_STATUS (wParam).
inline constexpr unsigned STATUS_PROGRESS = 1;  // lParam: percent 0..100
inline constexpr unsigned STATUS_INFOLINE1 = 2; // strText: name/version line
inline constexpr unsigned STATUS_INFOLINE2 = 3; // strText: message line, plain
inline constexpr unsigned STATUS_INFOLINE3 = 4; // strText: detail line (the port being tried)
inline constexpr unsigned STATUS_PHASE = 16;    // lParam: the EWorkerPhase that begins

// Phases of the programming run; the wizard shows each as its own text.
enum EWorkerPhase : int
{
    PHASE_ERASE = 1,
    PHASE_BLANK_CHECK = 2,
    PHASE_PROGRAM = 3,
    PHASE_VERIFY = 4, // read-back of the programmed blocks (-v)
};

// One message in the dialog's queue. A text travels inside its message as a value. nSession
// says which unit session the message is about, so several sessions can share one queue.
struct SWizardMessage
{
    unsigned nMsg = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    std::string strText;
    unsigned nSession = 0;
};

class IWorkerHost
{
public:
    virtual ~IWorkerHost() = default;

    // Thread-safe: queues the message for the dialog's thread. The host marks it with the
    // worker's session.
    virtual void PostWorkerMessage(SWizardMessage msg) = 0;
    // Thread-safe: true once the worker is to end at its next check (the program is closing).
    virtual bool StopRequested() const = 0;
    // The clock the protocol objects wait on; its waits end early once a stop is requested.
    virtual IProtocolClock& Clock() = 0;
};
