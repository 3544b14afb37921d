#!/usr/bin/env bash
# Compares the time our reader needs to load a full 512 KiB image (about 1.4 MB of S2 text)
# with the time srec_cat needs to read the same file and write it as a binary.
#
#   bench/compare-load.sh [BUILD_DIR]      (default: build; needs bin/orlix-bench-load)
#
# Uses hyperfine for srec_cat when it is installed, otherwise a timed loop.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
bench=$build/bin/orlix-bench-load
[ -x "$bench" ] || { echo "missing $bench: build the target orlix-bench-load first" >&2; exit 1; }
command -v srec_cat >/dev/null || { echo "srec_cat not found (Debian package srecord)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/full-512k.mhx
"$bench" --write-file="$file"
bytes=$(stat -c %s "$file")

# Ours: wall-clock time per load, median of 5 repetitions.
"$bench" --benchmark_filter='^BM_LoadFullImage' --benchmark_repetitions=5 \
    --benchmark_format=json --benchmark_out="$work/ours.json" --benchmark_out_format=json >/dev/null
ours_ms=$(python3 - "$work/ours.json" <<'EOF'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
median = [r for r in runs if r.get("aggregate_name") == "median"][0]
scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[median["time_unit"]]
print("%.3f" % (median["real_time"] * scale))
EOF
)

# srec_cat: read the file, write the binary image to /dev/null.
if command -v hyperfine >/dev/null; then
    hyperfine --warmup 3 --runs 30 --export-json "$work/srec.json" \
        "srec_cat '$file' -o /dev/null -binary" >/dev/null
    srec_ms=$(python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][0]; print("%.3f" % (r["median"]*1000))' "$work/srec.json")
else
    runs=20
    srec_cat "$file" -o /dev/null -binary
    start=$(date +%s%N)
    for _ in $(seq $runs); do srec_cat "$file" -o /dev/null -binary; done
    end=$(date +%s%N)
    srec_ms=$(python3 -c "print('%.3f' % (($end - $start) / 1e6 / $runs))")
fi

python3 - "$bytes" "$ours_ms" "$srec_ms" <<'EOF'
import sys
size, ours, srec = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3])
mb = size / 1e6
print("file: %.2f MB of S2 records (512 KiB image)" % mb)
print("orlix load : %8.2f ms  %7.1f MB/s" % (ours, mb / (ours / 1e3)))
print("srec_cat   : %8.2f ms  %7.1f MB/s  (whole process)" % (srec, mb / (srec / 1e3)))
print("ratio      : orlix is %.1fx faster" % (srec / ours))
EOF
