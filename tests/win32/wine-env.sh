#!/usr/bin/env bash
# The Wine side of the Windows tests, shared by every test script in this folder.
#
# Sourced:   . wine-env.sh; wine_env_init BUILD_DIR; wine_map_com 7 /dev/pts/3; wine prog.exe ...
# Executed:  wine-env.sh BUILD_DIR COMMAND [ARGS...]   runs COMMAND with the environment set up.
#
# wine_env_init BUILD_DIR  WINEPREFIX=BUILD_DIR/wineprefix, WINEDEBUG=-all; creates the prefix
#                          once (about 10 s, serialised by a lock so parallel tests share it) and
#                          keeps one wineserver alive between test processes (each run then costs
#                          about 0.1 s instead of 3 s).
# wine_map_com N TARGET    COMn opens TARGET (a pty slave, or a link to one). Only the dosdevices
#                          link is used, never the registry's Ports key: at wineserver start Wine
#                          rewrites the links from that key and a stale entry would re-point the port.
# wine_unmap_com N         removes the mapping.
# wine_pty_of LINK         the /dev/pts/N a link (e.g. orlix-sim --link) points to.

wine_env_init() {
  local build_dir
  build_dir=$(cd "$1" && pwd)
  export WINEPREFIX="${WINEPREFIX:-$build_dir/wineprefix}"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot --init >/dev/null 2>&1
    fi
    wineserver -p120 >/dev/null 2>&1 9>&- || true # exits at once when one is running
    wine cmd /c exit >/dev/null 2>&1 9>&- || true
  ) 9>"$WINEPREFIX.lock"
}

wine_map_com() {
  local n=$1 target=$2
  mkdir -p "$WINEPREFIX/dosdevices"
  ln -sfn "$target" "$WINEPREFIX/dosdevices/com$n"
}

wine_unmap_com() {
  rm -f "$WINEPREFIX/dosdevices/com$1"
}

wine_pty_of() {
  readlink -f "$1"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  [ $# -ge 2 ] || { echo "usage: $0 BUILD_DIR COMMAND [ARGS...]" >&2; exit 2; }
  wine_env_init "$1"
  shift
  exec "$@"
fi
