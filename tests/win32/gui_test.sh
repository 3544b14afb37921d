#!/usr/bin/env bash
# The native window's tests: orlix.exe under Wine on a private virtual X server, driven from
# outside by gui_driver.exe (the program has no test switch), against orlix-sim on a Linux
# pseudo-terminal mapped as COM7. Each run also saves its pages under BUILD/screenshots/LANG/.
#   gui_test.sh SCENARIO LANG BUILD ORLIX_EXE DRIVER_EXE ORLIX_SIM SOURCE_DIR
# SCENARIO: manual | auto | retry-no | busy-close | notfound | resources;  LANG: en | de.
# Exit 77 (skipped) when orlix-sim for the build machine or Xvfb is missing.
set -euo pipefail
scenario=$1 lang=$2 build=$(cd "$3" && pwd) orlix=$4 driver=$5 sim=$6 src=$7
if [ "$scenario" = resources ]; then
  # The file itself: both templates, the artwork, both string tables, the manifest's settings.
  rc=$(x86_64-w64-mingw32-windres -i "$orlix" -O rc)
  for want in '^100 DIALOGEX 0, 0, 235, 55' '^102 DIALOGEX 0, 0, 268, 225' '^157 14 ' '^158 14 ' '^159 14 ' \
    '^164 2 ' '^LANGUAGE 7, 1' '^LANGUAGE 9, 1' '101, "&About Orlix..."' '101, "&Info zu Orlix..."'; do
    grep -q -- "$want" <<<"$rc" || { echo "FAIL: no resource line matching $want"; exit 1; }
  done
  for want in PerMonitorV2 asInvoker Microsoft.Windows.Common-Controls; do
    grep -aq "$want" "$orlix" || { echo "FAIL: the manifest lacks $want"; exit 1; }
  done
  echo "PASS: resources"; exit 0
fi
[ -x "$sim" ] || { echo "skipped: no orlix-sim for the build machine at $sim (ORLIX_HOST_SIM)"; exit 77; }
command -v Xvfb >/dev/null || { echo "skipped: Xvfb is not installed"; exit 77; }

fw="$src/samples/analyzer-mb90f345.mhx"
shots="$build/screenshots/$lang"
mkdir -p "$shots"
work=$(mktemp -d "${TMPDIR:-/tmp}/orlix-wingui.XXXXXX")
pids=()
cleanup() {
  # The wineserver and Wine's desktop belong to this test's X server: they go first.
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

winpath() { echo "Z:${1//\//\\}"; }

# A private X server; the prefix is set up on a screen of the same size as the runs use, or
# the centred dialog could land off-screen.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

# A prefix of the window's tests' own: they map COM7 and COM8 and want Wine's own frames.
export WINEPREFIX="$build/wineprefix-gui"
. "$src/tests/win32/wine-env.sh"
# (|| true: "wineserver -p" fails when a server is running already, e.g. right after wineboot.)
wine_env_init "$build" || true
if [ ! -f "$WINEPREFIX/orlix-gui-ready" ]; then
  # No window manager under Xvfb: Wine draws captions and frames itself. The first window
  # after this change can fail to open, hence a restart of the server and a warm-up.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1 || true
  wine_env_init "$build" || true
  touch "$WINEPREFIX/orlix-gui-ready"
fi
case "$lang" in
  de) export LC_ALL=de_DE.UTF-8 ;;
  *) export LC_ALL=en_GB.UTF-8 ;;
esac

# The simulated unit (and, for notfound, a silent decoy port) as COM7 / COM8.
start_sim() {
  "$sim" --link "$work/unit" --decoy "$work/decoy" --dump "$work/flash.bin" --quiet \
    --erase-ms 100 --blank-ms 50 "$@" > "$work/sim.out" 2>&1 &
  sim_pid=$!
  pids+=("$sim_pid")
  for _ in $(seq 100); do grep -q ready "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
  wine_map_com 7 "$(wine_pty_of "$work/unit")"
  wine_map_com 8 "$(wine_pty_of "$work/decoy")"
}

