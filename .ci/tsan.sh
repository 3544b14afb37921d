#!/usr/bin/env bash
# ThreadSanitizer run. It builds the wizard core, the worker threads, the console front-end and
# the simulated unit with -fsanitize=thread in build-tsan/. Then it runs every test where a
# worker thread shares the dialog with the dialog's thread:
#   - the wizard core's tests (orlix_app_tests) and the worker threads' tests (orlix_workers_tests);
#   - the console event loop (orlix_cli_tests);
#   - orlix-cli end to end and through the fault matrix (orlix_e2e_tests, orlix_faults_tests),
#     where the orlix-cli and orlix-sim they start are instrumented too.
# Any report from any of these processes fails the run; each report is printed at the end.
#   .ci/tsan.sh                 ORLIX_TSAN_JOBS: build jobs (default: all cores)
#                               ORLIX_TSAN_TEST_JOBS: tests run at once (default 4)
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
stamp() { echo "== tsan: $* ($(( $(date +%s) - start )) s)"; }

build=build-tsan
jobs=${ORLIX_TSAN_JOBS:-$(nproc)}
test_jobs=${ORLIX_TSAN_TEST_JOBS:-4}
test_executables=(orlix_app_tests orlix_workers_tests orlix_cli_tests orlix_e2e_tests orlix_faults_tests)

stamp "configure $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLIX_WERROR=ON \
  -DORLIX_SANITIZE=thread -DORLIX_BUILD_GUI=OFF -DORLIX_BUILD_BENCH=OFF > /dev/null

# Only the test executables that exist in this tree, with the programs they start.
available=$(cmake --build "$build" --target help)
targets=(orlix-cli orlix-sim)
for exe in "${test_executables[@]}"; do
  if grep -q "^$exe:" <<< "$available"; then targets+=("$exe"); fi
done
stamp "build ${targets[*]}"
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

# A build that is not instrumented would pass without proving anything.
for program in orlix-cli orlix-sim; do
  # grep reads all of ldd's output: with pipefail, a grep -q that stops early can kill ldd
  # with SIGPIPE and fail the check on an instrumented build.
  if ! ldd "$build/bin/$program" | grep libtsan > /dev/null; then
    echo "tsan: $build/bin/$program is not built with ThreadSanitizer" >&2
    exit 1
  fi
done

# The tests of those executables, by number. Each test is matched by the program its
# command runs; a test whose executable is not built ("..._NOT_BUILT") is left out.
numbers=$(ctest --test-dir "$build" --show-only=json-v1 | python3 -c '
import json, os, sys
wanted = set(sys.argv[1:])
tests = json.load(sys.stdin)["tests"]
picked = [str(i + 1) for i, t in enumerate(tests)
          if t.get("command") and os.path.basename(t["command"][0]) in wanted]
print(",".join(picked))
' "${targets[@]}")
if [ -z "$numbers" ]; then
  echo "tsan: no tests found in $build" >&2
  exit 1
fi

reports="$build/tsan-reports"
rm -rf "$reports"
mkdir -p "$reports"
stamp "run $(tr ',' '\n' <<< "$numbers" | wc -l) tests"
status=0
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 log_path='$PWD/$reports/report'" \
  ctest --test-dir "$build" --output-on-failure -j "$test_jobs" -I "0,0,0,$numbers" || status=$?

if compgen -G "$reports/report*" > /dev/null; then
  for report in "$reports"/report*; do
    echo "---- $report"
    cat "$report"
  done
  echo "tsan: ThreadSanitizer reported (see above)" >&2
  status=1
elif [ "$status" -eq 0 ]; then
  echo "tsan: no report from ThreadSanitizer"
fi
stamp "done"
exit "$status"
