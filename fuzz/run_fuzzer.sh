#!/usr/bin/env bash
# Runs one libFuzzer target for FUZZ_SECONDS (5 by default) on a copy of its
# seeds, so the corpus in the tree stays as committed. A fault fails the test
# and prints the fuzzer's report with the crashing input.
set -uo pipefail
target=$1 seeds=$2
seconds=${FUZZ_SECONDS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -d "$seeds" ] && cp -r "$seeds/." "$work/"
log="$work.log"
if "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" \
     "$work" >"$log" 2>&1; then
  echo "$(basename "$target"): $(awk '/stat::number_of_executed_units/ {print $2}' "$log") runs, no fault"
  rm -f "$log"
  exit 0
fi
tail -n 60 "$log"
rm -f "$log"
exit 1
