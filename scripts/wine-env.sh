# The Wine environment of this checkout, in one place; sourced by every
# script that runs Windows programs. The prefix belongs to the checkout, never
# to the user's home; a WINEPREFIX already set is kept.
velkoro_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$velkoro_root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# A new prefix must not ask for Mono or Gecko.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# Whether a prefix is up to date for this Wine: Wine rewrites its system
# folders in place when it is not (after an upgrade of Wine).
velkoro_prefix_current() {
  local stamp
  stamp=$(head -n 1 "$1/.update-timestamp" 2>/dev/null | awk '{print $1}' | tr -d '\r')
  [ -n "$stamp" ] && { [ "$stamp" = disable ] ||
    [ "$stamp" = "$(stat -c %Y /usr/share/wine/wine.inf 2>/dev/null)" ]; }
}
