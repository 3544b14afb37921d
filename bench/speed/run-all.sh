#!/usr/bin/env bash
# Builds what the speed benchmarks need and runs them all, each several times, printing one
# table of medians with their bounds and ratios and then where the time goes.
#
#   bench/speed/run-all.sh [--build DIR] [--no-build] [--runs N] [--only LIST] [--ports N]
#                          [--nice N] [--realtime] [--json FILE]
#
#   --build DIR   build folder to use (default: build-bench, configured here as RelWithDebInfo
#                 without sanitizers); an existing build/ works as well
#   --no-build    use the folder's programs as they are
#   --runs N      runs of each benchmark (default 3); the table shows medians
#   --only LIST   comma-separated: program, program64k, program512k, search, load, pty
#   --ports N     silent ports for the search benchmark (default 4)
#   --nice N      run the simulator and the program at this niceness (e.g. -10 as root)
#   --realtime    run them with real-time priority (root; chrt --fifo 10): on a shared, busy
#                 machine this shows what they need when a core is free for them
#   --json FILE   also write every run's figures as JSON
#
# Needs python3, /usr/bin/time (peak memory) and srec_cat (Debian package srecord, for the
# load comparison). One run of everything takes about 100 s; the default 3 runs about 5 min.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build-bench"
do_build=1
runs=3
only="program,search,load,pty"
ports=4
nice=0
json=""
extra=()
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$(cd "$2" && pwd); shift 2 ;;
        --no-build) do_build=0; shift ;;
        --runs) runs=$2; shift 2 ;;
        --only) only=$2; shift 2 ;;
        --ports) ports=$2; shift 2 ;;
        --nice) nice=$2; shift 2 ;;
        --realtime) extra+=(--realtime); shift ;;
        --json) json=$2; shift 2 ;;
        -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
done

targets=(orlix-cli orlix-sim orlix-bench-load orlix-bench-pty)
if [ "$do_build" = 1 ]; then
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLIX_BUILD_GUI=OFF \
            -DORLIX_BUILD_TESTS=OFF -DORLIX_BUILD_BENCH=ON >/dev/null
    fi
    echo "== building ${targets[*]} in $build" >&2
    cmake --build "$build" --target "${targets[@]}" -j2 >/dev/null
fi

# Figures from a debug or sanitizer build say nothing about the product.
type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
sanitize=$(sed -n 's/^ORLIX_SANITIZE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
if [ "$type" = Debug ] || [ -n "$sanitize" ]; then
    echo "warning: $build is a ${type:-?} build${sanitize:+ with sanitizers ($sanitize)}: figures will be off" >&2
fi

if [[ ",$only," == *,load,* ]] && ! command -v srec_cat >/dev/null; then
    echo "warning: srec_cat not found (Debian package srecord): the load comparison is left out" >&2
    only=$(echo ",$only," | sed 's/,load,/,/; s/^,//; s/,$//')
fi

echo "== checking the benchmarks' own arithmetic" >&2
if ! check=$(python3 -B -m unittest discover -s "$here" -p 'test_*.py' 2>&1); then
    echo "$check" >&2
    exit 1
fi

echo "== running: $only, $runs runs each (load average now $(cut -d' ' -f1 /proc/loadavg))" >&2
args=(--build "$build" --runs "$runs" --only "$only" --ports "$ports" --nice "$nice")
[ -n "$json" ] && args+=(--json "$json")
args+=("${extra[@]}")
exec python3 -B "$here/speedbench.py" "${args[@]}"
