#!/usr/bin/env bash
# The tests' throw-away database servers, reached through unixODBC and its
# drivers (also by the Windows programs under Wine, whose odbc32 hands the
# calls to unixODBC): PostgreSQL, MariaDB and a SQLite file.
#
#   bash scripts/test-db.sh start   # the three, started side by side, each with a user and a database
#   bash scripts/test-db.sh env     # prints: export VELKORO_TEST_ODBC='Driver=...;Pwd=...' and
#                                   #   VELKORO_TEST_ODBC_MARIADB, VELKORO_TEST_ODBC_SQLITE
#   bash scripts/test-db.sh stop    # stops the servers and removes their data
#
# Sourced, `velkoro_test_db_start` also exports the variables and stops the
# servers when the sourcing shell exits. The servers listen on 127.0.0.1
# only, each on the first free port from its own (VELKORO_TEST_DB_PORT, 55432
# for PostgreSQL; VELKORO_TEST_MARIADB_PORT, 53306 for MariaDB), with their
# sockets in their own folders; started by root they run as the users postgres
# and mysql (the servers refuse root). An engine that does not start leaves
# its variable out, and the tests that need it say they skip it.
velkoro_db_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
velkoro_db_user=velkoro
velkoro_db_name=velkoro
# Seconds a server may take to start or stop.
velkoro_db_wait_s=60
# A starting MariaDB is asked ten times a second whether it answers.
velkoro_db_polls_per_s=10

velkoro_db_bin() {
  local dir
  dir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  [ -n "$dir" ] && [ -x "$dir/pg_ctl" ] || return 1
  echo "$dir"
}

# A server's own account (postgres, mysql): root may not run it.
velkoro_db_as() {
  local account=$1
  shift
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u "$account" -- "$@"
  else
    "$@"
  fi
}

# build/NAME when the server's account can reach it; a folder of this
# checkout's own under /tmp when the checkout lies where it cannot (/root).
velkoro_db_dir() {  # name, account
  local dir="$velkoro_db_root/build/$1"
  mkdir -p "$velkoro_db_root/build"
  if [ "$(id -u)" -eq 0 ] && ! runuser -u "$2" -- test -x "$velkoro_db_root/build"; then
    dir="/tmp/velkoro-$1-$(echo "$velkoro_db_root" | md5sum | cut -c1-8)"
  fi
  echo "$dir"
}

