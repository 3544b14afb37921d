#!/usr/bin/env bash
# Configures and builds into build/ (extra arguments go to the configure step).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
cmake -S . -B build -G Ninja "$@"
cmake --build build -j "$(nproc)"
