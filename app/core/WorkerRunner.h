#pragma once
// Runs the worker procedures of one unit session, one at a time, each on its own thread, and is
// their host: it marks their messages with the session, tells them when to stop, and gives them
// a clock whose waits end when they are stopped. Its done guard makes every run end in exactly
// one WM_WORKER_DONE, after the session holds a result.
#include "app/core/CancellableClock.h"
#include "target/WorkerHost.h"
#include "target/workers/UnitSession.h"

#include <atomic>
#include <functional>
#include <thread>

class CFirmwareImage;

// A worker procedure: the real ones live in target/workers; tests put fakes here.
using WorkerProc = std::function<unsigned(CUnitSession&, const CFirmwareImage&, IWorkerHost&)>;

class CWorkerRunner final : public IWorkerHost
{
public:
    using PostFn = std::function<void(SWizardMessage)>;

    // post queues a message for the dialog's thread (thread-safe).
    CWorkerRunner(CUnitSession& session, PostFn post);
    // Stops and joins a running worker.
    ~CWorkerRunner() override;
    CWorkerRunner(const CWorkerRunner&) = delete;
    CWorkerRunner& operator=(const CWorkerRunner&) = delete;

    // Joins the worker before, then runs proc for step on a new thread. When no thread can be
    // started, the step fails as the worker would have: the session gets the failure and
    // WM_WORKER_DONE is posted.
    void Start(EUnitStep step, const WorkerProc& proc, const CFirmwareImage& image);
    // Waits for the worker's thread to end (after its WM_WORKER_DONE it ends at once).
    void Join();
    // For the end of the program: the worker sees the stop request at its next check, its
    // clock waits end and a blocking read on the port throws; then it is joined. Later workers
    // stop at once.
    void Stop();
    EUnitStep GetStep() const { return m_step; }

    // IWorkerHost
    void PostWorkerMessage(SWizardMessage msg) override;
    bool StopRequested() const override { return m_bStopRequested.load(); }
    IProtocolClock& Clock() override { return m_clock; }

private:
    void Run(EUnitStep step, const WorkerProc& proc, const CFirmwareImage& image);

    CUnitSession& m_session;
    PostFn m_post;
    CCancellableClock m_clock;
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<bool> m_bDonePosted{false};
    EUnitStep m_step = EUnitStep::Search;
    std::thread m_thread;
};