velkoro_db_port_free() {
  ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

velkoro_db_free_port() {  # first port to try
  local port=$1
  while ! velkoro_db_port_free "$port"; do port=$((port + 1)); done
  echo "$port"
}

velkoro_db_password() {
  echo "vk$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')"
}

velkoro_db_install() {
  local p missing=() driver
  for p in postgresql odbc-postgresql unixodbc mariadb-server odbc-mariadb libsqliteodbc; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  ((${#missing[@]} == 0)) || bash "$velkoro_db_root/scripts/setup.sh" packages >&2 || return 1
  for driver in 'PostgreSQL Unicode' 'MariaDB Unicode' 'SQLite3'; do
    if ! odbcinst -q -d 2>/dev/null | grep -qxF "[$driver]"; then
      echo "test-db: the driver '$driver' is not registered (odbcinst -q -d)" >&2
      return 1
    fi
  done
}

# Each engine's connection string goes into a file of its own in build/, so
# the three start side by side and `env` prints whichever started.
velkoro_db_env_file() {  # engine
  echo "$velkoro_db_root/build/test-db-$1.env"
}

velkoro_pg_stop() {
  local bin dir
  dir=$(velkoro_db_dir pgdata postgres)
  [ -f "$dir/PG_VERSION" ] || return 0
  bin=$(velkoro_db_bin) || return 1
  velkoro_db_as postgres "$bin/pg_ctl" -D "$dir" -t "$velkoro_db_wait_s" -m fast stop >/dev/null 2>&1
  rm -rf "$dir"
}

velkoro_pg_start() {
  local bin dir port password
  bin=$(velkoro_db_bin) || { echo "test-db: no PostgreSQL server found" >&2; return 1; }
  dir=$(velkoro_db_dir pgdata postgres)
  velkoro_pg_stop
  port=$(velkoro_db_free_port "${VELKORO_TEST_DB_PORT:-55432}")
  password=$(velkoro_db_password)
  mkdir -p "$dir"
  [ "$(id -u)" -ne 0 ] || chown postgres: "$dir"
  chmod 700 "$dir"
  if ! velkoro_db_as postgres "$bin/initdb" -D "$dir" -U postgres --auth-local=trust \
         --auth-host=scram-sha-256 >"$velkoro_db_root/build/pgdata-initdb.log" 2>&1; then
    echo "test-db: initdb failed (build/pgdata-initdb.log)" >&2
    return 1
  fi
  if ! velkoro_db_as postgres "$bin/pg_ctl" -D "$dir" -l "$dir/server.log" -w \
         -t "$velkoro_db_wait_s" -o "-p $port -k $dir -c listen_addresses=127.0.0.1" \
         start >/dev/null; then
    echo "test-db: the PostgreSQL server did not start ($dir/server.log)" >&2
    return 1
  fi
  velkoro_db_as postgres "$bin/psql" -h "$dir" -p "$port" -U postgres -d postgres -q \
    -v ON_ERROR_STOP=1 -c "CREATE ROLE $velkoro_db_user LOGIN PASSWORD '$password'" \
    -c "CREATE DATABASE $velkoro_db_name OWNER $velkoro_db_user" >/dev/null || return 1
  echo "export VELKORO_TEST_ODBC='Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=$velkoro_db_name;Uid=$velkoro_db_user;Pwd=$password'" \
    >"$(velkoro_db_env_file postgresql)"
  echo "test-db: PostgreSQL on 127.0.0.1:$port, cluster in $dir" >&2
}

velkoro_maria_stop() {
  local dir pid
  dir=$(velkoro_db_dir mariadb mysql)
  [ -d "$dir" ] || return 0
  if [ -f "$dir/server.pid" ]; then
    pid=$(cat "$dir/server.pid")
    kill "$pid" 2>/dev/null
    # It ends by itself once its tables are closed.
    for _ in $(seq $((velkoro_db_wait_s * velkoro_db_polls_per_s))); do
      kill -0 "$pid" 2>/dev/null || break
      sleep "0.$((10 / velkoro_db_polls_per_s))"
    done
  fi
  rm -rf "$dir"
}

velkoro_maria_start() {
  local dir port password tries
  dir=$(velkoro_db_dir mariadb mysql)
  velkoro_maria_stop
  port=$(velkoro_db_free_port "${VELKORO_TEST_MARIADB_PORT:-53306}")
  password=$(velkoro_db_password)
  mkdir -p "$dir"
  [ "$(id -u)" -ne 0 ] || chown mysql: "$dir"
  chmod 700 "$dir"
  # Small buffers and logs: the tests hold a few hundred rows.
  local settings=(--no-defaults "--datadir=$dir/data" --skip-name-resolve
                  --innodb-buffer-pool-size=16M --innodb-log-file-size=8M)
  if ! velkoro_db_as mysql mariadb-install-db "${settings[@]}" --skip-test-db \
         --auth-root-authentication-method=socket \
         >"$velkoro_db_root/build/mariadb-install.log" 2>&1; then
    echo "test-db: mariadb-install-db failed (build/mariadb-install.log)" >&2
    return 1
  fi
  velkoro_db_as mysql /usr/sbin/mariadbd "${settings[@]}" "--socket=$dir/sock" "--port=$port" \
    --bind-address=127.0.0.1 "--pid-file=$dir/server.pid" "--log-error=$dir/server.log" \
    </dev/null >/dev/null 2>&1 &
  tries=$((velkoro_db_wait_s * velkoro_db_polls_per_s))
  until mariadb --no-defaults -S "$dir/sock" -u root -e 'SELECT 1' >/dev/null 2>&1; do
    tries=$((tries - 1))
    if ((tries <= 0)); then
      echo "test-db: the MariaDB server did not start ($dir/server.log)" >&2
      return 1
    fi
    sleep "0.$((10 / velkoro_db_polls_per_s))"
  done
  mariadb --no-defaults -S "$dir/sock" -u root -e \
    "CREATE DATABASE $velkoro_db_name;
     CREATE USER '$velkoro_db_user'@'127.0.0.1' IDENTIFIED BY '$password';
     GRANT ALL ON $velkoro_db_name.* TO '$velkoro_db_user'@'127.0.0.1';" || return 1
  echo "export VELKORO_TEST_ODBC_MARIADB='Driver={MariaDB Unicode};Server=127.0.0.1;Port=$port;Database=$velkoro_db_name;Uid=$velkoro_db_user;Pwd=$password'" \
    >"$(velkoro_db_env_file mariadb)"
  echo "test-db: MariaDB on 127.0.0.1:$port, data in $dir" >&2
}

# SQLite has no server: a file the tests' programs open through its driver
# (a Linux path, also under Wine, where the driver is a Linux library).
velkoro_sqlite_stop() {
  rm -rf "$velkoro_db_root/build/test-sqlite"
}

velkoro_sqlite_start() {
  local dir="$velkoro_db_root/build/test-sqlite"
  velkoro_sqlite_stop
  mkdir -p "$dir"
  echo "export VELKORO_TEST_ODBC_SQLITE='Driver={SQLite3};Database=$dir/velkoro.db;Timeout=2000'" \
    >"$(velkoro_db_env_file sqlite)"
  echo "test-db: SQLite in $dir/velkoro.db" >&2
}

velkoro_db_engines=(pg maria sqlite)

velkoro_db_stop() {
  local engine
  for engine in "${velkoro_db_engines[@]}"; do "velkoro_${engine}_stop"; done
  rm -f "$velkoro_db_root"/build/test-db-*.env
}

# The three side by side; fails when any did not start (the others run on).
velkoro_db_start() {
  local engine pids=() failed=0 pid
  velkoro_db_install || return 1
  rm -f "$velkoro_db_root"/build/test-db-*.env
  for engine in "${velkoro_db_engines[@]}"; do
    "velkoro_${engine}_start" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
  return "$failed"
}

velkoro_db_env() {
  local files=("$velkoro_db_root"/build/test-db-*.env)
  [ -f "${files[0]}" ] || { echo "test-db: not started" >&2; return 1; }
  cat "${files[@]}"
}

# For scripts that source this file: start, export, stop at exit.
velkoro_test_db_start() {
  velkoro_db_start
  eval "$(velkoro_db_env)" || return 1
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
