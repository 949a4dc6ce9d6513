#!/usr/bin/env bash
# The tests' throw-away PostgreSQL server, reached through unixODBC and its
# PostgreSQL driver (also by the Windows programs under Wine, whose odbc32
# hands the calls to unixODBC).
#
#   bash scripts/test-db.sh start   # a new cluster under build/pgdata, a user and a database
#   bash scripts/test-db.sh env     # prints: export VELKORO_TEST_ODBC='Driver=...;Pwd=...'
#   bash scripts/test-db.sh stop    # stops the server and removes the cluster
#
# Sourced, `velkoro_test_db_start` also exports VELKORO_TEST_ODBC and stops the
# server when the sourcing shell exits. The server listens on 127.0.0.1 only,
# on the first free port from VELKORO_TEST_DB_PORT (55432), with its socket in
# its own folder; it runs as the user postgres when started by root (the server
# refuses root).
velkoro_db_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
velkoro_db_user=velkoro
velkoro_db_name=velkoro
# Seconds pg_ctl waits for the server to start or stop.
velkoro_db_wait_s=60

velkoro_db_bin() {
  local dir
  dir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  [ -n "$dir" ] && [ -x "$dir/pg_ctl" ] || return 1
  echo "$dir"
}

# The server's own account: root may not run it.
velkoro_db_as() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

# build/pgdata when the server's account can reach it; a folder of this
# checkout's own under /tmp when the checkout lies where it cannot (/root).
velkoro_db_dir() {
  local dir="$velkoro_db_root/build/pgdata"
  mkdir -p "$velkoro_db_root/build"
  if [ "$(id -u)" -eq 0 ] && ! runuser -u postgres -- test -x "$velkoro_db_root/build"; then
    dir="/tmp/velkoro-pgdata-$(echo "$velkoro_db_root" | md5sum | cut -c1-8)"
  fi
  echo "$dir"
}

velkoro_db_port_free() {
  ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

velkoro_db_install() {
  local p missing=()
  for p in postgresql odbc-postgresql unixodbc; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  ((${#missing[@]} == 0)) || bash "$velkoro_db_root/scripts/setup.sh" >&2 || return 1
  if ! odbcinst -q -d 2>/dev/null | grep -qx '\[PostgreSQL Unicode\]'; then
    echo "test-db: the driver 'PostgreSQL Unicode' is not registered (odbcinst -q -d)" >&2
    return 1
  fi
}

velkoro_db_stop() {
  local bin dir
  dir=$(velkoro_db_dir)
  [ -f "$dir/PG_VERSION" ] || return 0
  bin=$(velkoro_db_bin) || return 1
  velkoro_db_as "$bin/pg_ctl" -D "$dir" -t "$velkoro_db_wait_s" -m fast stop >/dev/null 2>&1
  rm -rf "$dir"
}

velkoro_db_start() {
  local bin dir port password
  velkoro_db_install || return 1
  bin=$(velkoro_db_bin) || { echo "test-db: no PostgreSQL server found" >&2; return 1; }
  dir=$(velkoro_db_dir)
  velkoro_db_stop
  port=${VELKORO_TEST_DB_PORT:-55432}
  while ! velkoro_db_port_free "$port"; do port=$((port + 1)); done
  password="vk$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')"
  mkdir -p "$dir"
  [ "$(id -u)" -ne 0 ] || chown postgres: "$dir"
  chmod 700 "$dir"
  if ! velkoro_db_as "$bin/initdb" -D "$dir" -U postgres --auth-local=trust \
         --auth-host=scram-sha-256 >"$velkoro_db_root/build/pgdata-initdb.log" 2>&1; then
    echo "test-db: initdb failed (build/pgdata-initdb.log)" >&2
    return 1
  fi
  if ! velkoro_db_as "$bin/pg_ctl" -D "$dir" -l "$dir/server.log" -w -t "$velkoro_db_wait_s" \
         -o "-p $port -k $dir -c listen_addresses=127.0.0.1" start >/dev/null; then
    echo "test-db: the server did not start ($dir/server.log)" >&2
    return 1
  fi
  velkoro_db_as "$bin/psql" -h "$dir" -p "$port" -U postgres -d postgres -q -v ON_ERROR_STOP=1 \
    -c "CREATE ROLE $velkoro_db_user LOGIN PASSWORD '$password'" \
    -c "CREATE DATABASE $velkoro_db_name OWNER $velkoro_db_user" >/dev/null || return 1
  # Readable by the server's account too (it owns the folder).
  velkoro_db_as sh -c "cat >'$dir/velkoro-test-db.env'" <<EOF
export VELKORO_TEST_ODBC='Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=$velkoro_db_name;Uid=$velkoro_db_user;Pwd=$password'
EOF
  echo "test-db: PostgreSQL on 127.0.0.1:$port, cluster in $dir" >&2
}

velkoro_db_env() {
  local file
  file="$(velkoro_db_dir)/velkoro-test-db.env"
  [ -f "$file" ] || { echo "test-db: not started" >&2; return 1; }
  cat "$file"
}

# For scripts that source this file: start, export, stop at exit.
velkoro_test_db_start() {
  velkoro_db_start || return 1
  eval "$(velkoro_db_env)"
  trap 'velkoro_db_stop' EXIT
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  case "${1:-}" in
    start) velkoro_db_start ;;
    stop) velkoro_db_stop ;;
    env) velkoro_db_env ;;
    *) echo "usage: $0 start|stop|env" >&2; exit 64 ;;
  esac
fi
