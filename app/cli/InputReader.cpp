#include "app/cli/InputReader.h"

void CInputReader::PushLines(CEventQueue& queue, std::string& strPending, bool bFinal)
{
    std::size_t nStart = 0;
    for (;;)
    {
        const std::size_t nEnd = strPending.find('\n', nStart);
        if (nEnd == std::string::npos)
        {
            break;
        }
        std::string strLine = strPending.substr(nStart, nEnd - nStart);
        if (!strLine.empty() && strLine.back() == '\r')
        {
            strLine.pop_back();
        }
        queue.Push(SCliEvent{ECliEvent::Line, {}, std::move(strLine)});
        nStart = nEnd + 1;
    }
    strPending.erase(0, nStart);
    if (bFinal && !strPending.empty())
    {
        if (strPending.back() == '\r')
        {
            strPending.pop_back();
        }
        queue.Push(SCliEvent{ECliEvent::Line, {}, std::move(strPending)});
        strPending.clear();
    }
}
