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

# Ours: wall-clock and CPU time per load, medians of 5 repetitions.
"$bench" --benchmark_filter='^BM_LoadFullImage' --benchmark_repetitions=5 \
    --benchmark_format=json --benchmark_out="$work/ours.json" --benchmark_out_format=json >/dev/null
read -r ours_ms ours_cpu_ms < <(python3 - "$work/ours.json" <<'EOF2'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
median = [r for r in runs if r.get("aggregate_name") == "median"][0]
scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[median["time_unit"]]
print("%.3f %.3f" % (median["real_time"] * scale, median["cpu_time"] * scale))
EOF2
)

# srec_cat: read the file, write the binary image to /dev/null. Wall-clock median and CPU
# (user + system) mean per run.
if command -v hyperfine >/dev/null; then
    hyperfine --warmup 3 --runs 30 --export-json "$work/srec.json" \
        "srec_cat '$file' -o /dev/null -binary" >/dev/null
    read -r srec_ms srec_cpu_ms < <(python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print("%.3f %.3f" % (r["median"] * 1000, (r["user"] + r["system"]) * 1000))' "$work/srec.json")
else
    read -r srec_ms srec_cpu_ms < <(python3 - "$file" <<'EOF2'
import resource, statistics, subprocess, sys, time
cmd = ["srec_cat", sys.argv[1], "-o", "/dev/null", "-binary"]
subprocess.run(cmd, check=True)
walls = []
before = resource.getrusage(resource.RUSAGE_CHILDREN)
for _ in range(20):
    start = time.perf_counter()
    subprocess.run(cmd, check=True)
    walls.append(time.perf_counter() - start)
after = resource.getrusage(resource.RUSAGE_CHILDREN)
cpu = (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) / 20
print("%.3f %.3f" % (statistics.median(walls) * 1000, cpu * 1000))
EOF2
)
fi

python3 - "$bytes" "$ours_ms" "$ours_cpu_ms" "$srec_ms" "$srec_cpu_ms" <<'EOF2'
import sys
size = int(sys.argv[1])
ours, ours_cpu, srec, srec_cpu = (float(v) for v in sys.argv[2:6])
mb = size / 1e6
print("file: %.2f MB of S2 records (512 KiB image)" % mb)
print("               wall ms    MB/s    CPU ms    MB/s")
print("orlix load   %8.2f %7.1f  %8.2f %7.1f" % (ours, mb / ours * 1e3, ours_cpu, mb / ours_cpu * 1e3))
print("srec_cat     %8.2f %7.1f  %8.2f %7.1f   (whole process)" % (srec, mb / srec * 1e3, srec_cpu, mb / srec_cpu * 1e3))
print("ratio: orlix is %.1fx faster (wall), %.1fx (CPU)" % (srec / ours, srec_cpu / ours_cpu))
EOF2
