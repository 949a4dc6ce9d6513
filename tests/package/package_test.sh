#!/usr/bin/env bash
# Builds the operators' package from this Windows build and checks it as an
# operator would receive it: the name carries the version block's version,
# the listing holds the three programs, the guide, the walk-through's
# screenshots and the line's report as a browser shows it, every checksum
# matches, and the programs are stripped.
#   package_test.sh BUILD_DIR
set -uo pipefail
bin=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
source "$root/tests/support/shell_checks.sh"

VELKORO_BUILD_DIR=$bin VELKORO_SKIP_BUILD=1 VELKORO_DIST_DIR=$out/dist \
  bash "$root/scripts/package.sh" || { echo "FAILED: scripts/package.sh"; exit 1; }

version=$(sed -nE 's/^ *FILEVERSION +([0-9]+), *([0-9]+), *([0-9]+), *([0-9]+).*/\1.\2.\3.\4/p' \
            "$root/res/version_block.rc")
name="velkoro-writer-$version-win64"
zip="$out/dist/$name.zip"
check "the package is named after the version block ($name.zip)" test -f "$zip"

listing=$(unzip -Z1 "$zip" | grep -v '/$' | sed "s|^$name/||" | LC_ALL=C sort)
expected=$(printf '%s\n' Ostrelin.exe README.txt SHA256SUMS VelkoroEmulator.exe \
             docs/job-window.png docs/main-window.png docs/operator-guide.md docs/report-page.png \
             docs/tray-window.png \
             docs/walkthrough.md \
             ostrelin-cli.exe |
           LC_ALL=C sort)
others=$(grep -v '^docs/walkthrough/' <<<"$listing")
check "the listing holds the programs, the guide and the checksums" test "$others" = "$expected"
shots=$(grep -c '^docs/walkthrough/[0-9][0-9]-.*\.png$' <<<"$listing")
check "the walk-through's fifteen screenshots are in it ($shots)" test "$shots" -eq 15
check "every file sits in the one folder $name/" \
  test -z "$(unzip -Z1 "$zip" | grep -v "^$name/")"

unzip -q "$zip" -d "$out/x"
cd "$out/x/$name" || exit 1
check "every checksum matches" sha256sum --quiet -c SHA256SUMS
listed=$(awk '{print $2}' SHA256SUMS | LC_ALL=C sort)
check "SHA256SUMS covers every other file" test "$listed" = "$(grep -v '^SHA256SUMS$' <<<"$listing")"
for png in docs/main-window.png docs/job-window.png docs/report-page.png docs/tray-window.png \
           docs/walkthrough/*.png; do
  check "$png is a PNG picture" test "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a
  # The report's page is a browser's 1920x1080 screen; the tray's picture a
  # 1280x800 one; the rest show the window.
  [ "$png" = docs/report-page.png ] && continue
  if [ "$png" = docs/tray-window.png ]; then
    size=$(identify -format '%wx%h' "$png")
    check "$png fits a 1280x800 screen ($size)" test "${size%x*}" -le 1280 -a "${size#*x}" -le 800
    continue
  fi
  # Cropped to the window and its boxes, not the whole 1280x1024 screen.
  size=$(identify -format '%wx%h' "$png")
  check "$png is cropped to the window ($size)" test "${size%x*}" -lt 800 -a "${size#*x}" -lt 600
done
grep -q '(job-window.png)' docs/operator-guide.md
check "the guide shows the window running a job" test $? -eq 0
for exe in Ostrelin.exe ostrelin-cli.exe VelkoroEmulator.exe; do
  check "$exe is a Windows program" test "$(head -c 2 "$exe")" = MZ
  check "$exe is stripped" test "$(x86_64-w64-mingw32-nm "$exe" 2>&1)" = "x86_64-w64-mingw32-nm: $exe: no symbols"
done
for exe in Ostrelin.exe ostrelin-cli.exe; do
  # The version block stores its strings in UTF-16.
  check "$exe carries version $version" perl -0777 -ne \
    'BEGIN { $v = join("\0", split(//, shift)) . "\0" } exit(index($_, $v) < 0 ? 1 : 0)' \
    "$version" "$exe"
done
grep -q 'walkthrough/01-start.png' docs/walkthrough.md
check "the walk-through page shows its screenshots" test $? -eq 0
grep -q '(report-page.png)' docs/walkthrough.md
check "the walk-through page shows the line's report" test $? -eq 0

# A spoiled file must be caught by the checksums.
printf 'x' >>README.txt
if sha256sum --quiet -c SHA256SUMS >/dev/null 2>&1; then
  echo "FAILED: a changed file passes the checksums"; failures=$((failures + 1))
else
  echo "ok: a changed file fails the checksums"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
