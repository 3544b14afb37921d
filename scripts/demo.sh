#!/usr/bin/env bash
# The main job: update the simulated unit with a sample firmware through the console wizard,
# then check the unit's flash byte for byte against the firmware file.
#   scripts/demo.sh [FIRMWARE.mhx]     (default: the MB90F345 sample)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin="$here/build/bin"
fw="${1:-$here/samples/analyzer-mb90f345.mhx}"
[ -x "$bin/orlix-cli" ] && [ -x "$bin/orlix-sim" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
[ -r "$fw" ] || { echo "cannot read $fw" >&2; exit 1; }

# The processor and flash range the firmware is built for, from its identification block.
processor=$(srec_cat "$fw" -crop 0xFF8000 0xFF8010 -offset -0xFF8000 -o - -binary 2>/dev/null | tr -d '\0' || true)
case "$processor" in
  MB90F362) chip=MB90F362; flash_start=0xFF0000 ;;
  MB90F345CAS) chip=MB90F345CAS; flash_start=0xF80000 ;;
  *) chip=MB90F345; flash_start=0xF80000 ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/orlix-demo.XXXXXX")
sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

echo "== starting the simulated unit ($chip)"
"$bin/orlix-sim" --link "$work/unit" --chip "$chip" --dump "$work/flash.bin" --quiet > "$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do grep -q 'ready' "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
cat "$work/sim.out"

echo "== updating it: orlix-cli -a -f:$fw -p:$work/unit"
# Enter presses the action button: "Continue" on the connect page, "Close" at the end.
set +e
printf '\n\n\n' | "$bin/orlix-cli" -a "-f:$fw" "-p:$work/unit"
status=${PIPESTATUS[1]} # orlix-cli's own: printf may meet a closed pipe once it has ended
set -e
echo "== orlix-cli exit status: $status"

kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""
echo "== comparing the unit's flash with the firmware"
srec_cat "$fw" -fill 0xFF "$flash_start" 0x1000000 -offset "-$flash_start" -o "$work/expected.bin" -binary
if cmp "$work/expected.bin" "$work/flash.bin"; then
  echo "flash matches the firmware byte for byte ($(stat -c %s "$work/flash.bin") bytes)"
else
  echo "FLASH DIFFERS from the firmware" >&2; exit 1
fi
exit "$status"
