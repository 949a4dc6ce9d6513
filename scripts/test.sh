#!/usr/bin/env bash
# Builds every preset and runs every suite through its CTest preset: the
# native tests, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows tests under Wine, and each fuzz
# target for FUZZ_SECONDS. Ends with one summary line per suite with its
# build and test times, and the total.
#
# Two lanes share the cores. The Windows lane builds first, then runs its
# suite on a Wine server and X display of its own, each end-to-end program
# again on a server and display of its own (scripts/wine-isolated.sh). Those
# programs mostly wait on the window's pacing, so twice as many run at once
# as there are cores (WINDOWS_TEST_JOBS): their times stayed as they were and
# the suite took half as long. The Linux lane (native, native-asan, fuzz) runs
# beside it at a lower priority, so it takes what the Windows lane leaves of
# the cores and the window's timing is what it is alone. Each suite's output
# is in build/test-logs/.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh packages || exit 1
export FUZZ_SECONDS=${FUZZ_SECONDS:-5}
jobs=${JOBS:-$(nproc)}
windows_test_jobs=${WINDOWS_TEST_JOBS:-$((2 * jobs))}
linux_niceness=10
logs=$root/build/test-logs
mkdir -p "$logs"
rm -f "$logs"/*.summary
source scripts/wine-env.sh
# Prefix copies (scripts/wine-isolated.sh) left behind by a run that was killed.
rm -rf "${WINEPREFIX%/}"-isolated.*
started=$SECONDS

say() {
  echo "[$(date +%T)] $*"
}

# The suite's summary line: CTest's result and the suite's times.
summarize() {  # preset, seconds of the build, seconds of the tests
  local log=$logs/$1-ctest.log line
  line=$(grep -E '[0-9]+% tests passed' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    echo "$1: no test result (build or set-up failed; see $log) (build $2 s)" >"$logs/$1.summary"
    return
  fi
  echo "$1: $line (build $2 s, tests $3 s)" >"$logs/$1.summary"
}

build() {  # preset
  say "$1: configure and build"
  if cmake --preset "$1" >"$logs/$1-configure.log" 2>&1 &&
     cmake --build --preset "$1" -j "$jobs" >"$logs/$1-build.log" 2>&1; then
    return 0
  fi
  cat "$logs/$1-configure.log" "$logs/$1-build.log" 2>/dev/null | tail -n 30
  echo "build of $1 failed" >"$logs/$1-ctest.log"
  return 1
}

test_suite() {  # preset, seconds of the build, test programs at once, [command the tests run under...]
  local preset=$1 built=$2 parallel=$3 start=$SECONDS
  shift 3
  say "$preset: test"
  "$@" ctest --preset "$preset" -j "$parallel" >"$logs/$preset-ctest.log" 2>&1
  summarize "$preset" "$built" $((SECONDS - start))
  say "$(cat "$logs/$preset.summary")"
}

suite() {  # preset, [command the tests run under...]
  local preset=$1 start=$SECONDS
  shift
  if build "$preset"; then
    test_suite "$preset" $((SECONDS - start)) "$jobs" "$@"
  else
    summarize "$preset" $((SECONDS - start)) 0
  fi
}

windows_lane() {
  bash scripts/setup.sh prefix >"$logs/wine-prefix.log" 2>&1 &
  local prefix_pid=$! start=$SECONDS
  # The database tests' servers (PostgreSQL, MariaDB, a SQLite file) start
  # while the build runs; VELKORO_TEST_ODBC, VELKORO_TEST_ODBC_MARIADB and
  # VELKORO_TEST_ODBC_SQLITE reach them.
  source scripts/test-db.sh
  (
    db_start=$SECONDS
    velkoro_db_start
    status=$?
    echo "test databases started in $((SECONDS - db_start)) s"
    exit "$status"
  ) >"$logs/test-db.log" 2>&1 &
  local db_pid=$!
  if ! build windows; then
    wait "$prefix_pid" "$db_pid"
    summarize windows $((SECONDS - start)) 0
    return
  fi
  local built=$((SECONDS - start))
  wait "$prefix_pid" || { cat "$logs/wine-prefix.log"; return; }
  if ! wait "$db_pid"; then
    echo "windows: a test database did not start (build/test-logs/test-db.log): its tests say" \
      "they skip it" >&2
  fi
  eval "$(velkoro_db_env 2>/dev/null)"
  say "windows: $(tail -n 1 "$logs/test-db.log")"
  say "windows: each test program runs under $(wine --version) (WINEPREFIX=$WINEPREFIX)"
  test_suite windows "$built" "$windows_test_jobs" bash scripts/wine-isolated.sh --display
}

linux_lane() {
  renice -n "$linux_niceness" "$BASHPID" >/dev/null
  local start=$SECONDS native_tests
  # The native tests run while the sanitizer build goes on.
  if build native; then
    test_suite native $((SECONDS - start)) "$jobs" &
    native_tests=$!
  else
    summarize native $((SECONDS - start)) 0
  fi
  # The fuzz build is small and its targets short: it goes beside the
  # sanitizer build rather than after it.
  suite fuzz &
  local fuzz=$!
  suite native-asan
  wait ${native_tests:-} "$fuzz"
}

trap 'bash scripts/test-db.sh stop' EXIT
windows_lane &
windows_pid=$!
linux_lane &
linux_pid=$!
wait "$windows_pid" "$linux_pid"

echo
echo "=== summary (the whole run $((SECONDS - started)) s)"
passed_total=0
failed_total=0
failed=0
for preset in native native-asan windows fuzz; do
  line=$(cat "$logs/$preset.summary" 2>/dev/null || echo "$preset: no result")
  echo "$line"
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    passed_total=$((passed_total + BASH_REMATCH[2] - BASH_REMATCH[1]))
    failed_total=$((failed_total + BASH_REMATCH[1]))
    [ "${BASH_REMATCH[1]}" -eq 0 ] || failed=1
  else
    failed_total=$((failed_total + 1))
    failed=1
  fi
done
if [ "$failed" -ne 0 ]; then
  for preset in native native-asan windows fuzz; do
    sed -n '/The following tests FAILED/,/^$/p' "$logs/$preset-ctest.log" 2>/dev/null |
      sed "s/^/$preset: /"
  done
  echo "(each suite's output: $logs/PRESET-build.log and PRESET-ctest.log)"
fi
echo "${passed_total} passed, ${failed_total} failed"
exit "$failed"
