#include "app/core/WorkerRunner.h"

#include <system_error>

CWorkerRunner::CWorkerRunner(CUnitSession& session, PostFn post) : m_session(session), m_post(std::move(post))
{
}

CWorkerRunner::~CWorkerRunner()
{
    Stop();
}

void CWorkerRunner::Start(EUnitStep step, const WorkerProc& proc, const CFirmwareImage& image)
{
    Join();
    m_step = step;
    m_bDonePosted = false;
    try
    {
        m_thread = std::thread([this, step, proc, &image] { Run(step, proc, image); });
    }
    catch (const std::system_error&)
    {
        // No thread: the step fails as the worker would have, and the wizard goes on to its
        // result page.
        m_session.SetFailed(step);
        PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, 0, {}});
    }
}

void CWorkerRunner::Run(EUnitStep step, const WorkerProc& proc, const CFirmwareImage& image)
{
    try
    {
        if (proc)
        {
            proc(m_session, image, *this);
        }
    }
    catch (...)
    {
        // Reported below as a failed step; nothing may leave a worker thread.
    }
    // A worker that ended without WM_WORKER_DONE would leave the wizard busy for good.
    if (!m_bDonePosted.load())
    {
        m_session.SetFailed(step);
        PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, 0, {}});
    }
}

void CWorkerRunner::Join()
{
    if (m_thread.joinable())
    {
        m_thread.join();
    }
}

void CWorkerRunner::Stop()
{
    if (!m_thread.joinable())
    {
        return;
    }
    m_bStopRequested = true;
    m_clock.Cancel();
    m_session.Interrupt();
    Join();
}

void CWorkerRunner::PostWorkerMessage(SWizardMessage msg)
{
    // One WM_WORKER_DONE per run; a second one would move the wizard on twice.
    if (msg.nMsg == WM_WORKER_DONE && m_bDonePosted.exchange(true))
    {
        return;
    }
    msg.nSession = m_session.Index();
    m_post(std::move(msg));
}
