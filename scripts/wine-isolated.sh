#!/usr/bin/env bash
# Runs a command under a Wine server of its own, so that two such commands can
# run side by side: the device paths their programs serve and the windows
# they look for are per server. The server runs on a copy of the checkout's
# prepared prefix (scripts/setup.sh makes it), and with --display on a
# throw-away X display. Wine's own processes (services, the desktop) are
# started before the command, away from its output: started by the command
# they would inherit the caller's output pipe and keep it open. Everything
# the server ran ends with it, and the copy is removed.
#   wine-isolated.sh [--display] COMMAND [ARGS...]
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
# Copies are made of the checkout's prepared prefix even when this runs under
# another copy (a suite's, around its own end-to-end programs).
template=${VELKORO_PREPARED_PREFIX:-${WINEPREFIX%/}}
export VELKORO_PREPARED_PREFIX=$template

# Caps on the waits for the display and for the server's end.
display_wait_steps=100  # of 0.1 s
server_end_seconds=30

with_display=
if [ "${1:-}" = --display ]; then
  with_display=1
  shift
fi
if [ ! -f "$template/system.reg" ]; then
  echo "wine-isolated: no prepared Wine prefix in $template (bash scripts/setup.sh makes it)" >&2
  exit 1
fi

# Beside the prepared prefix, so that its files can be linked.
work=$(mktemp -d "$template-isolated.XXXXXX") || exit 1
xvfb_pid=
own_server=
finish() {
  if [ -n "$own_server" ]; then
    timeout "$server_end_seconds" wineserver -k 2>/dev/null
    timeout "$server_end_seconds" wineserver -w 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap finish EXIT

# The system folders (700 MB) are linked, not copied: Wine writes to them only
# when it brings a prefix up to date for a new Wine version (scripts/setup.sh
# does that to the prepared one); until then a full copy is made.
prefix=$work/prefix
linked=()
velkoro_prefix_current "$template" && linked=(drive_c/windows/system32 drive_c/windows/winsxs)
mkdir -p "$prefix"
# Files the suite's own server is writing meanwhile (its temporary files)
# may change under tar; that is its status 1, and harmless here.
tar -C "$template" "${linked[@]/#/--exclude=./}" --exclude='./drive_c/users/*/AppData/Local/Temp/*' \
  -cf - . 2>/dev/null | tar -C "$prefix" -xf -
copied=("${PIPESTATUS[@]}")
if [ "${copied[0]}" -gt 1 ] || [ "${copied[1]}" -ne 0 ]; then
  echo "wine-isolated: could not copy the prefix $template" >&2
  exit 1
fi
for folder in "${linked[@]}"; do
  cp -al "$template/$folder" "$prefix/$folder" || exit 1
done
export WINEPREFIX=$prefix

if [ -n "$with_display" ]; then
  # Xvfb picks a free display number itself and writes it on descriptor 3
  # when it is ready: no race with another test choosing at the same time.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq "$display_wait_steps"); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$work/display" ]; then
    echo "wine-isolated: Xvfb did not start" >&2
    exit 1
  fi
  export DISPLAY=":$(head -n 1 "$work/display")"
fi

own_server=1
wine cmd /c exit </dev/null >/dev/null 2>&1
# In the background, so that a stop (CTest's time-out) reaches the clean-up
# at once instead of after the command.
"$@" <&0 &
command_pid=$!
trap 'kill "$command_pid" 2>/dev/null; exit 143' TERM INT HUP
wait "$command_pid"
