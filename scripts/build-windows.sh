#!/usr/bin/env bash
# Cross-builds the Windows programs into build-win/ (programs in build-win/bin/) with
# mingw-w64, installing the packages it needs first. Also builds the native orlix-sim into
# build-win/host/, which the Windows end-to-end tests run the programs against. Extra
# arguments go to the Windows configure step.
# Run the tests afterwards with: ctest --test-dir build-win (they run under Wine).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
missing=0
for tool in x86_64-w64-mingw32-g++-posix wine cmake ninja g++ srec_cat rsvg-convert convert import makensis unzip file Xvfb xauth python3; do
  command -v "$tool" >/dev/null || missing=1
done
if [ "$missing" -eq 1 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update
  grep -v '^\s*#' "$here/.ci/packages-windows" | xargs $sudo_cmd apt-get install -y --no-install-recommends
fi
# The compiler launcher (e.g. ccache) and warnings-as-errors apply to the native build too.
host_args=()
for arg in "$@"; do
  case $arg in -DCMAKE_CXX_COMPILER_LAUNCHER=* | -DORLIX_WERROR=*) host_args+=("$arg") ;; esac
done
cmake -S . -B build-win/host -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLIX_BUILD_TESTS=OFF \
  -DORLIX_BUILD_BENCH=OFF -DORLIX_BUILD_GUI=OFF "${host_args[@]}"
cmake --build build-win/host -j "$(nproc)" --target orlix-sim
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchains/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DORLIX_BUILD_BENCH=OFF -DORLIX_HOST_SIM="$here/build-win/host/bin/orlix-sim" "$@"
# Test discovery runs the test programs under Wine during the build: one prefix and one
# wineserver serve it and the tests afterwards.
. tests/win32/wine-env.sh
wine_env_init build-win
cmake --build build-win -j "$(nproc)"
