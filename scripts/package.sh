#!/usr/bin/env bash
# Builds the release for operators:
#   build/dist/velkoro-writer-<version>-win64.zip
# holding Ostrelin.exe, ostrelin-cli.exe and VelkoroEmulator.exe (stripped),
# the operator guide with the screenshots of the walk-through that the run
# command performs and the line's report of a sample shift as Debian's
# chromium shows it (both taken afresh for every package), and SHA256SUMS of
# every file in it. The version is the one of the programs' version block.
#
# VELKORO_BUILD_DIR: the Windows build to package (default build/windows);
# VELKORO_SKIP_BUILD=1 packages it as it is; VELKORO_DIST_DIR: where the zip
# goes (default build/dist).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
source scripts/wine-env.sh

bin=${VELKORO_BUILD_DIR:-$root/build/windows}
dist=${VELKORO_DIST_DIR:-$root/build/dist}
version=$(sed -nE 's/^ *FILEVERSION +([0-9]+), *([0-9]+), *([0-9]+), *([0-9]+).*/\1.\2.\3.\4/p' \
            res/version_block.rc | head -n 1)
if [ -z "$version" ]; then
  echo "package: no FILEVERSION in res/version_block.rc" >&2
  exit 1
fi

if [ -z "${VELKORO_SKIP_BUILD:-}" ]; then
  echo "package: building the Windows programs"
  cmake --preset windows -B "$bin" >/dev/null
  cmake --build "$bin" -j "${JOBS:-2}" --target Ostrelin ostrelin-cli VelkoroEmulator ostrelin_walkthrough \
    report_bench
fi

name="velkoro-writer-$version-win64"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage="$work/$name"
mkdir -p "$stage/docs/walkthrough"

for program in app/Ostrelin.exe cli/ostrelin-cli.exe emulator/VelkoroEmulator.exe; do
  x86_64-w64-mingw32-strip --strip-all -o "$stage/$(basename "$program")" "$bin/$program"
done

echo "package: walking through READ, WRITE and UPDATE for the guide's screenshots"
shots="$work/shots"
if ! bash tests/e2e/run_e2e.sh "$bin/tests/e2e/ostrelin_walkthrough.exe" "$bin/app/Ostrelin.exe" \
       "$bin/emulator/VelkoroEmulator.exe" "$shots" >"$work/walkthrough.log" 2>&1; then
  cat "$work/walkthrough.log" >&2
  echo "package: the walk-through failed; no package made" >&2
  exit 1
fi
cp "$shots"/*.png "$stage/docs/walkthrough/"
# The guide's pictures of the window, plain and running a line job, are the
# walk-through's screenshots of them (cropped to the window).
cp "$shots/01-start.png" "$stage/docs/main-window.png"
cp "$shots"/*-job-window.png "$stage/docs/job-window.png"
# The tray's picture is the committed one: its probes' faults are timed for
# one screenshot (ostrelin_tray_walkthrough.exe --guide), not for every build.
cp docs/tray-window.png "$stage/docs/tray-window.png"
cp docs/windows.md "$stage/docs/operator-guide.md"

echo "package: the line's report of a sample shift, as a browser shows it"
shift_log="$work/shift.csv"
page="$work/report.html"
wine "$bin/bench/report_bench.exe" --sample "$(winepath -w "$shift_log")" >/dev/null 2>&1
if ! wine "$bin/cli/ostrelin-cli.exe" report --log "$(winepath -w "$shift_log")" \
       --html "$(winepath -w "$page")" >/dev/null 2>"$work/report.err" ||
   ! timeout -k 5 120 chromium --headless --no-sandbox --disable-gpu --no-first-run \
       --disable-background-networking --disable-component-update --disable-sync \
       --user-data-dir="$work/browser" --hide-scrollbars --window-size=1920,1080 \
       --screenshot="$stage/docs/report-page.png" "file://$page" >/dev/null 2>&1 ||
   [ ! -s "$stage/docs/report-page.png" ]; then
  cat "$work/report.err" >&2
  echo "package: the report's page could not be made; no package made" >&2
  exit 1
fi

{
  echo "# Walk-through"
  echo
  echo "What the operator sees, step by step, against the emulated probe: READ, WRITE in Count Up"
  echo "Mode, a firmware update with its LED question, then the window running a line job and"
  echo "writing the job's first number. Taken by the walk-through of version $version."
  for png in "$stage"/docs/walkthrough/*.png; do
    step=$(basename "$png" .png)
    echo
    echo "## ${step#*-}" | tr '-' ' '
    echo
    echo "![${step#*-}](walkthrough/$(basename "$png"))"
  done
  echo
  echo "## The line's report"
  echo
  echo "\`ostrelin-cli report --log line3.csv --html report.html --every 30\` keeps this page up to"
  echo "date on a screen beside the line (a sample shift of three stations):"
  echo
  echo "![The line's report](report-page.png)"
} >"$stage/docs/walkthrough.md"

cat >"$stage/README.txt" <<TEXT
Velkoro Firmware/Serial No. Writer $version for 64-bit Windows

Ostrelin.exe         the operator tool: firmware update and serial numbers
ostrelin-cli.exe     the same procedures from a console, for production lines and scripts
VelkoroEmulator.exe  emulated probes at the driver's device paths, for training

No installer: copy the programs to any folder. The operator guide is
docs/operator-guide.md, the walk-through with screenshots docs/walkthrough.md.
SHA256SUMS lists the checksum of every file in this package
(sha256sum -c SHA256SUMS, or certutil -hashfile FILE SHA256 on Windows).
TEXT

(cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort |
   xargs -d '\n' sha256sum >SHA256SUMS)

mkdir -p "$dist"
rm -f "$dist/$name.zip"
(cd "$work" && zip -q -r -X "$dist/$name.zip" "$name")
echo "package: $dist/$name.zip ($(du -h "$dist/$name.zip" | cut -f1))"
