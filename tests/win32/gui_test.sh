#!/usr/bin/env bash
# The native window's tests: orlix.exe under Wine on a private Xvfb, driven from outside by
# gui_driver.exe, against orlix-sim on a pty mapped as COM7 (a silent decoy as COM8). Pages are
# saved under BUILD/screenshots/LANG/. Exit 77 (skipped) without orlix-sim or Xvfb.
#   gui_test.sh SCENARIO LANG BUILD ORLIX_EXE DRIVER_EXE ORLIX_SIM SOURCE_DIR
set -euo pipefail
scenario=$1 lang=$2 build=$(cd "$3" && pwd) orlix=$4 driver=$5 sim=$6 src=$7
if [ "$scenario" = resources ]; then # both templates, artwork, string tables, manifest
  rc=$(x86_64-w64-mingw32-windres -i "$orlix" -O rc)
  for want in '^100 DIALOGEX 0, 0, 235, 55' '^102 DIALOGEX 0, 0, 268, 225' '^157 14 ' '^158 14 ' '^159 14 ' \
    '^164 2 ' '^LANGUAGE 7, 1' '^LANGUAGE 9, 1' '101, "&About Orlix..."' '101, "&Info zu Orlix..."'; do
    grep -q -- "$want" <<<"$rc" || { echo "FAIL: no resource line matching $want"; exit 1; }
  done
  for want in PerMonitorV2 asInvoker Microsoft.Windows.Common-Controls; do
    grep -aq "$want" "$orlix" || { echo "FAIL: the manifest lacks $want"; exit 1; }
  done
  exit 0
fi
[ -x "$sim" ] || { echo "skipped: no orlix-sim for the build machine at $sim"; exit 77; }
command -v Xvfb >/dev/null || { echo "skipped: Xvfb is not installed"; exit 77; }

fw="$src/samples/analyzer-mb90f345.mhx"
shots="$build/screenshots/$lang"
mkdir -p "$shots"
work=$(mktemp -d "${TMPDIR:-/tmp}/orlix-wingui.XXXXXX")
pids=()
cleanup() { # the wineserver belongs to this X server: it goes first
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
winpath() { echo "Z:${1//\//\\}"; }

# The prefix is set up on a screen of the runs' size, or the centred dialog could land off-screen.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" WINEPREFIX="$build/wineprefix-gui"
. "$src/tests/win32/wine-env.sh"
wine_env_init "$build" || true
if [ ! -f "$WINEPREFIX/orlix-gui-ready" ]; then
  # No window manager: Wine draws the frames. The first window after this change can fail to
  # open, hence a server restart.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1 || true
  wine_env_init "$build" || true
  touch "$WINEPREFIX/orlix-gui-ready"
fi

# Texts the steps wait for (ids: 1013 name, 1015 message, 1016 detail; 1008 progress; 1014
# action, 1018 Yes, 1021 No). ASCII parts only: Wine decodes the driver's arguments by locale.
if [ "$lang" = de ]; then
  export LC_ALL=de_DE.UTF-8
  t_welcome="Willkommen" t_firmware="richtige Firmware" t_connect="Programmierkabel" t_found="wurde gefunden"
  t_transfer="bertragung zu beginnen" t_phase="wird beschrieben" t_success="erfolgreich ausgef"
else
  export LC_ALL=en_GB.UTF-8
  t_welcome="Welcome" t_firmware="right firmware" t_connect="program cable" t_found="was found"
  t_transfer="start the transfer" t_phase="Programming the flash" t_success="firmware update was successful"
fi
auto="-a -f:$(winpath "$fw") -p:COM7"
dir=$(winpath "$shots")
# Per scenario: orlix-sim's options, orlix.exe's arguments, the exit status, whether the flash
# must equal the firmware, then the driver's steps.
case "$scenario" in
manual) # every click, the open-file dialog, About; Return/Escape do nothing, Space presses
  sim_args="" args="-p:COM7" status=0 flash=1
  steps=(wait-text 1015 "$t_welcome" expect 1014 focus expect 1008 hidden expect 1018 hidden shot "$dir\\01-welcome.png"
    key 1014 return key 1014 escape sleep 700 wait-text 1015 "$t_welcome"
    about box "About Orlix" shot "$dir\\09-about.png" ok
    key 1014 space wait-text 1015 "$t_firmware" expect 1014 focus shot "$dir\\02-firmware.png"
    click 1014 file "$(winpath "$fw")" wait-text 1015 "$t_connect" wait-text 1013 Analyzer expect 1014 focus
    shot "$dir\\03-connect.png" click 1014 wait-text 1015 "$t_found" wait-text 1016 "$t_transfer"
    expect 1014 focus shot "$dir\\05-found.png" click 1014 wait-text 1016 "$t_phase" expect 1008 shown
    expect 1014 hidden shot "$dir\\07-programming.png" wait-text 1015 "$t_success" expect 1014 focus
    expect 1008 hidden shot "$dir\\08-success.png") ;;
