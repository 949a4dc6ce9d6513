#!/usr/bin/env bash
# scripts/wine-isolated.sh as the suite relies on it: two commands under it at
# once each see only the probe their own emulator serves at the same device
# path; the command's exit status comes back; its prefix copy is gone after.
#   wine_isolated_test.sh ostrelin-cli.exe VelkoroEmulator.exe
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cli=$1 emulator=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
source "$root/tests/support/shell_checks.sh"

# Serves probe 0 with the serial number given, lists the probes, and names
# its prefix; the emulator ends when its input closes.
serve_and_list() {  # serial, output file
  bash "$root/scripts/wine-isolated.sh" bash -c '
    echo "prefix $WINEPREFIX"
    mkfifo "$3.in"
    wine "$1" --probe 0 --serial "$2" <"$3.in" >"$3.emulator" 2>&1 &
    exec 4>"$3.in"
    for _ in $(seq 300); do grep -q ready "$3.emulator" 2>/dev/null && break; sleep 0.1; done
    wine "$4" list </dev/null 2>&1
    exec 4>&-
    wait' _ "$emulator" "$1" "$2" "$cli" >"$2" 2>&1
}
serve_and_list LINE-A "$out/a" &
first=$!
serve_and_list LINE-B "$out/b"
wait "$first"
check "the first server lists only its own probe" grep -qx '0 2.2 LINE-A' "$out/a"
check "the second server lists only its own probe" grep -qx '0 2.2 LINE-B' "$out/b"
for run in a b; do
  copy=$(sed -n 's/^prefix //p' "$out/$run")
  check "run $run had a prefix copy of its own, removed at its end" \
    test -n "$copy" -a ! -e "$copy" -a "$copy" != "${WINEPREFIX:-}"
done

bash "$root/scripts/wine-isolated.sh" bash -c 'exit 7'
check "the command's exit status comes back" test $? -eq 7

echo "$failures failed"
[ "$failures" -eq 0 ]
