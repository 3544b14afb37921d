#!/usr/bin/env bash
# orlix-cli.exe under Wine against the Linux orlix-sim on a pty mapped as COMn: one row of the
# table below per run. Checks the exit status, the texts the console printed, the unit's
# protocol errors and, where given, its flash byte for byte against the firmware.
# Usage: CliEndToEnd.sh ROW BUILD_DIR ORLIX_SIM ORLIX_CLI_EXE SOURCE_DIR COM_NUMBER
set -euo pipefail
row=$1 build_dir=$2 sim=$3 cli=$4 src=$5 com=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../wine-env.sh"
wine_env_init "$build_dir"

found="The unit was found."
success="The firmware update was successful."
not_found="The unit was not found!"
not_found_de="Es wurde kein Gerät gefunden."
prog_error="An Error occurred during the programming process."
# row: processor, sample, sim faults, -p or search, typed input, exit status, flash check,
#      texts that must appear (|-separated), locale (default C.UTF-8)
case $row in
  update-345) set -- MB90F345 analyzer-mb90f345.mhx "" port '\n\n' 0 image "$found|$success" ;;
  update-362) set -- MB90F362 controller-mb90f362.mhx "" port '\n\n' 0 image "$found|$success" ;;
  search) set -- MB90F345 analyzer-mb90f345.mhx "" search '\n\n' 0 image "COM$com|$found|$success" ;;
  # In German: the umlauts must come through as UTF-8.
  not-found) set -- MB90F345 analyzer-mb90f345.mhx no-sync port '\n' 1 - "$not_found_de" de_DE.UTF-8 ;;
  crc-once) set -- MB90F345 analyzer-mb90f345.mhx crc-once=0xF80000 port '\n\n' 0 image "$success" ;;
  vanish) set -- MB90F345 analyzer-mb90f345.mhx vanish-after=20 port '\ny\n\n' 1 - "$prog_error|$not_found" ;;
  *) echo "unknown row $row" >&2; exit 2 ;;
esac
chip=$1 sample=$2 fault=$3 mode=$4 input=$5 want_exit=$6 flash=$7 texts=$8 lang=${9:-C.UTF-8}

dir=$(mktemp -d "${TMPDIR:-/tmp}/orlix-wine-e2e.XXXXXX")
cleanup() {
  [ -z "${sim_pid:-}" ] || { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
  wine_unmap_com "$com"
  if [ "$mode" = search ]; then
    wine reg delete 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "OrlixTest$com" /f >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
fail() {
  echo "FAIL ($row): $*" >&2
  echo "--- console:" >&2; cat "$dir/cli.out" >&2 || true
  echo "--- unit:" >&2; cat "$dir/sim.err" >&2 || true
  exit 1
}

sim_args=(--link "$dir/unit0" --chip "$chip" --no-pace --erase-ms 100 --blank-ms 50 --dump "$dir/flash.bin")
[ -z "$fault" ] || sim_args+=(--fault "$fault")
"$sim" "${sim_args[@]}" >"$dir/sim.out" 2>"$dir/sim.err" &
sim_pid=$!
for _ in $(seq 200); do
  grep -q '^orlix-sim ready:' "$dir/sim.out" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || fail "the simulator ended before it was ready"
  sleep 0.05
done
grep -q '^orlix-sim ready:' "$dir/sim.out" || fail "the simulator did not get ready"
wine_map_com "$com" "$(wine_pty_of "$dir/unit0")"

# The firmware in a folder whose name has a space and an umlaut, as on a technician's laptop.
# Wine passes the command line on in the host's character set, which is UTF-8 only in a locale
# the host has installed (C.UTF-8 always is).
folder="Firmware Prüfstand"
[ "$lang" = C.UTF-8 ] || folder="Firmware Pruefstand"
mkdir "$dir/$folder"
cp "$src/samples/$sample" "$dir/$folder/"
args=(-a "-f:$(winepath -w "$dir/$folder/$sample")")
if [ "$mode" = search ]; then
  # As a port driver would: the port list's registry pass finds the unit there.
  wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "OrlixTest$com" /d "COM$com" /f >/dev/null
else
  args+=("-p:COM$com")
fi
set +e
printf "$input" | LC_ALL=$lang timeout 120 wine "$cli" "${args[@]}" >"$dir/cli.out" 2>&1
status=$?
set -e
[ "$status" -eq "$want_exit" ] || fail "exit status $status, expected $want_exit"
IFS='|' read -ra wanted <<<"$texts"
for text in "${wanted[@]}"; do
  grep -qF -- "$text" "$dir/cli.out" || fail "no \"$text\" on the console"
done

# The unit writes its last dump when it stops. Wine sets IGNBRK on a port, which the unit
# reports but which alters no byte; any other protocol error fails the row.
kill "$sim_pid"
wait "$sim_pid" || true
sim_pid=
if grep 'protocol error' "$dir/sim.err" | grep -v 'IGNBRK' > /dev/null; then
  fail "the unit saw a protocol error"
fi
if [ "$flash" = image ]; then
  case $chip in
    MB90F362) start=0xFF0000 ;;
    *) start=0xF80000 ;;
  esac
  srec_cat "$src/samples/$sample" -crop "$start" 0x1000000 -fill 0xFF "$start" 0x1000000 \
    -offset "-$start" -o "$dir/expected.bin" -binary
  cmp -s "$dir/expected.bin" "$dir/flash.bin" || fail "the unit's flash differs from the firmware"
fi
echo "ok ($row)"
