#!/usr/bin/env bash
# The Wine side of the Windows tests, shared by every test script here.
#   Sourced:  . wine-env.sh; wine_env_init BUILD_DIR; wine_map_com 7 /dev/pts/3; wine prog.exe ...
#   Run:      wine-env.sh BUILD_DIR COMMAND [ARGS...]   runs COMMAND in that environment.
# wine_env_init: WINEPREFIX=BUILD_DIR/wineprefix (unless set), created once under a lock; one
# wineserver is kept alive between test processes (0.1 s a run instead of 3 s).
# wine_map_com N TARGET: COMn opens TARGET (a pty, or a link to one) through the dosdevices link
# only: the registry's Ports key would re-point the link at each wineserver start.
wine_env_init() {
  local build_dir
  build_dir=$(cd "$1" && pwd)
  export WINEPREFIX="${WINEPREFIX:-$build_dir/wineprefix}" WINEDEBUG=-all
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1
    wineserver -p120 >/dev/null 2>&1 9>&- || true # exits at once when one is running
    wine cmd /c exit >/dev/null 2>&1 9>&- || true
  ) 9>"$WINEPREFIX.lock"
}
wine_map_com() { mkdir -p "$WINEPREFIX/dosdevices" && ln -sfn "$2" "$WINEPREFIX/dosdevices/com$1"; }
wine_unmap_com() { rm -f "$WINEPREFIX/dosdevices/com$1"; }
wine_pty_of() { readlink -f "$1"; } # the /dev/pts/N a link (e.g. orlix-sim --link) points to

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  [ $# -ge 2 ] || { echo "usage: $0 BUILD_DIR COMMAND [ARGS...]" >&2; exit 2; }
  wine_env_init "$1"
  shift
  exec "$@"
fi