orlix_status=""
run() { # run "ORLIX ARGS" DRIVER-STEPS...: orlix.exe in the background, the driver in front.
  local args=$1
  shift
  # shellcheck disable=SC2086
  wine "$orlix" $args > "$work/orlix.out" 2>&1 &
  local orlix_pid=$!
  pids+=("$orlix_pid")
  if ! wine "$driver" timeout 60000 wait-window "$@"; then
    echo "FAIL: the driver stopped (orlix.exe output follows)"; cat "$work/orlix.out"; exit 1
  fi
  set +e
  wait "$orlix_pid"
  orlix_status=$?
  set -e
  for f in "$shots"/*.bmp; do [ -e "$f" ] && convert "$f" "${f%.bmp}.png" && rm -f "$f"; done
  echo "orlix.exe exit status: $orlix_status"
}

expect_status() {
  [ "$orlix_status" = "$1" ] || { echo "FAIL: exit status $orlix_status, expected $1"; exit 1; }
}

expect_flash_is_firmware() {
  # The wineserver first: the pty became its controlling terminal, and the hang-up when the
  # unit goes would make it dump its objects into the log.
  wineserver -k >/dev/null 2>&1 || true
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true
  srec_cat "$fw" -fill 0xFF 0xF80000 0x1000000 -offset -0xF80000 -o "$work/expected.bin" -binary
  cmp "$work/expected.bin" "$work/flash.bin" || { echo "FAIL: the unit's flash differs from the firmware"; exit 1; }
  echo "flash equals the firmware ($(stat -c %s "$work/flash.bin") bytes)"
}

# Texts the steps wait for, by language (ids: 1013 name/version, 1015 message, 1016 detail).
# ASCII parts only: Wine decodes the driver's arguments in the build machine's locale.
if [ "$lang" = de ]; then
  t_welcome="Willkommen" t_firmware="richtige Firmware" t_connect="Programmierkabel" t_found="wurde gefunden"
  t_transfer="bertragung zu beginnen" t_auto="beginnt automatisch" t_phase="wird beschrieben"
  t_erasing="Speicher wird gel" t_success="erfolgreich ausgef" t_failed="Programmiervorgangs"
  t_retry="wiederholen" t_busy="vorzeitig" t_notfound="kein Ger" t_searching="Suche das Ger"
  t_about="About Orlix"
else
  t_welcome="Welcome" t_firmware="right firmware" t_connect="program cable" t_found="was found"
  t_transfer="start the transfer" t_auto="starts automatically" t_phase="Programming the flash"
  t_erasing="Erasing the flash" t_success="firmware update was successful" t_failed="programming process"
  t_retry="retry the update" t_busy="prematurely" t_notfound="not found" t_searching="Searching"
  t_about="About Orlix"
fi
shot() { echo "shot $(winpath "$shots/$1.bmp")"; }

case "$scenario" in
manual)
  # Every click of a normal run, the open-file dialog, the About box; Return and Escape do
  # nothing while Space presses the focused button.
  start_sim
  # shellcheck disable=SC2046
  run "-p:COM7" \
    wait-text 1015 "$t_welcome" expect-focus 1014 expect-hidden 1008 expect-hidden 1018 $(shot 01-welcome) \
    key 1014 return key 1014 escape sleep 700 wait-text 1015 "$t_welcome" \
    about "$t_about" $(shot 09-about) press "$t_about" \
    key 1014 space wait-text 1015 "$t_firmware" expect-focus 1014 $(shot 02-firmware) \
    click 1014 openfile "$(winpath "$fw")" \
    wait-text 1015 "$t_connect" wait-text 1013 "Analyzer" expect-focus 1014 $(shot 03-connect) \
    click 1014 wait-text 1015 "$t_found" wait-text 1016 "$t_transfer" expect-focus 1014 $(shot 05-found) \
    click 1014 wait-text 1016 "$t_phase" expect-shown 1008 expect-hidden 1014 $(shot 07-programming) \
    wait-text 1015 "$t_success" expect-focus 1014 expect-hidden 1008 $(shot 08-success) \
    click 1014 wait-gone
  expect_status 0
  expect_flash_is_firmware
  ;;
auto)
  # The automatic update named on the command line: the connect page is the only click
  # before "Close"; the found page waits two seconds by itself.
  start_sim --no-pace
  # shellcheck disable=SC2046
  run "-a -f:$(winpath "$fw") -p:COM7" \
    wait-text 1015 "$t_connect" expect-focus 1014 click 1014 \
    wait-text 1016 "$t_auto" expect-shown 1008 expect-hidden 1014 $(shot 06-found-auto) \
    wait-text 1015 "$t_success" expect-focus 1014 click 1014 wait-gone
  expect_status 0
  expect_flash_is_firmware
  ;;
retry-no)
  # A programming run that fails (the blank check reports a non-blank flash): warning, the
  # retry question with the focus on Yes; No closes the program.
  start_sim --fault blank-fails
  # shellcheck disable=SC2046
  run "-a -f:$(winpath "$fw") -p:COM7" \
    wait-text 1015 "$t_connect" click 1014 \
    wait-text 1015 "$t_failed" wait-text 1016 "$t_retry" expect-shown 1018 expect-shown 1021 \
    expect-hidden 1014 expect-hidden 1008 expect-focus 1018 $(shot 10-retry) \
    click 1021 wait-gone
  expect_status 1
  ;;
busy-close)
  # Closing while the flash is erased: text 102 in a box, the update goes on to its end.
  start_sim --erase-ms 3000
  # shellcheck disable=SC2046
  run "-a -f:$(winpath "$fw") -p:COM7" \
    wait-text 1015 "$t_connect" click 1014 wait-text 1016 "$t_erasing" \
    close msgbox "$t_busy" \
    wait-text 1015 "$t_success" click 1014 wait-gone
  expect_status 0
  expect_flash_is_firmware
  ;;
notfound)
  # The search over a silent port (the decoy as COM8): the searching page, then not found.
  start_sim
  # shellcheck disable=SC2046
  run "-a -f:$(winpath "$fw") -p:COM8" \
    wait-text 1015 "$t_connect" click 1014 wait-text 1015 "$t_searching" wait-text 1016 "COM8" \
    expect-shown 1008 $(shot 04-searching) \
    wait-text 1015 "$t_notfound" expect-focus 1014 $(shot 05-notfound) \
    close wait-gone
  expect_status 1
  ;;
*)
  echo "unknown scenario $scenario"; exit 2 ;;
esac
echo "PASS: $scenario ($lang)"
