// Reading the line speed with TCGETS2 gives the bit rate as a number for every rate, standard
// or not. The kernel's termios2 definitions clash with <termios.h>, so this file includes
// only the kernel's header and the other flags are taken from it as well.
#include "sim/SimPty.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool ReadPtyLineInfo(int fd, SPtyLineInfo& info)
{
    struct termios2 tio
    {
    };
    if (ioctl(fd, TCGETS2, &tio) != 0)
    {
        return false;
    }
    info.line.dwBaud = tio.c_ospeed;
    info.line.bFormatOk =
        (tio.c_cflag & CSIZE) == CS8 && (tio.c_cflag & PARENB) == 0 && (tio.c_cflag & CSTOPB) == 0;

    struct SFlag
    {
        tcflag_t termios2::*pField;
        tcflag_t flag;
        const char* pszName;
    };
    static const SFlag notRaw[] = {
        {&termios2::c_iflag, IGNBRK, "IGNBRK"}, {&termios2::c_iflag, BRKINT, "BRKINT"},
        {&termios2::c_iflag, PARMRK, "PARMRK"}, {&termios2::c_iflag, ISTRIP, "ISTRIP"},
        {&termios2::c_iflag, INLCR, "INLCR"},   {&termios2::c_iflag, IGNCR, "IGNCR"},
        {&termios2::c_iflag, ICRNL, "ICRNL"},   {&termios2::c_iflag, IXON, "IXON"},
        {&termios2::c_iflag, IXOFF, "IXOFF"},   {&termios2::c_oflag, OPOST, "OPOST"},
        {&termios2::c_lflag, ECHO, "ECHO"},     {&termios2::c_lflag, ECHONL, "ECHONL"},
        {&termios2::c_lflag, ICANON, "ICANON"}, {&termios2::c_lflag, ISIG, "ISIG"},
        {&termios2::c_lflag, IEXTEN, "IEXTEN"}, {&termios2::c_cflag, CRTSCTS, "CRTSCTS"},
    };
    info.strNotRaw.clear();
    for (const SFlag& f : notRaw)
    {
        if ((tio.*f.pField & f.flag) != 0)
        {
            info.strNotRaw += info.strNotRaw.empty() ? "" : " ";
            info.strNotRaw += f.pszName;
        }
    }
    info.bRaw = info.strNotRaw.empty();
    return true;
}
