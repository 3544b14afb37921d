#!/usr/bin/env bash
# Builds the Windows installer and zip (scripts/package.sh --windows, from build-win/) and
# checks what a user gets: a 64-bit installer that installs silently under Wine into a
# temporary folder, an installed orlix-cli.exe that reports the version, an Add/Remove Programs
# entry, an uninstaller that removes it all again, and a zip with both programs.
set -euo pipefail
cd "$(dirname "$0")/.."
fail() { echo "check-windows-packages: $*" >&2; exit 1; }

scripts/package.sh --windows
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build-win/CPackConfig.cmake)
setup="dist/orlix-${version}-setup.exe"
zip="dist/orlix-${version}-win64.zip"

file -b "$setup" | grep '^PE32+ executable (GUI) x86-64' > /dev/null || fail "$setup is not PE32+: $(file -b "$setup")"
listing=$(unzip -Z1 "$zip") || fail "cannot read $zip"
for f in orlix.exe orlix-cli.exe kernels/README.txt; do
  grep -qx "orlix-${version}-win64/$f" <<<"$listing" || fail "$f is missing from $zip"
done

. tests/win32/wine-env.sh
wine_env_init build-win
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dir=$(winepath -w "$tmp/Orlix")
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orlix'

wine "$setup" /S "/D=$dir" || fail "the silent install failed"
for f in orlix.exe orlix-cli.exe Uninstall.exe README.txt kernels/README.txt; do
  [ -f "$tmp/Orlix/$f" ] || fail "$f was not installed"
done
shortcut() { find "$WINEPREFIX/drive_c/users" -path '*/Start Menu/Programs/Orlix.lnk'; }
[ -n "$(shortcut)" ] || fail "no Start-menu shortcut"
out=$(wine "$tmp/Orlix/orlix-cli.exe" --version | tr -d '\r') || fail "the installed orlix-cli.exe --version failed"
[ "$(head -1 <<<"$out")" = "Orlix $version" ] || fail "--version says '$(head -1 <<<"$out")', not Orlix $version"
wine reg query "$key" /v DisplayVersion 2>/dev/null | grep "$version" > /dev/null ||
  fail "no Add/Remove Programs entry with version $version"

# _?= runs the uninstaller in place (and waits for it), so it can only leave itself behind.
wine "$tmp/Orlix/Uninstall.exe" /S "_?=$dir" || fail "the silent uninstall failed"
left=$(cd "$tmp/Orlix" && find . -mindepth 1 ! -name Uninstall.exe)
[ -z "$left" ] || fail "the uninstaller left: $left"
if wine reg query "$key" > /dev/null 2>&1; then fail "the Add/Remove Programs entry is still there"; fi
[ -z "$(shortcut)" ] || fail "the Start-menu shortcut is still there"
echo "check-windows-packages: $setup and $zip are fine"
