#!/usr/bin/env bash
# Builds the Windows programs, starts the probe emulator with one probe and
# opens Ostrelin.exe under Wine on the display. Close the window to end both.
#
# Without a display it runs on a throw-away X display instead: it reads the
# serial number, writes one in Count Up Mode and updates the firmware through
# the window; then opens the tray window on a job of 4 slots with 4 probes
# attached and waits until every tile says PASS. It leaves a screenshot of
# each step and the emulator's transcripts in the folder it names at the end.
#
# WINEPREFIX and VELKORO_BUILD_DIR choose another Wine prefix and build folder.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh

source "$root/scripts/wine-env.sh"

echo "run: building Ostrelin.exe and VelkoroEmulator.exe"
bin="${VELKORO_BUILD_DIR:-$root/build/windows}"
cmake --preset windows -B "$bin" >/dev/null
cmake --build "$bin" -j "${JOBS:-2}" --target Ostrelin VelkoroEmulator ostrelin_walkthrough \
  ostrelin_tray_walkthrough
app="$bin/app/Ostrelin.exe"
emulator="$bin/emulator/VelkoroEmulator.exe"

if [ -z "${DISPLAY:-}" ]; then
  out="$root/build/run-$(date +%Y%m%d-%H%M%S)"
  echo "run: no display; walking through READ, WRITE (Count Up Mode) and UPDATE on a throw-away one"
  status=0
  bash tests/e2e/run_e2e.sh "$bin/tests/e2e/ostrelin_walkthrough.exe" "$app" "$emulator" "$out" ||
    status=$?
  if [ "$status" -eq 0 ]; then
    echo "run: the tray window with 4 probes attached, until every tile says PASS"
    bash tests/e2e/run_e2e.sh "$bin/tests/e2e/ostrelin_tray_walkthrough.exe" "$app" "$emulator" \
      "$out/tray" || status=$?
  fi
  echo "run: screenshots and the emulator's transcripts are in $out (the tray's in $out/tray)"
  exit "$status"
fi

work=$(mktemp -d)
transcript="$root/build/run-transcript.txt"
mkfifo "$work/stdin"
# The emulator serves until its standard input closes; descriptor 3 holds it open.
"$root/scripts/wine-run.sh" "$emulator" --probe 0 --transcript "Z:${transcript//\//\\}" \
  <"$work/stdin" >"$work/emulator.log" 2>&1 &
emulator_pid=$!
exec 3>"$work/stdin"
stop_emulator() {
  exec 3>&- || true
  wait "$emulator_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap stop_emulator EXIT

for _ in $(seq 1 100); do
  grep -q ready "$work/emulator.log" 2>/dev/null && break
  kill -0 "$emulator_pid" 2>/dev/null || { cat "$work/emulator.log"; exit 1; }
  sleep 0.2
done
grep -q ready "$work/emulator.log" || { echo "run: the emulator did not get ready"; exit 1; }

echo "run: emulated probe at \\\\.\\VelkoroDevice0 (serial number VELKORO-0001, firmware 2.2)"
echo "run: opening Ostrelin.exe; close its window to end"
"$root/scripts/wine-run.sh" "$app"
echo "run: the emulator's transcript is in $transcript"
