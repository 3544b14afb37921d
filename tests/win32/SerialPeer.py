#!/usr/bin/env python3
"""The far end of the Windows serial tests: a Linux pty that Wine opens as a COM port.

Usage: SerialPeer.py LINK   (LINK: the prefix's dosdevices/comN, re-pointed at each new pty)

The test drives the peer through the port with one-byte commands:
  'S' n gap   send the bytes 0 .. n-1, gap milliseconds apart
  'E' lo hi   followed by lo + 256 * hi bytes: send those bytes back
  'B'         send the line speed the port has set, in decimal, and '\\n'
  'X'         vanish: close the pty (the port sees its device go), then offer a new one
Other bytes are ignored.
"""
import os
import pty
import sys
import termios
import time
import tty

SPEEDS = {getattr(termios, "B%d" % rate): rate for rate in (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)}


def serve(link):
    master, slave = pty.openpty()
    tty.setraw(slave)  # the slave stays open here too, so the pty lives between the test's opens
    tmp = link + ".new"
    if os.path.lexists(tmp):
        os.unlink(tmp)
    os.symlink(os.ttyname(slave), tmp)
    os.replace(tmp, link)
    pending = b""
    while True:
        pending += os.read(master, 4096)
        while pending:
            cmd = pending[0]
            if cmd == ord("S"):
                if len(pending) < 3:
                    break
                count, gap = pending[1], pending[2]
                pending = pending[3:]
                for value in range(count):
                    os.write(master, bytes([value]))
                    time.sleep(gap / 1000)
            elif cmd == ord("E"):
                if len(pending) < 3:
                    break
                count = pending[1] | pending[2] << 8
                if len(pending) < 3 + count:
                    break
                os.write(master, pending[3 : 3 + count])
                pending = pending[3 + count :]
            elif cmd == ord("B"):
                speed = termios.tcgetattr(slave)[5]
                os.write(master, b"%d\n" % SPEEDS.get(speed, 0))
                pending = pending[1:]
            elif cmd == ord("X"):
                os.close(master)
                os.close(slave)
                return
            else:
                pending = pending[1:]


def main():
    while True:
        serve(sys.argv[1])


if __name__ == "__main__":
    main()
