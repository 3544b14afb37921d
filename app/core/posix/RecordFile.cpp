#include "app/core/RecordFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
bool Fail(std::string& strError, const char* pszWhat, int nError)
{
    strError = std::string(pszWhat) + ": " + std::strerror(nError);
    return false;
}
} // namespace

bool AppendRecordLine(const std::string& strPath, const std::string& strLine, std::string& strError)
{
    const int nFd = open(strPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (nFd < 0)
    {
        return Fail(strError, "open", errno);
    }
    struct stat before = {};
    const bool bKnowSize = fstat(nFd, &before) == 0;
    ssize_t nWritten = 0;
    do
    {
        nWritten = write(nFd, strLine.data(), strLine.size());
    } while (nWritten < 0 && errno == EINTR);
    const int nWriteError = errno;
    if (nWritten != static_cast<ssize_t>(strLine.size()))
    {
        if (nWritten > 0 && bKnowSize)
        {
            // Half a line would run into the next record: cut it off.
            (void)!ftruncate(nFd, before.st_size);
        }
        close(nFd);
        return Fail(strError, "write", nWritten < 0 ? nWriteError : ENOSPC);
    }
    if (fsync(nFd) != 0)
    {
        const int nError = errno;
        close(nFd);
        return Fail(strError, "fsync", nError);
    }
    if (close(nFd) != 0)
    {
        return Fail(strError, "close", errno);
    }
    return true;
}
