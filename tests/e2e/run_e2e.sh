#!/usr/bin/env bash
# Runs a Windows GUI driver program (the end-to-end tests or the walk-through)
# under Wine, on a throw-away X display when none is set, with the programs it
# drives named in its environment; then turns its BMP screenshots into PNG.
#   run_e2e.sh DRIVER.exe Ostrelin.exe VelkoroEmulator.exe OUT_DIR [driver args...]
set -uo pipefail

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
driver=$1 app=$2 emulator=$3 out=$4
shift 4

rm -rf "$out"
mkdir -p "$out"
export VELKORO_APP=$app VELKORO_EMULATOR=$emulator VELKORO_E2E_OUT=$out
"$root/scripts/wine-run.sh" "$driver" "$@"
status=$?

for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit "$status"
