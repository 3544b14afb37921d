#pragma once
// Reads stdin line by line on its own thread and queues each line, then the end of input.
// SIGINT, SIGTERM and SIGHUP become close requests in the same queue.
#include "app/cli/EventQueue.h"

#include <thread>

class CInputReader
{
public:
    // nFd: the file descriptor to read (stdin).
    CInputReader(CEventQueue& queue, int nFd);
    CInputReader(const CInputReader&) = delete;
    CInputReader& operator=(const CInputReader&) = delete;
    // Stops the thread. The signal handlers stay for the rest of the process.
    ~CInputReader();

    // Installs the SIGINT/SIGTERM/SIGHUP handlers (once per process) and starts the thread.
    // False when the pipes or the thread cannot be made.
    bool Start();
    void Stop();

private:
    void Run();
    void PushLine(std::string& strPending, bool bFinal);

    CEventQueue& m_queue;
    int m_nFd;
    int m_stopPipe[2] = {-1, -1};
    std::thread m_thread;
};
