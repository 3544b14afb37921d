#pragma once
// Reads stdin line by line on its own thread and queues each line, then the end of input.
// The platform's interrupt and close events (POSIX: SIGINT, SIGTERM, SIGHUP; Windows: Ctrl-C,
// Ctrl-Break, closing the console window) become close requests in the same queue.
#include "app/cli/EventQueue.h"

#include <memory>
#include <string>

class CInputReader
{
public:
    // nFd: the file descriptor to read (stdin).
    CInputReader(CEventQueue& queue, int nFd);
    CInputReader(const CInputReader&) = delete;
    CInputReader& operator=(const CInputReader&) = delete;
    // Stops the thread. The close-event handlers stay for the rest of the process.
    ~CInputReader();

    // Installs the close-event handlers (once per process) and starts the thread.
    // False when the thread or what it waits on cannot be made.
    bool Start();
    void Stop();

    // Queues every complete line of strPending (a CR before the LF is dropped) and keeps the
    // rest; bFinal queues the rest as a last line too.
    static void PushLines(CEventQueue& queue, std::string& strPending, bool bFinal);

private:
    struct SPlatform; // the platform's handles and reading thread

    CEventQueue& m_queue;
    int m_nFd;
    std::unique_ptr<SPlatform> m_pPlatform;
};
