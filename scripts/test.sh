#!/usr/bin/env bash
# Builds every preset and runs every suite through its CTest preset: the
# native tests, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows tests under Wine (GUI tests on a
# throw-away X display when there is none), and each fuzz target for
# FUZZ_SECONDS. Ends with one summary line per suite and a total.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh || exit 1
source scripts/wine-env.sh
export FUZZ_SECONDS=${FUZZ_SECONDS:-5}
jobs=${JOBS:-$(nproc)}
summary=()
failed=0
passed_total=0
failed_total=0

record() {  # suite name, ctest log
  local line pass fail
  line=$(grep -E '[0-9]+% tests passed' "$2" | tail -n 1)
  if [ -z "$line" ]; then
    summary+=("$1: no test result (build or set-up failed)")
    failed=1
    failed_total=$((failed_total + 1))
    return
  fi
  fail=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  pass=$(( $(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line") - fail ))
  passed_total=$((passed_total + pass))
  failed_total=$((failed_total + fail))
  summary+=("$1: $line")
  [ "$fail" -eq 0 ] || failed=1
}

run_suite() {  # preset, [wrapper...]
  local preset=$1; shift
  local log="$root/build/$preset-ctest.log"
  echo "=== $preset: configure and build"
  if cmake --preset "$preset" >"$root/build/$preset-configure.log" 2>&1 &&
     cmake --build --preset "$preset" -j "$jobs"; then
    echo "=== $preset: test"
    "$@" ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log"
  else
    tail -n 30 "$root/build/$preset-configure.log"
    echo "build of $preset failed" >"$log"
  fi
  record "$preset" "$log"
}

mkdir -p build
run_suite native
run_suite native-asan

# The Windows suite runs on a throw-away X display when there is none, and
# holds one wineserver for its whole run so that each test program does not
# pay for starting it again. Wine's own processes (services, the desktop) are
# started here, away from CTest: started by a test they would inherit its
# output pipe and keep CTest waiting for it to close.
xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do [ -e "/tmp/.X$n-lock" ] || break; done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  sleep 1
fi
# The database tests' PostgreSQL server (VELKORO_TEST_ODBC), stopped at exit.
source scripts/test-db.sh
velkoro_test_db_start || { summary+=("test-db: the test database did not start"); failed=1; }
wineserver -p 2>/dev/null || true
scripts/wine-run.sh cmd /c exit </dev/null >/dev/null 2>&1 || true
scripts/wine-run.sh explorer /desktop=shell </dev/null >/dev/null 2>&1 &
echo "=== windows: each test program runs under $(wine --version) through scripts/wine-run.sh (WINEPREFIX=$WINEPREFIX, DISPLAY=$DISPLAY)"
run_suite windows
wineserver -k 2>/dev/null || true
[ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null

echo "=== fuzz: each target for ${FUZZ_SECONDS}s"
run_suite fuzz

echo
echo "=== summary"
printf '%s\n' "${summary[@]}"
echo "${passed_total} passed, ${failed_total} failed"
exit "$failed"
