#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need (run as root).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo_cmd apt-get update
grep -v '^\s*#' "$here/.ci/packages" | xargs $sudo_cmd apt-get install -y --no-install-recommends
