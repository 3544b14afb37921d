#!/usr/bin/env bash
# Runs the WinePty tests of TEST_EXE with SerialPeer.py's pty as COMn, named in the SERIALCOMM
# map as a driver would.   Usage: SerialTests.sh BUILD_DIR TEST_EXE N
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
wine_env_init "$1"
n=$3 key='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
link="$WINEPREFIX/dosdevices/com$n"
cleanup() {
  kill "$peer" 2>/dev/null || true
  wine_unmap_com "$n"
  wine reg delete "$key" /v "OrlixTest$n" /f >/dev/null 2>&1 || true
}
rm -f "$link"
python3 "$here/SerialPeer.py" "$link" &
peer=$!
trap cleanup EXIT
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
wine reg add "$key" /v "OrlixTest$n" /d "COM$n" /f >/dev/null
ORLIX_TEST_COM="COM$n" wine "$2" --gtest_filter='WinePty*'
