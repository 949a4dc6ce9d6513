# The Wine environment of this checkout, in one place; sourced by every
# script that runs Windows programs. The prefix belongs to the checkout, never
# to the user's home; a WINEPREFIX already set is kept.
velkoro_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$velkoro_root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# A new prefix must not ask for Mono or Gecko.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
