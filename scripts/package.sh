#!/usr/bin/env bash
# Builds the packages into dist/:
#   orlix_<version>_amd64.deb     Debian package, from build/ (configured here when missing)
#   orlix-<version>-setup.exe     Windows installer (NSIS), from build-win/ (built by
#   orlix-<version>-win64.zip     scripts/build-windows.sh when missing)
# and checks the .deb with lintian (no errors allowed; warnings are printed).
# Usage: scripts/package.sh [--deb | --windows] [--no-lintian]   (default: all three)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

run_lintian=1
want_deb=1
want_windows=1
for arg in "$@"; do
  case "$arg" in
    --no-lintian) run_lintian=0 ;;
    --deb) want_windows=0 ;;
    --windows) want_deb=0 ;;
    *) echo "usage: $0 [--deb | --windows] [--no-lintian]" >&2; exit 2 ;;
  esac
done

build=build
dist="$here/dist"
mkdir -p "$dist"

# --- Linux: the Debian package ---
if [ "$want_deb" -eq 1 ]; then
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  # A package is for users: never an instrumented build.
  if grep -Eq '^ORLIX_SANITIZE:[A-Z]+=.+' "$build/CMakeCache.txt"; then
    echo "package.sh: $build/ is built with sanitizers; package from a plain build" >&2
    exit 1
  fi
  # Re-run the configure step so the packaging setup is current, then build only what goes in.
  cmake "$build" > /dev/null
  cmake --build "$build" -j "$(nproc)" --target orlix orlix-cli orlix-sim orlix_docs
  if [ ! -x "$build/bin/orlix" ]; then
    echo "package.sh: $build/bin/orlix is missing: the window needs wxWidgets (libwxgtk3.2-dev)" >&2
    exit 1
  fi

  version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
  deb="$dist/orlix_${version}_amd64.deb"
  rm -f "$deb"
  (cd "$build" && cpack -G DEB) > "$build/cpack-deb.log" 2>&1 || { cat "$build/cpack-deb.log"; exit 1; }
  [ -f "$deb" ] || { echo "package.sh: cpack wrote no $deb" >&2; cat "$build/cpack-deb.log"; exit 1; }
  echo "wrote $deb"

  if [ "$run_lintian" -eq 1 ]; then
    # Errors fail the script; the remaining warnings and notes are shown.
    lintian --fail-on error --display-info --tag-display-limit 0 "$deb"
    echo "lintian: no errors"
  fi
fi

# --- Windows: installer and zip ---
if [ "$want_windows" -eq 1 ]; then
  if [ ! -x build-win/bin/orlix.exe ] || [ ! -x build-win/bin/orlix-cli.exe ]; then
    scripts/build-windows.sh
  fi
  if ! command -v makensis > /dev/null; then
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends nsis
  fi
  cmake build-win > /dev/null
  cmake --build build-win -j "$(nproc)" --target orlix orlix-cli
  version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build-win/CPackConfig.cmake)
  setup="$dist/orlix-${version}-setup.exe"
  zip="$dist/orlix-${version}-win64.zip"
  rm -f "$setup" "$zip"
  (cd build-win && cpack -G "NSIS;ZIP") > build-win/cpack-win.log 2>&1 || { cat build-win/cpack-win.log; exit 1; }
  for f in "$setup" "$zip"; do
    [ -f "$f" ] || { echo "package.sh: cpack wrote no $f" >&2; cat build-win/cpack-win.log; exit 1; }
    echo "wrote $f"
  done
fi
