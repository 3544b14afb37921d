// The input thread on Windows. A console is read with ReadConsoleW (the typed text as
// Unicode, whatever the code page), a pipe or file with ReadFile. Ctrl-C, Ctrl-Break and
// closing the console window arrive through the console control handler as close requests.
#include "app/cli/InputReader.h"

#include <io.h>
#include <mutex>
#include <windows.h>

namespace
{

// What the reading thread and the control handler share with the reader. The thread holds
// its own reference, so a reader that has to leave a blocked read behind stays safe.
struct SShared
{
    std::mutex mutex;
    CEventQueue* pQueue = nullptr; // null once stopped
};

std::mutex g_handlerMutex;
std::shared_ptr<SShared> g_pHandlerTarget;
bool g_bHandlerInstalled = false;

bool PushEvent(SShared& shared, SCliEvent event)
{
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.pQueue == nullptr)
    {
        return false;
    }
    shared.pQueue->Push(std::move(event));
    return true;
}

BOOL WINAPI OnConsoleControl(DWORD dwType)
{
    std::shared_ptr<SShared> pTarget;
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        pTarget = g_pHandlerTarget;
    }
    const bool bQueued =
        pTarget != nullptr && PushEvent(*pTarget, SCliEvent{ECliEvent::CloseRequest, {}, {}});
    if (!bQueued)
    {
        return FALSE; // nothing listens: the default handling ends the process
    }
    if (dwType == CTRL_CLOSE_EVENT || dwType == CTRL_LOGOFF_EVENT || dwType == CTRL_SHUTDOWN_EVENT)
    {
        // Returning would end the process at once. Waiting here gives the wizard the time
        // Windows allows (a few seconds) to finish or refuse; the process ends when main
        // returns, or when Windows stops waiting.
        Sleep(INFINITE);
    }
    return TRUE;
}

std::string ToUtf8(const wchar_t* pText, DWORD dwLength)
{
    if (dwLength == 0)
    {
        return {};
    }
    const int nLength = static_cast<int>(dwLength);
    const int nBytes = WideCharToMultiByte(CP_UTF8, 0, pText, nLength, nullptr, 0, nullptr, nullptr);
    std::string strText(static_cast<std::size_t>(nBytes > 0 ? nBytes : 0), '\0');
    if (nBytes > 0)
    {
        WideCharToMultiByte(CP_UTF8, 0, pText, nLength, strText.data(), nBytes, nullptr, nullptr);
    }
    return strText;
}

struct SThreadArgs
{
    std::shared_ptr<SShared> pShared;
    HANDLE hInput;
};

// One read: the text and whether the input goes on. A read cut short by Ctrl-C or by Stop
// returns nothing and goes on; the caller checks whether it was stopped.
bool ReadSome(HANDLE hInput, bool bConsole, std::string& strText)
{
    if (bConsole)
    {
        wchar_t buffer[1024];
        DWORD dwRead = 0;
        if (!ReadConsoleW(hInput, buffer, 1024, &dwRead, nullptr))
        {
            return GetLastError() == ERROR_OPERATION_ABORTED;
        }
        strText = ToUtf8(buffer, dwRead);
        // Ctrl-Z and Enter: the console's end of input.
        return strText.rfind("\x1a", 0) != 0;
    }
    char buffer[4096];
    DWORD dwRead = 0;
    if (!ReadFile(hInput, buffer, sizeof buffer, &dwRead, nullptr))
    {
        return GetLastError() == ERROR_OPERATION_ABORTED; // e.g. ERROR_BROKEN_PIPE: writer gone
    }
    strText.assign(buffer, dwRead);
    // A file, and under Wine a pipe, ends with a read of nothing.
    return dwRead > 0;
}

DWORD WINAPI RunInput(void* pParam)
{
    std::unique_ptr<SThreadArgs> pArgs(static_cast<SThreadArgs*>(pParam));
    SShared& shared = *pArgs->pShared;
    DWORD dwMode = 0;
    const bool bConsole = GetConsoleMode(pArgs->hInput, &dwMode) != 0;
    std::string strPending;
    for (;;)
    {
        std::string strText;
        const bool bGoesOn = ReadSome(pArgs->hInput, bConsole, strText);
        std::lock_guard<std::mutex> lock(shared.mutex);
        if (shared.pQueue == nullptr)
        {
            return 0;
        }
        strPending += strText;
        CInputReader::PushLines(*shared.pQueue, strPending, !bGoesOn);
        if (!bGoesOn)
        {
            shared.pQueue->Push(SCliEvent{ECliEvent::InputEnd, {}, {}});
            return 0;
        }
    }
}

} // namespace

struct CInputReader::SPlatform
{
    std::shared_ptr<SShared> pShared = std::make_shared<SShared>();
    HANDLE hThread = nullptr;
};

CInputReader::CInputReader(CEventQueue& queue, int nFd)
    : m_queue(queue), m_nFd(nFd), m_pPlatform(std::make_unique<SPlatform>())
{
}

CInputReader::~CInputReader()
{
    Stop();
}

bool CInputReader::Start()
{
    const auto hInput = reinterpret_cast<HANDLE>(_get_osfhandle(m_nFd));
    if (hInput == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    m_pPlatform->pShared->pQueue = &m_queue;
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        g_pHandlerTarget = m_pPlatform->pShared;
        if (!g_bHandlerInstalled)
        {
            g_bHandlerInstalled = SetConsoleCtrlHandler(&OnConsoleControl, TRUE) != 0;
        }
    }
    auto pArgs = std::make_unique<SThreadArgs>(SThreadArgs{m_pPlatform->pShared, hInput});
    m_pPlatform->hThread = CreateThread(nullptr, 0, &RunInput, pArgs.get(), 0, nullptr);
    if (m_pPlatform->hThread == nullptr)
    {
        Stop();
        return false;
    }
    pArgs.release(); // the thread owns it now
    return true;
}

void CInputReader::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_pPlatform->pShared->mutex);
        m_pPlatform->pShared->pQueue = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        if (g_pHandlerTarget == m_pPlatform->pShared)
        {
            g_pHandlerTarget.reset();
        }
    }
    if (m_pPlatform->hThread != nullptr)
    {
        // Wakes a blocked ReadFile (and ReadConsoleW where the console allows it). A read that
        // cannot be woken is left behind: the thread then ends at its next wake-up, or with
        // the process, and touches nothing of this reader.
        CancelSynchronousIo(m_pPlatform->hThread);
        WaitForSingleObject(m_pPlatform->hThread, 500);
        CloseHandle(m_pPlatform->hThread);
        m_pPlatform->hThread = nullptr;
    }
}
