#include "serial/posix/LineSpeed.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

int GetLineSpeed(int fd, uint32_t& dwBaud)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    dwBaud = tio.c_ospeed;
    return 0;
}

int SetLineSpeed(int fd, uint32_t dwBaud)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    // BOTHER takes the rate from c_ospeed; an input-speed field of 0 means "same as output".
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER;
    tio.c_ospeed = dwBaud;
    tio.c_ispeed = dwBaud;
    if (ioctl(fd, TCSETS2, &tio) != 0)
        return errno;
    return 0;
}
