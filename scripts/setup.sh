#!/usr/bin/env bash
# Installs what the builds and tests need and prepares the Wine prefix under
# the build folder. Safe to run again: it only installs what is missing.
#   setup.sh [packages|prefix]   (one of the two steps; both by default)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
step=${1:-all}

packages=(cmake ninja-build g++ mingw-w64 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
          wine wine64 xvfb xauth googletest clang libclang-rt-14-dev imagemagick
          binutils clang-format zip unzip postgresql odbc-postgresql unixodbc
          mariadb-server odbc-mariadb libsqliteodbc)

missing=()
[ "$step" != prefix ] || packages=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

[ "$step" != packages ] || exit 0
source "$root/scripts/wine-env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "setup: creating Wine prefix in $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
elif ! velkoro_prefix_current "$WINEPREFIX"; then
  echo "setup: bringing the Wine prefix in $WINEPREFIX up to date for $(wine --version)"
  wineboot -u >/dev/null 2>&1 || true
  wineserver -w
fi
