#!/usr/bin/env bash
# Cross-builds the Windows programs into build-win/ (programs in build-win/bin/) with
# mingw-w64, installing the packages it needs first. Extra arguments go to the configure step.
# Run the tests afterwards with: ctest --test-dir build-win (they run under Wine).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update
  grep -v '^\s*#' "$here/.ci/packages-windows" | xargs $sudo_cmd apt-get install -y --no-install-recommends
fi
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchains/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DORLIX_BUILD_BENCH=OFF "$@"
cmake --build build-win -j "$(nproc)"
