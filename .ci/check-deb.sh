#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh, which fails on lintian errors), unpacks it
# into a temporary root and checks what a user gets: the files, the dependencies computed from
# the binaries, and that the packaged orlix-cli runs, reports its version and takes kernel files.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/package.sh --deb
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/CPackConfig.cmake)
deb="dist/orlix_${version}_amd64.deb"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "check-deb: $*" >&2; exit 1; }

dpkg-deb -x "$deb" "$tmp/root"
for file in usr/bin/orlix usr/bin/orlix-cli usr/bin/orlix-sim \
            usr/share/man/man1/orlix.1.gz usr/share/man/man1/orlix-cli.1.gz \
            usr/share/doc/orlix/copyright usr/share/doc/orlix/changelog.gz \
            usr/share/applications/orlix.desktop usr/share/icons/hicolor/48x48/apps/orlix.png; do
  [ -e "$tmp/root/$file" ] || fail "$file is missing from $deb"
done
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
  *libwxgtk3.2*libstdc++* | *libstdc++*libwxgtk3.2*) ;;
  *) fail "Depends does not name the libraries the binaries use: $depends" ;;
esac

# The packaged program, away from the user's own kernel folders.
mkdir -p "$tmp/home" "$tmp/kernels"
cli() { HOME="$tmp/home" XDG_DATA_HOME="$tmp/home/data" LC_ALL=C.UTF-8 "$tmp/root/usr/bin/orlix-cli" "$@"; }
out=$(cli --version) || fail "orlix-cli --version failed"
[ "$(head -1 <<<"$out")" = "Orlix $version" ] || fail "--version says '$(head -1 <<<"$out")', not Orlix $version"
grep -q "^Flash kernel 134 .*built-in stand-in" <<<"$out" || fail "--version does not name the kernels: $out"

head -c 912 /dev/urandom > "$tmp/kernels/kernel-134.bin"
sha=$(sha256sum "$tmp/kernels/kernel-134.bin" | cut -d' ' -f1)
out=$(cli "-k:$tmp/kernels" --version) || fail "orlix-cli -k --version failed"
grep -qF "$tmp/kernels/kernel-134.bin, SHA-256 $sha" <<<"$out" || fail "-k: the kernel file is not named: $out"
head -c 911 /dev/urandom > "$tmp/kernels/kernel-134.bin"
if cli "-k:$tmp/kernels" --version > /dev/null 2>&1; then
  fail "a kernel file of the wrong size was accepted"
fi
echo "check-deb: $deb is fine"
