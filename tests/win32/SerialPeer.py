#!/usr/bin/env python3
"""The far end of the Windows serial tests: a Linux pty that Wine opens as a COM port.

Usage: SerialPeer.py LINK   (the prefix's dosdevices/comN, re-pointed at each new pty)
One-byte commands from the test: 'S' n gap: send 0 .. n-1, gap ms apart; 'E' lo hi + lo+256*hi
bytes: send those back; 'B': send the line speed in decimal and '\\n'; 'X': vanish (close the
pty), then offer a new one. Other bytes are ignored.
"""
import os
import pty
import sys
import termios
import time
import tty

SPEEDS = {getattr(termios, "B%d" % r): r for r in (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)}


def serve(link):
    master, slave = pty.openpty()
    tty.setraw(slave)  # kept open here too, so the pty lives between the test's opens
    if os.path.lexists(link + ".new"):
        os.unlink(link + ".new")
    os.symlink(os.ttyname(slave), link + ".new")
    os.replace(link + ".new", link)
    pending = b""
    while True:
        pending += os.read(master, 4096)
        while pending:
            cmd, need = pending[0], 3
            if cmd == ord("E") and len(pending) >= 3:
                need += pending[1] | pending[2] << 8
            elif cmd in b"BX":
                need = 1
            elif cmd != ord("S"):
                pending = pending[1:]
                continue
            if len(pending) < need:
                break
            if cmd == ord("S"):
                for value in range(pending[1]):
                    os.write(master, bytes([value]))
                    time.sleep(pending[2] / 1000)
            elif cmd == ord("E"):
                os.write(master, pending[3:need])
            elif cmd == ord("B"):
                os.write(master, b"%d\n" % SPEEDS.get(termios.tcgetattr(slave)[5], 0))
            else:
                os.close(master)
                os.close(slave)
                return
            pending = pending[need:]


while True:
    serve(sys.argv[1])
