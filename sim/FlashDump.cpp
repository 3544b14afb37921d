#include "sim/FlashDump.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool WriteFileAtomically(const std::string& strPath, const std::vector<uint8_t>& data, std::string& strError)
{
    const std::string strTemp = strPath + ".tmp" + std::to_string(getpid());
    const int fd = open(strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
    {
        strError = "cannot write the dump " + strTemp + ": " + std::strerror(errno);
        return false;
    }
    size_t nDone = 0;
    while (nDone < data.size())
    {
        const ssize_t n = write(fd, data.data() + nDone, data.size() - nDone);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            strError = "cannot write the dump " + strTemp + ": " + std::strerror(errno);
            close(fd);
            unlink(strTemp.c_str());
            return false;
        }
        nDone += static_cast<size_t>(n);
    }
    if (close(fd) != 0 || rename(strTemp.c_str(), strPath.c_str()) != 0)
    {
        strError = "cannot write the dump " + strPath + ": " + std::strerror(errno);
        unlink(strTemp.c_str());
        return false;
    }
    return true;
}
