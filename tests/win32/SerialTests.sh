#!/usr/bin/env bash
# Runs the Win32 port's pty tests under Wine: starts SerialPeer.py, maps its pty as COMn (and
# names COMn in the SERIALCOMM map, as a driver would), then runs the test program's WinePty
# tests with ORLIX_TEST_COM=COMn.
# Usage: SerialTests.sh BUILD_DIR TEST_EXE N
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
wine_env_init "$1"
exe=$2
n=$3
link="$WINEPREFIX/dosdevices/com$n"
cleanup() {
  [ -z "${peer:-}" ] || kill "$peer" 2>/dev/null || true
  wine_unmap_com "$n"
  wine reg delete 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "OrlixTest$n" /f >/dev/null 2>&1 || true
}
trap cleanup EXIT
rm -f "$link"
python3 "$here/SerialPeer.py" "$link" &
peer=$!
for _ in $(seq 100); do
  [ -e "$link" ] && break
  sleep 0.05
done
wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "OrlixTest$n" /d "COM$n" /f >/dev/null
ORLIX_TEST_COM="COM$n" wine "$exe" --gtest_filter='WinePty*'
