# The shell tests' one check: runs a command, prints "ok: WHAT" or
# "FAILED: WHAT", and counts the failures in $failures for the exit status.
failures=0
check() {  # description, command...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