retry-no) # the blank check fails: the retry question, focus on Yes; No ends the program
  sim_args="--fault blank-fails" args=$auto status=1 flash=0
  steps=(wait-text 1015 "$t_connect" click 1014 wait-text 1015 "programming process"
    wait-text 1016 "retry the update" expect 1018 shown expect 1021 shown expect 1014 hidden
    expect 1008 hidden expect 1018 focus shot "$dir\\10-retry.png" click 1021) ;;
auto-close) # from the command line: the connect page is the only click, found waits by itself;
  # closing while the flash is erased shows text 102 in a box and the update goes on
  sim_args="--erase-ms 3000" args=$auto status=0 flash=1
  steps=(wait-text 1015 "$t_connect" expect 1014 focus click 1014 wait-text 1016 "starts automatically"
    expect 1008 shown expect 1014 hidden shot "$dir\\06-found-auto.png" wait-text 1016 "Erasing the flash"
    close box prematurely ok wait-text 1015 "$t_success" expect 1014 focus) ;;
notfound) # the search over the silent decoy, then not found
  sim_args="" args=${auto/COM7/COM8} status=1 flash=0
  steps=(wait-text 1015 "$t_connect" click 1014 wait-text 1015 Searching wait-text 1016 COM8 expect 1008 shown
    shot "$dir\\04-searching.png" wait-text 1015 "not found" expect 1014 focus shot "$dir\\05-notfound.png" close) ;;
*) echo "unknown scenario $scenario"; exit 2 ;;
esac
[ "$status" = 1 ] || steps+=(click 1014) # "Close" on the last page

# shellcheck disable=SC2086
"$sim" --link "$work/unit" --decoy "$work/decoy" --dump "$work/flash.bin" --quiet \
  --erase-ms 100 --blank-ms 50 $sim_args >"$work/sim.out" 2>&1 &
sim_pid=$!
pids+=("$sim_pid")
for _ in $(seq 100); do grep -q ready "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
wine_map_com 7 "$(wine_pty_of "$work/unit")"
wine_map_com 8 "$(wine_pty_of "$work/decoy")"

# shellcheck disable=SC2086
wine "$orlix" $args >"$work/orlix.out" 2>&1 &
orlix_pid=$!
pids+=("$orlix_pid")
# The driver asks for each screenshot: "grab Z:\FILE WxH+X+Y".
wine "$driver" "${steps[@]}" wait-gone | while IFS= read -r line; do
  echo "${line%$'\r'}"
  if [[ $line == grab* ]]; then
    read -r _ file geom <<<"${line%$'\r'}"
    file=${file#Z:}
    import -window root -crop "$geom" "${file//\\//}"
  fi
done || { echo "FAIL: the driver stopped; orlix.exe said:"; cat "$work/orlix.out"; exit 1; }
set +e
wait "$orlix_pid"
got=$?
set -e
[ "$got" = "$status" ] || { echo "FAIL: exit status $got, expected $status"; exit 1; }
if [ "$flash" = 1 ]; then
  # The wineserver first: the hang-up of its controlling pty would make it dump into the log.
  wineserver -k >/dev/null 2>&1 || true
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true
  srec_cat "$fw" -fill 0xFF 0xF80000 0x1000000 -offset -0xF80000 -o "$work/expected.bin" -binary
  cmp "$work/expected.bin" "$work/flash.bin" || { echo "FAIL: the unit's flash differs from the firmware"; exit 1; }
fi
echo "PASS: $scenario ($lang)"
