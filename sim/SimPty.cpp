#include "sim/SimPty.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace
{
std::string ErrnoText(const std::string& strWhat)
{
    return strWhat + ": " + std::strerror(errno);
}

// Points strLink at strTarget: a new symlink beside it, renamed over the old one, so the link
// never is missing or half-made for a program that looks at it.
bool MakeLink(const std::string& strTarget, const std::string& strLink, std::string& strError)
{
    struct stat st
    {
    };
    if (lstat(strLink.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
    {
        strError = strLink + " exists and is not a symlink; not replacing it";
        return false;
    }
    const std::string strTemp = strLink + ".tmp" + std::to_string(getpid());
    unlink(strTemp.c_str());
    if (symlink(strTarget.c_str(), strTemp.c_str()) != 0)
    {
        strError = ErrnoText("cannot create the link " + strLink);
        return false;
    }
    if (rename(strTemp.c_str(), strLink.c_str()) != 0)
    {
        strError = ErrnoText("cannot create the link " + strLink);
        unlink(strTemp.c_str());
        return false;
    }
    return true;
}
} // namespace

CSimPty::~CSimPty()
{
    Close();
}

bool CSimPty::Open(const std::string& strLink, std::string& strError)
{
    Close();
    m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_nMaster < 0)
    {
        strError = ErrnoText("posix_openpt");
        return false;
    }
    char szName[PATH_MAX];
    if (grantpt(m_nMaster) != 0 || unlockpt(m_nMaster) != 0 ||
        ptsname_r(m_nMaster, szName, sizeof szName) != 0)
    {
        strError = ErrnoText("cannot prepare the pty");
        Close();
        return false;
    }
    m_strSlave = szName;
    m_nSlave = open(szName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_nSlave < 0)
    {
        strError = ErrnoText("cannot open " + m_strSlave);
        Close();
        return false;
    }
    // Raw, like a serial device with nothing configured; the speed stays the pty's default,
    // so a program that forgets to set 4800 bit/s is not understood.
    termios tio{};
    if (tcgetattr(m_nSlave, &tio) == 0)
    {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tcsetattr(m_nSlave, TCSANOW, &tio);
    }
    if (!MakeLink(m_strSlave, strLink, strError))
    {
        Close();
        return false;
    }
    m_strLink = strLink;
    return true;
}

void CSimPty::Close()
{
    if (!m_strLink.empty())
    {
        // Only our own link: another simulator may have taken the path over since.
        char szTarget[PATH_MAX];
        const ssize_t n = readlink(m_strLink.c_str(), szTarget, sizeof szTarget - 1);
        if (n > 0 && std::string(szTarget, static_cast<size_t>(n)) == m_strSlave)
        {
            unlink(m_strLink.c_str());
        }
        m_strLink.clear();
    }
    if (m_nSlave >= 0)
    {
        close(m_nSlave);
        m_nSlave = -1;
    }
    if (m_nMaster >= 0)
    {
        close(m_nMaster);
        m_nMaster = -1;
    }
}
