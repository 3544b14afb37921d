#pragma once
// The console front-end's one FIFO queue on the dialog's thread: the wizard's and the
// workers' messages, the lines typed on stdin, the end of input and close requests (signals).
#include "target/WorkerHost.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

enum class ECliEvent
{
    Wizard,       // a posted SWizardMessage
    Line,         // one line of input, without its line end
    InputEnd,     // stdin ended: the user closes the window
    CloseRequest, // SIGINT, SIGTERM or SIGHUP: the user closes the window
};

struct SCliEvent
{
    ECliEvent kind = ECliEvent::Wizard;
    SWizardMessage msg;
    std::string strLine;
};

class CEventQueue
{
public:
    // Thread-safe.
    void Push(SCliEvent event);
    void PushWizard(SWizardMessage msg);

    // Waits for the first event the dialog can take now and removes it. Wizard messages and
    // close requests are always taken, in their order. Input (lines and the end) keeps its own
    // order: only the earliest input event is considered, a line when bLineAllowed, the end
    // when bEndAllowed; otherwise input waits behind.
    SCliEvent Take(bool bLineAllowed, bool bEndAllowed);

    // For a modal input (the file name): waits for the earliest input event or a close
    // request. A line is removed and returned; the end of input or a close request stays
    // queued (the modal input is cancelled and the loop closes afterwards) and nullopt is
    // returned. Wizard messages stay queued.
    std::optional<std::string> TakeModalLine();

    bool HasWizardMessage() const;
    bool Empty() const;

private:
    // Index of the event Take may return, or -1.
    long FindTakeable(bool bLineAllowed, bool bEndAllowed) const;

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<SCliEvent> m_events;
};
